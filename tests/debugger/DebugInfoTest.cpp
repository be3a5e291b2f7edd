// The debug-information model: line lookups both ways, scopes, classes, and
// how it reads malformed files.
#include <filesystem>
#include <fstream>
#include <random>

#include <gtest/gtest.h>
#include <json/value.h>

#include "debugger/DebugInfo.h"
#include "support/DebugInfoWriter.h"

using qemtest::DebugInfoWriter;

namespace {

std::unique_ptr<DebugInfo> Load(const DebugInfoWriter& w) { return LoadDebugInfo(w.ToJson()); }

// One file "main.src": line 10 starts at 4, line 12 at 9, range 0..20.
DebugInfoWriter OneFile() {
    DebugInfoWriter w;
    const int32_t f = w.AddFile("main.src");
    w.AddRange(f, 0, 20);
    w.AddLine(f, 10, 4);
    w.AddLine(f, 12, 9);
    return w;
}

}  // namespace

TEST(DebugInfo, FindLineExactAndNearest) {
    const auto info = Load(OneFile());
    const DebugFileTable& table = info->FileTables().at(0);
    const struct {
        int32_t instruction;
        bool nearest;
        int32_t line;
    } cases[] = {
        {4, false, 10}, {5, false, -1}, {9, false, 12}, {7, true, 10},   {9, true, 12},
        {4, true, 10},  {15, true, -1}, {2, true, -1},  {-1, true, -1}, {8, true, 10},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(table.FindLine(c.instruction, c.nearest), c.line)
            << "instruction " << c.instruction << (c.nearest ? " nearest" : " exact");
    }
    EXPECT_EQ(table.FindInstruction(12), 9);
    EXPECT_EQ(table.FindInstruction(11), -1);
}

TEST(DebugInfo, LaterFileWinsWhereRangesOverlap) {
    DebugInfoWriter w;
    const int32_t a = w.AddFile("a.src");
    const int32_t b = w.AddFile("b.src");
    w.AddRange(a, 0, 20);
    w.AddLine(a, 1, 0);
    w.AddLine(a, 2, 10);
    w.AddLine(a, 3, 20);
    w.AddRange(b, 5, 12);
    w.AddLine(b, 7, 10);
    w.AddLine(b, 8, 12);
    const auto info = Load(w);
    const struct {
        int32_t instruction;
        bool nearest;
        const char* file;
        int32_t line;
    } cases[] = {
        {10, false, "b.src", 7},
        {11, true, "b.src", 7},
        {7, true, "a.src", 1},    // inside b's range, but b has no line there
        {15, true, "a.src", 2},   // outside b's range
        {21, true, "", -1},       // outside every range
        {7, false, "", -1},
    };
    for (const auto& c : cases) {
        const DebugLocation loc = info->LocationOf(c.instruction, c.nearest);
        EXPECT_EQ(loc.file, c.file) << c.instruction;
        EXPECT_EQ(loc.line, c.line) << c.instruction;
        const DebugFileLine at = info->LineOf(c.instruction, c.nearest);
        EXPECT_EQ(at.file, *c.file ? (c.file[0] == 'a' ? 0 : 1) : -1) << c.instruction;
    }
}

TEST(DebugInfo, InstructionAtComparesFileNamesExactly) {
    DebugInfoWriter w;
    const int32_t f = w.AddFile("Main.src");
    w.AddLine(f, 10, 4);
    const auto info = Load(w);
    EXPECT_EQ(info->InstructionAt("Main.src", 10), 4);
    EXPECT_EQ(info->InstructionAt("main.src", 10), -1);
    EXPECT_EQ(info->InstructionAt("Main.src", 11), -1);
    EXPECT_EQ(info->InstructionAt("other.src", 10), -1);
}

TEST(DebugInfo, FirstEntryWinsInEachLineMap) {
    DebugInfoWriter w;
    const int32_t f = w.AddFile("main.src");
    w.AddLine(f, 5, 3);
    w.AddLine(f, 5, 8);  // the line again: the line map keeps 3
    w.AddLine(f, 6, 3);  // the instruction again: the instruction map keeps 5
    const auto info = Load(w);
    const DebugFileTable& table = info->FileTables().at(0);
    EXPECT_EQ(table.FindInstruction(5), 3);
    EXPECT_EQ(table.FindInstruction(6), 3);
    EXPECT_EQ(table.FindLine(3, false), 5);
    EXPECT_EQ(table.FindLine(8, false), 5);
}

TEST(DebugInfo, VariablesAreFoundWithoutRegardToCaseAndFirstWins) {
    DebugInfoWriter w;
    w.AddFile("main.src");
    w.FileScope(0).Variable("Count", 1, 2, qemtest::kDebugGlobal).Variable("count", 2, 3).Variable("x", 3, 4);
    const auto info = Load(w);
    const DebugGlobalScope& scope = *info->FileScopes().at(0);
    const DebugVariable* v = scope.FindVariable("COUNT");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->name, "Count");
    EXPECT_EQ(v->offset, 1);
    EXPECT_TRUE(v->isGlobal);
    EXPECT_EQ(scope.FindVariable("y"), nullptr);
    EXPECT_EQ(scope.Variables().size(), 3u);  // duplicates stay in the list
}

TEST(DebugInfo, FindInnermostDescendsIntoTheChildHoldingTheLine) {
    DebugInfoWriter w;
    w.AddFile("main.src");
    qemtest::DebugScopeWriter& global = w.FileScope(0).Lines(1, 50);
    global.Block(1, 5);
    global.Function("f", 0, 10, 20).Block(14, 16);
    global.Block(30, 40);
    const auto info = Load(w);
    const DebugGlobalScope* root = info->FileScopes().at(0).get();
    const auto& kids = root->Children();
    ASSERT_EQ(kids.size(), 3u);
    const DebugLexicalScope* inner = kids[1]->Children().at(0).get();
    const struct {
        int32_t line;
        const DebugLexicalScope* scope;
    } cases[] = {
        {12, kids[1].get()}, {25, root}, {10, kids[1].get()}, {3, kids[0].get()}, {0, root},
        {40, kids[2].get()}, {41, root}, {15, inner},         {20, kids[1].get()},
    };
    for (const auto& c : cases) EXPECT_EQ(root->FindInnermost(c.line), c.scope) << "line " << c.line;
    EXPECT_EQ(inner->GetParent(), kids[1].get());
    EXPECT_EQ(root->GetParent(), nullptr);
}

TEST(DebugInfo, ScopesDescribeThemselves) {
    DebugInfoWriter w;
    w.AddFile("main.src");
    qemtest::DebugScopeWriter& global = w.FileScope(0);
    global.Method("Box", "$$Init", 2, 1, 5).Variable("a", -2, 1).Variable("b", -1, 1).Variable("c", 1, 2);
    global.Function("f", 0, 6, 8).Variable("local", 1, 7);
    global.Method("Box", "$$", 0, 9, 9);
    global.Method("Box", "$a", 0, 10, 10);
    global.Block(11, 12);
    const auto info = Load(w);
    const DebugGlobalScope& root = *info->FileScopes().at(0);
    const auto& kids = root.Children();
    ASSERT_EQ(kids.size(), 5u);
    EXPECT_EQ(kids[0]->GetDescription(), "Box::Init(a, b)");
    EXPECT_EQ(kids[1]->GetDescription(), "f()");
    EXPECT_EQ(kids[2]->GetDescription(), "Box::$$()");  // only longer names lose the prefix
    EXPECT_EQ(kids[3]->GetDescription(), "Box::$a()");
    EXPECT_EQ(kids[4]->GetDescription(), "");
    EXPECT_EQ(root.GetDescription(), "");

    EXPECT_TRUE(root.IsGlobal());
    EXPECT_TRUE(kids[0]->IsMethod() && !kids[0]->IsFunction() && !kids[0]->IsBlock() && !kids[0]->IsGlobal());
    EXPECT_TRUE(kids[1]->IsFunction() && !kids[1]->IsMethod());
    EXPECT_TRUE(kids[4]->IsBlock());
    const auto* method = dynamic_cast<const DebugMethodScope*>(kids[0].get());
    ASSERT_NE(method, nullptr);
    EXPECT_EQ(method->MethodName(), "Init");
    EXPECT_EQ(method->ParamCount(), 2);
}

TEST(DebugInfo, ScopeAtFollowsTheNearestLine) {
    DebugInfoWriter w;
    const int32_t a = w.AddFile("a.src");
    const int32_t b = w.AddFile("b.src");  // no scope for this one below
    w.AddRange(a, 0, 30);
    w.AddLine(a, 1, 0);
    w.AddLine(a, 5, 10);
    w.AddLine(a, 9, 20);
    w.AddRange(b, 40, 50);
    w.AddLine(b, 1, 40);
    w.FileScope(a).Lines(1, 9).Function("f", 0, 4, 6);
    Json::Value root = w.ToJson();
    root["filescopes"].resize(1);
    const auto info = LoadDebugInfo(root);
    const DebugLexicalScope* global = info->FileScopes().at(0).get();
    EXPECT_EQ(info->ScopeAt(12), global->Children().at(0).get());
    EXPECT_EQ(info->ScopeAt(3), global);
    EXPECT_EQ(info->ScopeAt(25), nullptr);  // past the file's last line start
    EXPECT_EQ(info->ScopeAt(40), nullptr);  // a file without a scope
    EXPECT_EQ(info->ScopeAt(99), nullptr);
}

TEST(DebugInfo, ClassesByIndexAndNameFirstWins) {
    DebugInfoWriter w;
    w.AddClass("Base", {}, {"x"});
    w.AddClass("Box", {0}, {"w", "h"});
    w.AddClass("Box", {}, {"other"});
    const auto info = Load(w);
    ASSERT_EQ(info->ClassDeclarations().size(), 3u);
    const DebugClassDeclaration* box = info->FindClass("Box");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box, info->ClassAt(1));
    EXPECT_EQ(box->parents, std::vector<int32_t>{0});
    EXPECT_EQ(box->variables, (std::vector<std::string>{"w", "h"}));
    EXPECT_EQ(info->FindClass("box"), nullptr);
    EXPECT_EQ(info->ClassAt(3), nullptr);
    EXPECT_EQ(info->ClassAt(-1), nullptr);
}

TEST(DebugInfo, BadAndCyclicParentsAreDropped) {
    DebugInfoWriter w;
    w.AddClass("A", {0, 1, 7, -1});  // itself, B, out of range twice
    w.AddClass("B", {2});
    w.AddClass("C", {0, 3});  // C -> A closes A -> B -> C
    w.AddClass("D", {});
    w.AddClass("E", {3, 3, 1});  // repeated and shared bases are not cycles
    const auto info = Load(w);
    const auto parents = [&](int32_t i) { return info->ClassAt(i)->parents; };
    EXPECT_EQ(parents(0), std::vector<int32_t>{1});
    EXPECT_EQ(parents(1), std::vector<int32_t>{2});
    EXPECT_EQ(parents(2), std::vector<int32_t>{3});
    EXPECT_EQ(parents(4), (std::vector<int32_t>{3, 3, 1}));
}

TEST(DebugInfo, TruncatedFileGivesWhatWasRead) {
    DebugInfoWriter w = OneFile();
    w.FileScope(0).Lines(1, 20).Function("f", 0, 10, 12);
    w.AddClass("Box");
    const std::string text = w.ToText();
    for (size_t cut = 0; cut < text.size(); ++cut) ASSERT_NE(ParseDebugInfo(text.substr(0, cut)), nullptr) << cut;

    const auto info = ParseDebugInfo(R"({"filenames": ["main.src"], "filetables": [{"code": [{"line": 10, "offset": 4},
        {"line": 12, "offs)");  // breaks off inside a key
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->FileNames(), std::vector<std::string>{"main.src"});
    EXPECT_EQ(info->FileTables().at(0).FindInstruction(10), 4);
    EXPECT_EQ(info->FileTables().at(0).FindInstruction(12), 0);  // the offset never arrived: 0
}

// Values of the wrong kind read as absent: the file loads as far as it makes
// sense and nothing throws.
TEST(DebugInfo, WrongKindsReadAsAbsent) {
    EXPECT_TRUE(ParseDebugInfo("[1, 2]")->FileNames().empty());
    EXPECT_TRUE(ParseDebugInfo("\"text\"")->FileNames().empty());
    EXPECT_TRUE(ParseDebugInfo(R"({"filenames": "a.src", "filescopes": 3})")->FileNames().empty());

    const auto info = ParseDebugInfo(R"({
        // comments are allowed
        "filenames": [7, "b.src", null],
        "filetables": [
            {"offsets": [{"startoffset": 0, "endoffset": 9}, 5], "code": [{"line": "3", "offset": 1}, 4,
                         {"line": 4, "offset": 2.0}, {"line": 5.5, "offset": 3}, {"line": 6, "offset": 4294967296}]},
            "not a table"],
        "classdeclarations": [{"name": 5, "parents": ["1", 1.0, true], "variables": ["a", 1, "b"]}, 2],
        "filescopes": [
            {"startLine": "1", "endLine": 9, "variables": [{"name": "v", "offset": "2", "line": [], "static": 1,
                                                            "global": "true", "opt": true}, 3],
             "scopes": [4, {"type": 5, "startLine": 2, "endLine": 3},
                        {"type": "function", "functionname": ["f"], "params": "2", "startLine": 4, "endLine": 5},
                        {"type": "Method", "classname": "C", "methodname": "m", "startLine": 6, "endLine": 7}]},
            []]
    })");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->FileNames(), (std::vector<std::string>{"", "b.src", ""}));
    ASSERT_EQ(info->FileTables().size(), 3u);
    const DebugFileTable& t = info->FileTables()[0];
    EXPECT_EQ(t.Ranges().size(), 1u);
    EXPECT_EQ(t.FindLine(1, false), 0);  // "line": "3" reads as 0
    EXPECT_EQ(t.FindLine(2, false), 4);  // 2.0 is a whole number
    EXPECT_EQ(t.FindLine(3, false), 0);
    EXPECT_EQ(t.FindLine(0, false), 6);  // an offset past int32 reads as 0
    EXPECT_TRUE(info->FileTables()[1].InstructionToLine().empty());

    ASSERT_EQ(info->ClassDeclarations().size(), 2u);
    EXPECT_EQ(info->ClassAt(0)->name, "");
    EXPECT_EQ(info->ClassAt(0)->parents, std::vector<int32_t>{1});
    EXPECT_EQ(info->ClassAt(0)->variables, (std::vector<std::string>{"a", "b"}));

    ASSERT_EQ(info->FileScopes().size(), 2u);
    const DebugGlobalScope& g = *info->FileScopes()[0];
    EXPECT_EQ(g.StartLine(), 0);
    EXPECT_EQ(g.EndLine(), 9);
    ASSERT_EQ(g.Variables().size(), 1u);
    const DebugVariable& v = *g.Variables()[0];
    EXPECT_EQ(v.offset, 0);
    EXPECT_EQ(v.line, 0);
    EXPECT_FALSE(v.isStatic);
    EXPECT_FALSE(v.isGlobal);
    EXPECT_TRUE(v.opt);
    ASSERT_EQ(g.Children().size(), 3u);
    EXPECT_TRUE(g.Children()[0]->IsBlock());
    EXPECT_EQ(g.Children()[1]->GetDescription(), "()");
    EXPECT_TRUE(g.Children()[2]->IsBlock());  // the type compares exactly
}

TEST(DebugInfo, TooDeepNestingLoadsNothing) {
    std::string error;
    EXPECT_EQ(ParseDebugInfo(std::string(5000, '['), &error), nullptr);
    EXPECT_FALSE(error.empty());
    // Deep but within the parser's limit: nested scopes load.
    std::string text = "{\"filescopes\": [";
    for (int i = 0; i < 400; ++i) text += "{\"scopes\": [";
    const auto info = ParseDebugInfo(text);
    ASSERT_NE(info, nullptr);
    const DebugLexicalScope* s = info->FileScopes().at(0).get();
    int depth = 0;
    while (!s->Children().empty()) s = s->Children()[0].get(), ++depth;
    EXPECT_EQ(depth, 399);
}

class DebugInfoFile : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::filesystem::temp_directory_path() / ("qem-debuginfo-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string Path(const char* name) const { return (m_dir / name).string(); }

    std::filesystem::path m_dir;
};

TEST_F(DebugInfoFile, IsReadBesideTheBytecode) {
    DebugInfoWriter w = OneFile();
    w.AddFile("caf\xE8.src");  // Windows-1252 bytes keep their values
    ASSERT_TRUE(w.Write(Path("scene.bin")));
    ASSERT_TRUE(std::filesystem::exists(Path("scene.bin.dbg")));
    const auto info = LoadDebugInfoFile(Path("scene.bin"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->FileNames(), (std::vector<std::string>{"main.src", "caf\xE8.src"}));
    EXPECT_EQ(info->InstructionAt("main.src", 12), 9);
}

TEST_F(DebugInfoFile, MissingOrUnreadableFileGivesNoModel) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(LoadDebugInfoFile(Path("none.bin")), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no debug information is normal

    std::filesystem::create_directories(Path("dir.bin.dbg"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(LoadDebugInfoFile(Path("dir.bin")), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("debugger: cannot read "), std::string::npos);

    std::ofstream(Path("deep.bin.dbg")) << std::string(2000, '[');
    testing::internal::CaptureStdout();
    EXPECT_EQ(LoadDebugInfoFile(Path("deep.bin")), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("deep.bin.dbg"), std::string::npos);

    std::ofstream(Path("empty.bin.dbg"));
    const auto empty = LoadDebugInfoFile(Path("empty.bin"));
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->FileNames().empty());
}
