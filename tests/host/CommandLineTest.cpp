#include <gtest/gtest.h>

#include <sstream>

#include "host/CommandLine.h"
#include "host/HtmlSettings.h"
#include "platform/FileSystem.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using qemtest::ScratchFolder;

namespace {

struct Parsed {
    CommandLineOutcome outcome;
    HostSettings settings;
    std::string output;
};

Parsed Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/qem");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    Parsed p;
    std::ostringstream out;
    const std::string start = WorkingFolder();
    p.outcome = ParseCommandLine(static_cast<int>(argv.size()), argv.data(), p.settings, out);
    ChangeWorkingFolder(start);
    p.output = out.str();
    return p;
}

const std::string kObject = "<OBJECT classid=\"clsid:3a41c7e0-9b2d-4f6a-8c15-2e7d90b4a6f3\" width=\"800\" height=\"100%\">";

}  // namespace

TEST(CommandLine, OptionsAndTheirValues) {
    Parsed p = Parse({"-EngineParam", "a", "x.bin", "-engineparam", "b", "-UserParam", "u1", "-USERPARAM", "u2",
                      "-WIDTH", "800", "-h", "600", "-ms", "-C", "-b", "-f", "-stream", "-r", "1024x768"});
    ASSERT_EQ(p.outcome, CommandLineOutcome::Run) << p.output;
    EXPECT_EQ(p.settings.programName, "qem");
    EXPECT_EQ(p.settings.scriptName, "x.bin");
    EXPECT_EQ(p.settings.engineParams, "a;b");
    EXPECT_EQ(p.settings.userParams, "u1;u2");
    EXPECT_EQ(p.settings.width, 800);
    EXPECT_EQ(p.settings.height, 600);
    EXPECT_EQ(p.settings.displayMode, 0x12u | 0x80u | 0x20u);
    EXPECT_TRUE(p.settings.borderless);
    EXPECT_TRUE(p.settings.fullScreen);
    EXPECT_TRUE(p.settings.stream);
    EXPECT_EQ(p.settings.resolution, "1024x768");
    EXPECT_TRUE(p.settings.screenModeChanged);
    EXPECT_EQ(p.output, "");

    p = Parse({"x.bin", "-EngineParam", "FOV=45;STEREO;STENCIL=8"});
    EXPECT_EQ(p.settings.displayMode, 0x12u | 0x100u | 0x20u);
}

TEST(CommandLine, BadOptionsPrintTheUsage) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{"x.bin", "-W", "0"}, "-W"},     {{"x.bin", "-w", "-5"}, "-w"},   {{"x.bin", "-w"}, "-w"},
        {{"x.bin", "-nope"}, "-nope"},    {{"x.bin", "y.bin"}, "y.bin"}, {{"x.bin", "-EngineParam"}, "-EngineParam"},
    };
    for (const auto& row : rows) {
        const Parsed p = Parse(row.first);
        EXPECT_EQ(p.outcome, CommandLineOutcome::ShowUsage) << row.second;
        EXPECT_EQ(p.output.rfind("Error Bad option: '" + row.second + "'.\n\nUsage: \n\nqem Script.bin", 0), 0u)
            << p.output;
    }
    const Parsed none = Parse({});
    EXPECT_EQ(none.outcome, CommandLineOutcome::ShowUsage);
    EXPECT_EQ(none.output, std::string("\nUsage: \n\nqem") + UsageText() + "\n");
    EXPECT_NE(none.output.find("  -stream\t\t   enables network streaming'\n"), std::string::npos);
    EXPECT_NE(none.output.find("(used if not fullscreen) \n"), std::string::npos);
}

TEST(CommandLine, VersionEndsBeforeAnythingElse) {
    for (auto args : {std::vector<std::string>{"-v"}, std::vector<std::string>{"x.bin", "-f", "-V"},
                      std::vector<std::string>{"-v", "-bad"}}) {
        const Parsed p = Parse(args);
        EXPECT_EQ(p.outcome, CommandLineOutcome::ShowVersion);
        EXPECT_NE(p.output.find("\nQem Glut\n\nEngine version: 0154\n\nBuild: 1\n"), std::string::npos) << p.output;
    }
}

TEST(CommandLine, HtmlPages) {
    ScratchFolder scratch;
    const std::string page = scratch.Make("site/page.htm");
    qemtest::WriteFile(page, "<html><!-- <OBJECT classid=\"x\"> --->--> <body>" + kObject +
                                 "<PARAM NAME=\"ScriptName\" VALUE=\"demo.bin\">"
                                 "<PARAM NAME=EngineParam VALUE=\"STEREO\">"
                                 "<PARAM name=\"Unknown\" value=\"ignored\">"
                                 "<PARAM NAME=\"BackgroundColor\" VALUE=\"#FF8000\">"
                                 "<PARAM NAME=\"UserParam\" VALUE=\"hello world\"></OBJECT></body></html>");
    Parsed p = Parse({page, "-EngineParam", "lost"});
    ASSERT_EQ(p.outcome, CommandLineOutcome::Run) << p.output;
    EXPECT_EQ(p.settings.scriptName, "demo.bin");
    EXPECT_EQ(p.settings.engineParams, "STEREO");
    EXPECT_EQ(p.settings.userParams, "hello world");
    EXPECT_EQ(p.settings.background, 0x80FFu);
    EXPECT_EQ(p.settings.width, 800);
    EXPECT_EQ(p.settings.height, 480);  // 100% leaves it
    EXPECT_EQ(p.settings.displayMode & 0x100u, 0x100u);

    // Another class id, or none: the usage.
    const std::string other = scratch.Make("other.html");
    qemtest::WriteFile(other, "<OBJECT classid=\"clsid:0\"><PARAM NAME=\"ScriptName\" VALUE=\"a.bin\"></OBJECT>");
    EXPECT_EQ(Parse({other}).outcome, CommandLineOutcome::ShowUsage);

    // "</object" in lower case does not end the object; no '#' gives black.
    const std::string lower = scratch.Make("lower.html");
    qemtest::WriteFile(lower, kObject + "<PARAM NAME=\"ScriptName\" VALUE=\"a.bin\"></object>"
                                        "<PARAM NAME=\"BackgroundColor\" VALUE=\"FFFFFF\"></OBJECT>"
                                        "<PARAM NAME=\"ScriptName\" VALUE=\"late.bin\">");
    p = Parse({lower});
    EXPECT_EQ(p.settings.scriptName, "a.bin");
    EXPECT_EQ(p.settings.background, 0u);

    EXPECT_EQ(Parse({scratch.Path() + "missing.htm"}).outcome, CommandLineOutcome::PageNotFound);
    // Names that are no pages: upper-case extension, or only ".htm".
    EXPECT_EQ(Parse({"x.HTM"}).settings.scriptName, "x.HTM");
    EXPECT_EQ(Parse({".htm"}).outcome, CommandLineOutcome::Run);
}

TEST(CommandLine, HexColoursAndResolutions) {
    EXPECT_EQ(ParseHexColour("FF8000"), 0xFF8000u);
    EXPECT_EQ(ParseHexColour("  1a"), 0x1Au);
    EXPECT_EQ(ParseHexColour("12zz"), 0x12u);
    EXPECT_EQ(ParseHexColour(""), 0u);
    int32_t f[4] = {0, 0, 0, 0};
    EXPECT_EQ(ParseScreenResolution("1024x768", f), 2);
    EXPECT_EQ(f[0], 1024);
    EXPECT_EQ(f[1], 768);
    EXPECT_EQ(ParseScreenResolution("1024x768:32@60", f), 4);
    EXPECT_EQ(f[3], 60);
    EXPECT_EQ(ParseScreenResolution("@60", f), 0);
}
