// Dialogs through the dialog program: the filter list, the arguments, the
// child process that runs it, and what the dialogs answer without it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/Dialogs.h"
#include "support/FakeZenity.h"
#include "support/ScratchFolder.h"

using namespace qemtest;
using Arguments = std::vector<std::string>;

namespace {

// Sets an environment variable for the scope of a test (null: unset).
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : m_name(name) {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (old) m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnvironment() {
        if (m_had)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name, m_old;
    bool m_had = false;
};

}  // namespace

TEST(Dialogs, FilterListsEndAtTheirFirstEmptyPiece) {
    struct Case {
        std::string filter;
        std::vector<std::pair<std::string, std::string>> entries;
    };
    const std::string longDescription(5000, 'd');
    const Case cases[] = {
        {"", {}},
        {"Text|*.txt;*.log|All|*.*", {{"Text", "*.txt;*.log"}, {"All", "*.*"}}},
        {"Text|*.txt|", {{"Text", "*.txt"}}},
        {"Text|*.txt|All", {{"Text", "*.txt"}}},  // a description without patterns
        {"Text||All|*.*", {}},
        {"|*.txt", {}},
        {longDescription + "|*.x|B|*.b", {{longDescription, "*.x"}, {"B", "*.b"}}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, std::string>> entries;
        for (const FileFilter& f : ParseFileFilters(c.filter)) entries.emplace_back(f.description, f.patterns);
        EXPECT_EQ(entries, c.entries) << c.filter.substr(0, 40);
    }
}

TEST(Dialogs, ArgumentsNameEveryChoiceOfTheRequest) {
    FileDialogRequest open;
    open.title = "Apri \xE8";
    open.fileName = "/home/u/a b.txt";
    open.filters = ParseFileFilters("Text|*.txt; *.log|All|*.*");
    EXPECT_EQ(FileDialogArguments(open, 77),
              (Arguments{"zenity", "--file-selection", "--title=Apri \xC3\xA8", "--filename=/home/u/a b.txt",
                         "--file-filter=Text | *.txt *.log", "--file-filter=All | *", "--modal", "--attach=77"}));
    FileDialogRequest save;
    save.save = true;
    EXPECT_EQ(FileDialogArguments(save, 0),
              (Arguments{"zenity", "--file-selection", "--save", "--confirm-overwrite", "--modal"}));
    // The prompt shows as written: no escapes, no access keys.
    EXPECT_EQ(TextInputArguments("", "a_b\\n", 0),
              (Arguments{"zenity", "--entry", "--title=", "--text=a__b\\\\n", "--modal"}));
}

TEST(ChildProcess, ArgumentsReachTheProgramAsTheyAre) {
    ScratchFolder scratch;
    const std::string marker = scratch.Path() + "ran";
    const ChildProcessRun run = RunChildProcess({"printf", "%s|", "$(touch " + marker + ")", "a b", "`;"});
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "$(touch " + marker + ")|a b|`;|");
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(ChildProcess, ExitCodesOutputBoundsAndWaiting) {
    EXPECT_EQ(RunChildProcess({"sh", "-c", "echo x; exit 3"}).exitCode, 3);
    EXPECT_EQ(RunChildProcess({"sh", "-c", "kill -9 $$"}).exitCode, 128 + 9);

    // Output past the bound is read and dropped: the child is not left
    // blocked on a full pipe.
    ChildProcessOptions bounded;
    bounded.outputLimit = 1000;
    const ChildProcessRun big = RunChildProcess({"head", "-c", "1000000", "/dev/zero"}, bounded);
    EXPECT_EQ(big.exitCode, 0);
    EXPECT_EQ(big.output, std::string(1000, '\0'));

    int ticks = 0;
    ChildProcessOptions waiting;
    waiting.whileWaiting = [&ticks] { ++ticks; };
    waiting.environment = {"QEM_CHILD_TEST=seen"};
    const ChildProcessRun slow = RunChildProcess({"sh", "-c", "sleep 0.3; echo $QEM_CHILD_TEST"}, waiting);
    EXPECT_EQ(slow.output, "seen\n");
    EXPECT_GE(ticks, 5);

    const ChildProcessRun missing = RunChildProcess({"qem-no-such-program"});
    EXPECT_FALSE(missing.started);
    EXPECT_EQ(missing.error, "No such file or directory");
}

TEST(ChildProcess, TheChildGetsNoDescriptorOfOurs) {
    const int fd = open("/dev/null", O_RDONLY);  // without close-on-exec
    ASSERT_GE(fd, 0);
    const int high = dup2(fd, 57);
    ASSERT_EQ(high, 57);
    const ChildProcessRun run = RunChildProcess({"sh", "-c", "[ -e /proc/self/fd/57 ] && echo open || echo closed"});
    close(fd);
    close(high);
    EXPECT_EQ(run.output, "closed\n");
}

TEST(Dialogs, AnswersOfTheDialogProgram) {
    ScratchFolder scratch;
    FakeZenity zenity(scratch.Make("bin/"));
    ScopedEnvironment path("PATH", zenity.SearchPath().c_str());
    ScopedEnvironment display("DISPLAY", ":97");

    zenity.Reply("/home/u/a.txt\n", 0);
    DialogAnswer a = ShowFileDialog(FileDialogRequest());
    EXPECT_EQ(a.outcome, DialogAnswer::kOk);
    EXPECT_EQ(a.text, "/home/u/a.txt");

    // Typed text comes back as engine text, at most 511 characters.
    std::string typed;
    for (int i = 0; i < 600; ++i) typed += "\xC3\xA8";
    zenity.Reply(typed + "\n", 0);
    a = ShowTextInputDialog("t", "p");
    EXPECT_EQ(a.outcome, DialogAnswer::kOk);
    EXPECT_EQ(a.text, std::string(kMaxInputText, '\xE8'));

    for (const int code : {1, 5, 255}) {
        zenity.Reply("typed\n", code);
        a = ShowTextInputDialog("t", "p");
        EXPECT_EQ(a.outcome, DialogAnswer::kCancelled) << code;
    }
    EXPECT_EQ(zenity.Calls().size(), 5u);
}

TEST(Dialogs, WithoutTheProgramOrADisplayTheyAnswerWhy) {
    ScratchFolder scratch;
    const std::string empty = scratch.Make("empty/");
    {
        ScopedEnvironment path("PATH", empty.c_str());
        ScopedEnvironment display("DISPLAY", ":97");
        const DialogAnswer a = ShowFileDialog(FileDialogRequest());
        EXPECT_EQ(a.outcome, DialogAnswer::kUnavailable);
        EXPECT_EQ(a.text, "zenity cannot be started (No such file or directory)");
    }
    FakeZenity zenity(scratch.Make("bin/"));
    ScopedEnvironment path("PATH", zenity.SearchPath().c_str());
    ScopedEnvironment display("DISPLAY", nullptr);
    ScopedEnvironment wayland("WAYLAND_DISPLAY", nullptr);
    const DialogAnswer a = ShowTextInputDialog("t", "p");
    EXPECT_EQ(a.outcome, DialogAnswer::kUnavailable);
    EXPECT_EQ(a.text, "there is no display to show it on (DISPLAY is not set)");
    EXPECT_TRUE(zenity.Calls().empty());
}
