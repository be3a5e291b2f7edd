#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/ByteBufferContent.h"

namespace {

std::string View(const ByteBufferContent& c) {
    return std::string(reinterpret_cast<const char*>(c.View()), static_cast<size_t>(c.ViewSize()));
}

}  // namespace

TEST(ByteBufferContent, OffsetsAreClampedAndViewsNeverNegative) {
    ByteBufferContent c;
    EXPECT_EQ(c.SetOffset(5), 0);  // empty
    ASSERT_TRUE(c.Assign("abcdefghij", 10));
    struct Case {
        int32_t asked, offset, size;
    } cases[] = {{2, 2, 8}, {50, 9, 1}, {-3, 0, 10}, {9, 9, 1}};
    for (const Case& k : cases) {
        EXPECT_EQ(c.SetOffset(k.asked), k.offset) << k.asked;
        EXPECT_EQ(c.ViewSize(), k.size) << k.asked;
    }
    uint8_t b = 1;
    c.SetOffset(2);
    EXPECT_TRUE(c.ByteAt(0, b));
    EXPECT_EQ(b, 'c');
    EXPECT_TRUE(c.ByteAt(8, b));  // one past the view: the zero behind the bytes
    EXPECT_EQ(b, 0);
    EXPECT_FALSE(c.ByteAt(9, b));
    EXPECT_FALSE(c.ByteAt(-1, b));

    // Shrunk under its offset, the view is empty for everything.
    c.SetOffset(8);
    ASSERT_TRUE(c.Resize(4));
    EXPECT_EQ(c.Offset(), 8);
    EXPECT_EQ(c.ViewSize(), 0);
    EXPECT_EQ(View(c), "");
    EXPECT_TRUE(c.ByteAt(0, b));
    EXPECT_EQ(b, 0);
    EXPECT_FALSE(c.ByteAt(1, b));
    c.Fill('z');
    EXPECT_EQ(c.CopyToView("xy", 2), 0);
    EXPECT_EQ(c.Bytes(), "abcd");
}

TEST(ByteBufferContent, ContentChangesKeepTheirBounds) {
    ByteBufferContent c;
    ASSERT_TRUE(c.Reset(4, 'x'));
    ASSERT_TRUE(c.Resize(1));
    ASSERT_TRUE(c.Resize(4));  // grown bytes are zero, never old contents
    EXPECT_EQ(c.Bytes(), std::string("x\0\0\0", 4));
    EXPECT_EQ(c.Data()[c.Length()], 0);

    EXPECT_FALSE(c.Reset(-1, ' '));
    EXPECT_FALSE(c.Resize(-1));
    EXPECT_FALSE(c.Resize(int64_t(ByteBufferContent::kMaxSize) + 1));
    EXPECT_FALSE(c.Append(nullptr, SIZE_MAX));
    EXPECT_FALSE(c.Assign(nullptr, SIZE_MAX));
    EXPECT_EQ(c.Length(), 4);

    // Sources inside the buffer itself.
    ASSERT_TRUE(c.Assign("hello", 5));
    c.SetOffset(1);
    EXPECT_EQ(c.CopyToView(c.Data(), 5), 4);
    EXPECT_EQ(c.Bytes(), "hhell");
    ASSERT_TRUE(c.Append(c.View(), static_cast<size_t>(c.ViewSize())));
    EXPECT_EQ(c.Bytes(), "hhellhell");
    ASSERT_TRUE(c.Assign(c.View(), 3));
    EXPECT_EQ(c.Bytes(), "hel");
}

TEST(ByteBufferContent, HandlesReachOnlyLiveBuffers) {
    auto a = std::make_unique<ByteBufferContent>();
    ByteBufferContent b;
    a->Assign("abc", 3);
    const int32_t ha = a->Handle();
    const int32_t hb = b.Handle();
    EXPECT_NE(ha, 0);
    EXPECT_NE(hb, 0);
    EXPECT_NE(ha, hb);
    EXPECT_EQ(a->Handle(), ha);

    std::string seen;
    EXPECT_TRUE(ByteBufferContent::WithHandle(ha, [&](ByteBufferContent& c) { seen = c.Bytes(); }));
    EXPECT_EQ(seen, "abc");
    a.reset();
    for (const int32_t forged : {ha, 0, -1, hb + 1000})
        EXPECT_FALSE(ByteBufferContent::WithHandle(forged, [](ByteBufferContent&) { FAIL(); })) << forged;
    EXPECT_TRUE(ByteBufferContent::WithHandle(hb, [](ByteBufferContent&) {}));
}
