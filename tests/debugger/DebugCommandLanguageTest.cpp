// The command language: what the scanner makes of words, numbers, file
// names and bad characters, how expressions group, and the parse results
// and replies of each command.
#include "DebugSessionFixture.h"
#include "debugger/DebugCommandLanguage.h"

using namespace qemtest;
using Lines = std::vector<std::string>;

namespace {

struct Case {
    const char* line;
    int32_t result;
    Lines replies;  // the scanner's messages among them: nothing goes to the standard output
};

}  // namespace

class DebugCommandLanguageTest : public DebugSessionTest {
protected:
    void SetUp() override {
        DebugSessionTest::SetUp();
        StartSession();
        client.TakeEvents();
    }

    void Check(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            testing::internal::CaptureStdout();
            const int32_t result = DebugParse(*session, -1, nullptr, std::string(c.line) + "\r\n");
            EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.line;
            EXPECT_EQ(result, c.result) << c.line;
            EXPECT_EQ(client.TakeReplies(), c.replies) << c.line;
        }
    }
};

TEST_F(DebugCommandLanguageTest, KeywordsAgainstIdentifiers) {
    Check({
        {"print int(2.5)", -1, {"2"}},
        {"print integer", 1, {"integer:<variable not found / optimized away>"}},
        {"print true and true", -1, {"True"}},
        {"print true AND false", -1, {"False"}},
        {"print true && false || true", -1, {"True"}},
        {"print android", 1, {"android:<variable not found / optimized away>"}},
        {"print oregon", 1, {"oregon:<variable not found / optimized away>"}},
        {"print True", -1, {"True"}},
        {"print truex", 1, {"truex:<variable not found / optimized away>"}},
        {"print _x1", 1, {"_x1:<variable not found / optimized away>"}},
        {"PRINT 1", -1, {"1"}},
        {"P 1", -1, {"1"}},
        {"Print COS(0)", -1, {"1"}},
        // A command word is matched as far as it goes; what follows is a bad character.
        {"bta", -1, {"bad input character 'a'", "null"}},
    });
}

TEST_F(DebugCommandLanguageTest, NumbersAndStrings) {
    Check({
        {"print 12", -1, {"12"}},
        {"print 1.5", -1, {"1.5"}},
        {"print 2.", -1, {"2"}},
        {"print .25", -1, {"0.25"}},
        {"print 99999999999", -1, {"2147483647"}},
        {"print valtype(2.)", -1, {"R"}},
        {"print valtype(2)", -1, {"I"}},
        {"print \"a b\"", -1, {"a b"}},
        {"print \"\"", 1, {"syntax error"}},
        {"print \"abc", 1, {"syntax error"}},
        {"print 1 = 1", 1, {"bad input character '='", "syntax error"}},
    });
}

TEST_F(DebugCommandLanguageTest, OperatorsGroupByPrecedence) {
    Check({
        {"print 1+2*3", -1, {"7"}},
        {"print (1+2)*3", -1, {"9"}},
        {"print 7 % 4 - 1", -1, {"2"}},
        {"print 6 & 3 | 8", -1, {"10"}},
        {"print 2^3^2", -1, {"64"}},
        {"print -2^2", -1, {"4"}},
        {"print (-2)^2", -1, {"4"}},
        {"print - 3 - - 2", -1, {"-1"}},
        {"print 2^-1", 1, {"syntax error"}},
        {"print sin(0)^2", -1, {"0"}},
        {"print 2^sin(0)", 1, {"syntax error"}},
        {"print !true", -1, {"False"}},
        {"print 1 < 2 == true", -1, {"True"}},
        {"print 1 + 1 >= 2 and 3 != 4", -1, {"True"}},
        {"print true ? 2 : false ? 3 : 4", -1, {"2"}},
        {"print false ? 2 : false ? 3 : 4", -1, {"4"}},
        {"print 1 ? 2 : 3", -1, {"<evaluation error>"}},
        {"print 1 +", 1, {"syntax error"}},
        {"print 1 2", 1, {"syntax error"}},
        {"print", 1, {"syntax error"}},
    });
}

TEST_F(DebugCommandLanguageTest, BuiltInFunctions) {
    Check({
        {"print ln(1)", -1, {"0"}},
        {"print ln(100)", -1, {"4.60517"}},
        {"print log(1000)", -1, {"3"}},
        {"print sqrt(16)", -1, {"4"}},
        {"print abs(-3)", -1, {"3"}},
        {"print len(\"abc\")", -1, {"3"}},
        {"print modulus([3, 4])", -1, {"5"}},
        {"print asize({1, 2, 3})", -1, {"3"}},
        {"print asize([1, 2])", -1, {"2"}},
        {"print asize(1)", -1, {"<evaluation error>"}},
        {"print int(-2.5)", -1, {"-2"}},
        {"print atan(0) + acos(1) + asin(0) + tan(0)", -1, {"0"}},
        {"print sqrt(true)", -1, {"<evaluation error>"}},
        {"print cos 1", 1, {"syntax error"}},
        // A script-side call (the base machine has none).
        {"print f(1, 2)", -1, {"** ERROR WHILE INTERPRETING THE EXPRESSION **"}},
        {"print f()", -1, {"** ERROR WHILE INTERPRETING THE EXPRESSION **"}},
    });
}

TEST_F(DebugCommandLanguageTest, FileNamesEndInQsx) {
    Check({
        {"b main.qsx:4", -1, {}},
        {"break   main.qsx : 5", -1, {}},
        // These parse, but no file has that exact name.
        {"B MAIN.QSX:6", -1, {"breakpoint refused: no code at MAIN.QSX:6"}},
        {"b C:\\my dir\\main-1.QSX:6", -1, {"breakpoint refused: no code at C:\\my dir\\main-1.QSX:6"}},
        {"b main.src:4", 1,
         {"bad input character 'm' at line", "bad input character 'a' at line", "bad input character 'i' at line",
          "bad input character 'n' at line", "bad input character '.' at line", "bad input character 's' at line",
          "bad input character 'r' at line", "bad input character 'c' at line", "syntax error"}},
        {"b", 1, {"syntax error"}},
        {"b main.qsx", 1, {"syntax error"}},
        {"b main.qsx:", 1, {"syntax error"}},
        {"d main.qsx:5", -1, {}},
    });
    EXPECT_EQ(session->Breakpoints().size(), 1u);
    EXPECT_EQ(session->Breakpoints().count(InstructionAt(4)), 1u);
}

TEST_F(DebugCommandLanguageTest, BreakpointsOnLinesWithoutCodeAreRefused) {
    Check({
        {"b main.qsx:-1", -1, {"breakpoint refused: no code at main.qsx:-1"}},
        {"b main.qsx:2", -1, {"breakpoint refused: no code at main.qsx:2"}},  // between lines with code
        {"b main.qsx:100000", -1, {"breakpoint refused: no code at main.qsx:100000"}},
        {"b main.qsx:99999999999", -1, {"breakpoint refused: no code at main.qsx:99999999999"}},
        {"b main.qsx:4294967301", -1, {"breakpoint refused: no code at main.qsx:4294967301"}},  // 5 past 2^32
        {"b main.qsx:+5", -1, {"bad input character '+' at line"}},
        {"b main.qsx:5", -1, {}},
    });
    EXPECT_EQ(session->Breakpoints().size(), 1u);
    EXPECT_EQ(session->Breakpoints().count(InstructionAt(5)), 1u);
}

TEST_F(DebugCommandLanguageTest, CommandsAndTheirResults) {
    Check({
        {"", 1, {"syntax error"}},
        {"  \t", 1, {"syntax error"}},
        {"bt", -1, {"null"}},
        {"backtrace", -1, {"null"}},
        {"frame 3", -1, {}},
        {"f 99999999999", -1, {}},
        {"frame", 1, {"syntax error"}},
        {"f x", 1, {"bad input character 'x' at line", "syntax error"}},
        {"c", 0, {}},
        {"continue", 0, {}},
        {"c extra", 1, {"syntax error"}},  // "e" is the next command word
        {"stepx", 0, {"bad input character 'x'"}},
        {"n", 0, {}},
        {"next", 0, {}},
        {"pause", 0, {}},
        {"#", 1, {"bad input character '#'", "syntax error"}},
    });
    EXPECT_EQ(client.TakeEvents(), (Lines{"Resumed by client", "Resumed by client", "Resumed by step into",
                                          "Resumed by step over", "Resumed by step over", "Resumed by client"}));
    Check({{"exit", 0, {}}, {"e", 0, {}}});
    EXPECT_EQ(client.TakeEvents(), Lines{"Stopped"});
}

TEST_F(DebugCommandLanguageTest, DeepNestingExhaustsTheParserStack) {
    const std::string deep = "print " + std::string(20000, '(') + "1" + std::string(20000, ')');
    Check({{deep.c_str(), 2, {"memory exhausted"}}});
    const std::string fits = "print " + std::string(1000, '(') + "1" + std::string(1000, ')');
    Check({{fits.c_str(), -1, {"1"}}});
}
