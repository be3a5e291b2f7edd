// Sprintf, Sscanf, Split, the pack functions and the value encoding, called
// from script bytecode; the format parser on its own.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "functions/CVmFunction.h"
#include "functions/ScriptFormat.h"
#include "support/GlobalCalls.h"

using namespace qemtest;

namespace {

// A machine with the texts of the messages these functions give.
class Machine : public CVirtualMachine {
    const char* StringForId(int32_t id) override {
        switch (id) {
        case 2012: return "Param n. %i must be a vector.";
        case 2013: return "Param n. %i must be a string.";
        case 2017: return "Param n. %i is invalid.";
        case 2020: return "Param n. %i contains invalid format symbols.";
        case 2021: return "The number of parameters must not exceed 15.";
        case 2022: return "Param n. %i is not valid or is not compatible with the correspondent format symbol.";
        case 2023: return "Param n. %i is a string with inadeguate length.";
        case 2024: return "2024 fewer than the format.";
        case 2025: return "2025 fewer than the format.";
        case 4003: return "4003 fewer than the format.";
        default: return nullptr;
        }
    }
};

class StringFunctions : public ::testing::Test {
protected:
    StringFunctions() { vm.RegisterFunctions(new CVmFunction()); }

    // What the function answers (Void after an error, which fails the test).
    CVmValue Answer(const std::string& name, const std::vector<Opnd>& args) {
        MethodScript s("MAIN");
        s.Record(s.Global(name, args));
        std::ostringstream out;
        std::ostream* previous = vm.GetOutputStream();
        vm.SetOutputStream(&out, vm.IsQuiet());
        CVmValue answer;
        if (vm.StartProgram(s.Program())) {
            const CVmValue* r = vm.CallFunctionByName("MAIN");
            const CVmValue* first = r && r->type == VmValueType::Array ? r->asArray->GetAt(0) : nullptr;
            if (first) answer = *first;
        }
        EXPECT_FALSE(vm.HasError()) << out.str();
        vm.SetOutputStream(previous, vm.IsQuiet());
        return answer;
    }

    // The answer's bytes when it is a String.
    std::string Text(const std::string& name, const std::vector<Opnd>& args) {
        const CVmValue v = Answer(name, args);
        return v.type == VmValueType::String ? std::string(v.asString->CStr(), v.asString->Length()) : "<no string>";
    }

    // The answer's Strings when it is an Array of them, joined by "|".
    std::string Pieces(const std::string& name, const std::vector<Opnd>& args) {
        const CVmValue v = Answer(name, args);
        if (v.type != VmValueType::Array) return "<no array>";
        std::string joined;
        for (int32_t i = 0; i < v.asArray->count; ++i) {
            const CVmValue* e = v.asArray->GetAt(i);
            if (e->type != VmValueType::String) return "<no string>";
            joined += (i ? "|" : "") + std::string(e->asString->CStr(), e->asString->Length());
        }
        return joined + "#" + std::to_string(v.asArray->count);
    }

    Machine vm;
};

Opnd Bytes(const std::string& bytes) {
    CVmValue v;
    v.SetString(bytes.data(), static_cast<int32_t>(bytes.size()));
    return VValue(v);
}

}  // namespace

TEST(ScriptFormat, ParserClassifiesConversionsAndRejectsWhatItCannotPass) {
    struct Case {
        const char* format;
        bool valid;
        const char* classes;  // one letter per conversion
    } cases[] = {
        {"a%%b%d!", true, "l"},     {"%hd|%hx", true, "ii"},       {"%5.2f%e%G", true, "fff"},
        {"%s%S%[a-z]%c%C", true, "sssc" "c"},                      {"%I64d%ld%Lu", true, "lll"},
        {"50%%", true, ""},         {"%*d %d", true, "l"},         {"no conversion", true, ""},
        {"%+-5d", false, ""},       {"50%", false, ""},            {"%5.2.1f", false, ""},
        {"%I32d", false, ""},       {"%X", false, ""},             {"%p", false, ""},
        {"%n", false, ""},          {"%F", false, ""},             {"%[abc", false, ""},
        {"%lld", false, ""},
    };
    for (const Case& c : cases) {
        const ParsedFormat p = ParseScriptFormat(c.format);
        EXPECT_EQ(p.valid, c.valid) << c.format;
        std::string classes;
        for (const FormatConversion& k : p.conversions) classes += static_cast<char>(k.cls);
        EXPECT_EQ(classes, c.classes) << c.format;
    }
}

TEST(ScriptFormat, SegmentsRunToTheNextPercentAndTheSixteenthConversionIsMarked) {
    const std::string f = "x%%y%dz%%w%s!";
    const ParsedFormat p = ParseScriptFormat(f);
    ASSERT_EQ(p.conversions.size(), 2u);
    EXPECT_EQ(f.substr(0, p.conversions[0].segmentEnd), "x%%y%dz");
    EXPECT_EQ(f.substr(p.conversions[1].segmentStart, p.conversions[1].segmentEnd - p.conversions[1].segmentStart),
              "%%w%s!");
    std::string many;
    for (int i = 0; i < 15; ++i) many += "%d,";
    EXPECT_FALSE(ParseScriptFormat(many).moreThanMax);
    const ParsedFormat more = ParseScriptFormat(many + "%q");
    EXPECT_TRUE(more.valid);
    EXPECT_TRUE(more.moreThanMax);
    EXPECT_EQ(more.conversions.size(), 15u);
}

TEST_F(StringFunctions, SprintfPrintsEachSegmentWithItsValue) {
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += "%d.";
    std::vector<Opnd> numbers = {VStr(sixteen.c_str())};
    for (int i = 1; i <= 16; ++i) numbers.push_back(VInt(i));
    struct Case {
        std::vector<Opnd> args;
        std::string text;
    } cases[] = {
        {{VStr("a%%b%d!"), VInt(5)}, "a%b5!"},
        {{VStr("%d%%"), VInt(5)}, "5"},
        {{VStr("x=%5.2f"), VInt(3)}, "x= 3.00"},
        {{VStr("%hd"), VInt(70000)}, "4464"},
        {{VStr("%hd"), VReal(70000.9f)}, "4464"},
        {{VStr("%s-%c"), VStr("ab"), VStr("xy")}, "ab-x"},
        {{VStr("50%%")}, "50%%"},
        {{VStr("%d"), VReal(2.7f)}, "2"},
        {{VStr("%x|%05d"), VInt(255), VInt(42)}, "ff|00042"},
        {{VStr("%lx %ld"), VInt(-1), VInt(-1)}, "ffffffff -1"},
        {{VStr("%I64d %I64x"), VReal(3e10f), VInt(-1)}, "30000001024 ffffffffffffffff"},
        {{VStr("%d"), VInt(1), VInt(2)}, "1"},
        {{VStr("%S|%C|%ls"), VStr("hi"), VStr("q"), VStr("w")}, "hi|q|w"},
        {{VStr("%e %Lf"), VReal(1.5f), VReal(1.5f)}, "1.500000e+00 1.500000"},
        {numbers, "1.2.3.4.5.6.7.8.9.10.11.12.13.14.15."},
    };
    for (const Case& c : cases) EXPECT_EQ(Text("Sprintf", c.args), c.text);
}

TEST_F(StringFunctions, SprintfOutputIsCutAt2047Characters) {
    EXPECT_EQ(Text("Sprintf", {VStr("%999999999d"), VInt(7)}), std::string(2047, ' '));
    EXPECT_EQ(Text("Sprintf", {VStr("%-5000d|"), VInt(7)}), "7" + std::string(2046, ' '));
    EXPECT_EQ(Text("Sprintf", {VStr("%.99999f"), VReal(1)}), "1." + std::string(2045, '0'));
}

TEST_F(StringFunctions, FormattingErrorsStopTheScriptWithoutAResult) {
    struct Case {
        const char* name;
        std::vector<Opnd> args;
        const char* message;
    } cases[] = {
        {"Sprintf", {VStr("%+-5d"), VInt(1)}, "Param n. 1 contains invalid format symbols."},
        {"Sprintf", {VStr("50%")}, "Param n. 1 contains invalid format symbols."},
        {"Sprintf", {VStr("%d"), VValue([] { CVmValue v; v.SetBool(true); return v; }())}, "Param n. 2 is invalid."},
        {"Sprintf", {VStr("%s"), VInt(1)}, "Param n. 2 is invalid."},
        {"Sprintf", {VStr("%d%d"), VInt(1)}, "2025 fewer"},
        {"Sprintf", {VInt(1)}, "Param n. 1 must be a string."},
        {"Sscanf", {VInt(1), VStr("%d"), VInt(0)}, "Param n. 1 must be a string."},
        {"Sscanf", {VStr("1"), VInt(1), VInt(0)}, "Param n. 2 must be a string."},
        {"Sscanf", {VStr("1"), VStr("%5.2.1f"), VInt(0)}, "Param n. 2 contains invalid format symbols."},
        {"Sscanf", {VStr("1"), VStr("%9c"), VInt(0)}, "Param n. 2 contains invalid format symbols."},
        {"Sscanf", {VStr("1 2"), VStr("%d %d"), VInt(0), VInt(0), VInt(0)}, "2024 fewer"},
        {"Sscanf", {VStr("1"), VStr("%d%s"), VInt(0), VInt(0)}, "Param n. 4 is not valid"},
        {"Sscanf", {VStr("1"), VStr("%s"), VStr("")}, "Param n. 3 is a string with inadeguate length."},
        {"Sscanf", {VStr("1"), VStr("%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d%d")}, "must not exceed 15."},
    };
    for (const Case& c : cases) {
        const CallOutcome o = CallGlobal(vm, c.name, c.args);
        EXPECT_TRUE(o.error) << c.message;
        EXPECT_NE(o.output.find(c.message), std::string::npos) << o.output;
        EXPECT_EQ(o.type, VmValueType::Void) << c.message;
    }
}

TEST_F(StringFunctions, SscanfStoresEachConversionInItsVariable) {
    MethodScript s("MAIN");
    const Opnd i = s.Local(VInt(0));
    const Opnd text = s.Blanks(10);
    s.Record(s.Global("Sscanf", {VStr("12 abc"), VStr("%d %s"), i, text}, {{3, i}, {4, text}}));
    s.Record(i);
    s.Record(text);
    const Opnd len = s.Local(VInt(0));
    s.Builder().Emit(OP_LEN, text, None(), len);
    s.Record(len);
    const Opnd h = s.Local(VInt(0));
    s.Record(s.Global("Sscanf", {VStr("70000"), VStr("%hd"), h}, {{3, h}}));
    s.Record(h);
    const Opnd r = s.Local(VInt(0));
    const Opnd c = s.Local(VInt(0));
    s.Record(s.Global("Sscanf", {VStr("2.5;xyz"), VStr("%f;%c"), r, c}, {{3, r}, {4, c}}));
    s.Record(r);
    s.Record(c);
    const Opnd d = s.Local(VInt(0));
    const Opnd big = s.Local(VInt(0));
    const Opnd word = s.Blanks(4);
    s.Record(s.Global("Sscanf", {VStr("0.25 -9000000000 ab,cd"), VStr("%lf %I64d %[a-z]"), d, big, word},
                      {{3, d}, {4, big}, {5, word}}));
    s.Record(d);
    s.Record(big);
    s.Record(word);
    const CallOutcome o = RunScript(vm, s);
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_EQ(o.output, "2\n12\nabc\n3\n1\n4464\n2\n2.5\nx\n3\n0.25\n-410065408\nab\n");
}

TEST_F(StringFunctions, SscanfWarnsWhenTheInputEndsFirstAndLeavesTheVariable) {
    MethodScript s("MAIN");
    const Opnd v = s.Local(VInt(77));
    s.Record(s.Global("Sscanf", {VStr(""), VStr("%d"), v}, {{3, v}}));
    s.Record(v);
    const CallOutcome o = RunScript(vm, s);
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_NE(o.output.find("4003 fewer"), std::string::npos) << o.output;
    EXPECT_NE(o.output.find("-1\n77\n"), std::string::npos) << o.output;
}

TEST_F(StringFunctions, SscanfNeverWritesPastAString) {
    // The text is cut at the String's length, which is then reported.
    MethodScript s("MAIN");
    const Opnd small = s.Blanks(3);
    s.Record(s.Global("Sscanf", {VStr("abcdefghijklmnopqrstuvwxyz"), VStr("%s"), small}, {{3, small}}));
    const CallOutcome o = RunScript(vm, s);
    EXPECT_TRUE(o.error);
    EXPECT_NE(o.output.find("Param n. 3 is a string with inadeguate length."), std::string::npos) << o.output;

    // Whatever comes after "%*" that the scanner might take for another
    // conversion is matched as text.
    MethodScript t("MAIN");
    const Opnd word = t.Blanks(8);
    t.Record(t.Global("Sscanf", {VStr("%*%d abc"), VStr("%*%%d %s"), word}, {{3, word}}));
    t.Record(word);
    const CallOutcome u = RunScript(vm, t);
    EXPECT_FALSE(u.error) << u.output;
    EXPECT_EQ(u.output, "1\nabc\n");
}

TEST_F(StringFunctions, SplitCutsAtEachSeparator) {
    struct Case {
        std::vector<Opnd> args;
        std::string pieces;
    } cases[] = {
        {{VStr("a,b,c"), VStr(",")}, "a|b|c#3"},
        {{VStr("a,,b"), VStr(",")}, "a||b#3"},
        {{VStr("a,"), VStr(",")}, "a|#2"},
        {{VStr(""), VStr(",")}, "#1"},
        {{VStr("abc"), VStr(",")}, "abc#1"},
        {{VStr("a::b"), VStr("::")}, "a|b#2"},
        {{VStr("a,b,c"), VStr(","), VInt(2)}, "a|b|#3"},
        {{Bytes(std::string("x\0y\0z", 5)), Bytes(std::string("\0", 1))}, std::string("x|y|z#3")},
    };
    for (const Case& c : cases) EXPECT_EQ(Pieces("Split", c.args), c.pieces);
    for (const std::vector<Opnd>& args : {std::vector<Opnd>{VStr("a"), VStr("")}, {VStr("a")}}) {
        const CallOutcome o = CallGlobal(vm, "Split", args);
        EXPECT_TRUE(o.error);
        EXPECT_NE(o.output.find("Param n. 2 must be a string."), std::string::npos) << o.output;
    }
}

TEST_F(StringFunctions, PackAndUnpackGoThroughThePackFormat) {
    const float values[2] = {1, -2};
    CVmValue vector;
    vector.SetVector(values, 2);
    EXPECT_EQ(Text("PackVector", {VStr(">hb"), VValue(vector)}), std::string("\x00\x01\xFE", 3));
    EXPECT_EQ(CallGlobal(vm, "UnpackVector", {VStr(">hb"), Bytes(std::string("\x00\x01\xFE", 3))}).result,
              "[ 1 , -2 ]");

    MethodScript s("MAIN");
    const Opnd out = s.Blanks(4);
    s.Record(s.Global("PackVector", {VStr("<h"), VValue(vector), out}, {{3, out}}));
    s.Record(s.Global("PackVector", {VStr("<i"), VValue(vector), s.Blanks(3)}));
    const Opnd into = s.Local(VValue(vector));
    s.Record(s.Global("UnpackVector", {VStr("<h"), out, into}, {{3, into}}));
    s.Record(into);
    s.Record(s.Global("UnpackVector", {VStr("<i"), VStr("abc"), into}));
    s.Record(s.Global("UnpackVector", {VStr("<hh"), out, s.Local(VValue(vector))}));
    const CallOutcome o = RunScript(vm, s);
    EXPECT_FALSE(o.error) << o.output;
    EXPECT_EQ(o.output, "2\n-1\n1\n[ 1 , -2 ]\n-1\n2\n");

    struct Case {
        std::vector<Opnd> args;
        const char* name;
        const char* message;
    } errors[] = {
        {{VStr("<i"), VInt(1)}, "PackVector", "Param n. 2 must be a vector."},
        {{VStr("<i"), VValue(vector)}, "UnpackVector", "Param n. 2 must be a string."},
        {{VStr("<i"), VStr("abc")}, "UnpackVector", "Param n. 2 is invalid."},
    };
    for (const Case& c : errors) {
        const CallOutcome e = CallGlobal(vm, c.name, c.args);
        EXPECT_TRUE(e.error);
        EXPECT_NE(e.output.find(c.message), std::string::npos) << e.output;
    }
}

TEST_F(StringFunctions, VarStringEncodingIsTheValueByteEncoding) {
    const float pair[2] = {1, 2};
    CVmValue vector;
    vector.SetVector(pair, 2);
    struct Case {
        Opnd value;
        std::string bytes;
        const char* text;
    } cases[] = {
        {VInt(7), std::string("\x02\x00\x00\x00\x07", 5), "7"},
        {VStr("ab"), std::string("\x05\x00\x00\x00\x02" "ab", 7), "ab"},
        {VValue(vector), std::string("\x08\x00\x00\x00\x02\x00\x00\x80\x3F\x00\x00\x00\x40", 13),
         "[ 1 , 2 ]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text("VarStringEncode", {c.value}), c.bytes);
        MethodScript s("MAIN");
        const Opnd bytes = s.Global("VarStringEncode", {c.value});
        const Opnd len = s.Local(VInt(0));
        s.Builder().Emit(OP_LEN, bytes, None(), len);
        s.Record(len);
        s.Record(s.Global("VarStringDecode", {bytes}));
        const CallOutcome o = RunScript(vm, s);
        EXPECT_FALSE(o.error) << o.output;
        EXPECT_EQ(o.output, std::to_string(c.bytes.size()) + "\n" + c.text + "\n");
        const CallOutcome d = CallGlobal(vm, "VarStringDecode", {Bytes(c.bytes)});
        EXPECT_EQ(d.result, c.text);
    }
    for (const std::string& bad : {std::string("zz"), std::string("\x09\x00\x00\x00\x01Q", 6), std::string()}) {
        const CallOutcome o = CallGlobal(vm, "VarStringDecode", {Bytes(bad)});
        EXPECT_TRUE(o.error);
        EXPECT_NE(o.output.find("Invalid encoded string."), std::string::npos) << o.output;
    }
    const CallOutcome none = CallGlobal(vm, "VarStringDecode", {VInt(3)});
    EXPECT_FALSE(none.error);
    EXPECT_EQ(none.type, VmValueType::Void);
}
