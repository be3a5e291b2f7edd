// Windows-1252 text at the JSON boundary, and member access that never throws.
#include <gtest/gtest.h>
#include <json/value.h>

#include "debugger/DebugJson.h"

TEST(DebugJson, TextConvertsBetweenCp1252AndUtf8) {
    const struct {
        const char* cp1252;
        const char* utf8;
    } cases[] = {
        {"plain", "plain"},
        {"caf\xE9", "caf\xC3\xA9"},
        {"\xA0\xFF", "\xC2\xA0\xC3\xBF"},
        {"\x80 \x9F", "\xE2\x82\xAC \xC5\xB8"},      // euro sign, Y with diaeresis
        {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},  // undefined bytes
        {"\x93q\x94", "\xE2\x80\x9Cq\xE2\x80\x9D"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8) << c.cp1252;
        EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << c.cp1252;
    }
    EXPECT_EQ(Utf8ToCp1252("\xE2\x98\x83 \xF0\x9F\x98\x80"), "? ?");  // not in the code page
    EXPECT_EQ(Utf8ToCp1252("\xFF\xC3"), "\xFF\xC3");                 // not UTF-8: kept
    EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "\xED\xA0\x80");         // a surrogate is not UTF-8
    EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "\xC0\xAF");                 // nor an overlong form
    EXPECT_EQ(DebugJsonText("\xE8").asString(), "\xC3\xA8");
}

TEST(DebugJson, MembersOfOtherKindsReadAsAbsent) {
    Json::Value object(Json::objectValue);
    object["list"].append(1);
    object["text"] = "x";
    EXPECT_EQ(JsonMember(object, "text").asString(), "x");
    EXPECT_TRUE(JsonMember(object, "none").isNull());
    EXPECT_TRUE(JsonMember(Json::Value(3), "text").isNull());
    EXPECT_TRUE(JsonMember(object["list"], "text").isNull());
    EXPECT_EQ(JsonArrayMember(object, "list").size(), 1u);
    EXPECT_TRUE(JsonArrayMember(object, "text").isArray());
    EXPECT_EQ(JsonArrayMember(object, "text").size(), 0u);
}
