#include "platform/Dialogs.h"

#include <cstdlib>

#include "platform/ChildProcess.h"
#include "platform/GlutWindow.h"
#include "platform/TextEncoding.h"

namespace {

const char* const kProgram = "zenity";
// A path or a line of text; anything longer is not a sane answer.
constexpr size_t kOutputLimit = 65536;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> pieces(1);
    for (const char c : text) {
        if (c == separator)
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    return pieces;
}

// Patterns as the dialog takes them: separated by blanks, and "*.*", which
// matches every name on Windows, as "*" (here it would need a dot).
std::string DialogPatterns(const std::string& patterns) {
    std::string out;
    for (std::string pattern : Split(patterns, ';')) {
        const size_t first = pattern.find_first_not_of(' ');
        if (first == std::string::npos) continue;
        pattern = pattern.substr(first, pattern.find_last_not_of(' ') - first + 1);
        if (pattern == "*.*") pattern = "*";
        if (!out.empty()) out += ' ';
        out += pattern;
    }
    return out;
}

void AddOwner(std::vector<std::string>& arguments, unsigned long owner) {
    arguments.push_back("--modal");
    if (owner) arguments.push_back("--attach=" + std::to_string(owner));
}

// The dialog reads its prompt with backslash escapes and '_' marking an
// access key: both are doubled so that the prompt shows as written.
std::string LiteralLabel(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '_') out += c;
        out += c;
    }
    return out;
}

// The dialog takes its texts in the locale's encoding and they arrive as
// UTF-8: a locale of another encoding is replaced for the child.
std::vector<std::string> Utf8Locale() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        std::string lower = value;
        for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos) return {};
        break;
    }
    return {"LC_ALL=C.UTF-8"};
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// Runs the dialog program; its answer is its output less the final line end
// when it ends with 0, anything else is a cancel.
DialogAnswer Run(const std::vector<std::string>& arguments) {
    DialogAnswer answer;
    if (!HasDisplay()) {
        answer.outcome = DialogAnswer::kUnavailable;
        answer.text = "there is no display to show it on (DISPLAY is not set)";
        return answer;
    }
    ModalWindowPause pause;
    ChildProcessOptions options;
    options.environment = Utf8Locale();
    options.outputLimit = kOutputLimit;
    options.whileWaiting = [&pause] { pause.Service(); };
    const ChildProcessRun run = RunChildProcess(arguments, options);
    if (!run.started) {
        answer.outcome = DialogAnswer::kUnavailable;
        answer.text = std::string(kProgram) + " cannot be started (" + run.error + ")";
    } else if (run.exitCode == 0) {
        answer.outcome = DialogAnswer::kOk;
        answer.text = run.output;
        if (!answer.text.empty() && answer.text.back() == '\n') answer.text.pop_back();
    }
    return answer;
}

}  // namespace

std::vector<FileFilter> ParseFileFilters(const std::string& filter) {
    const std::vector<std::string> pieces = Split(filter, '|');
    std::vector<FileFilter> filters;
    for (size_t i = 0; i + 1 < pieces.size(); i += 2) {
        if (pieces[i].empty() || pieces[i + 1].empty()) break;
        filters.push_back({pieces[i], pieces[i + 1]});
    }
    return filters;
}

std::vector<std::string> FileDialogArguments(const FileDialogRequest& request, unsigned long owner) {
    std::vector<std::string> arguments = {kProgram, "--file-selection"};
    if (request.save) {
        arguments.push_back("--save");
        arguments.push_back("--confirm-overwrite");
    }
    if (!request.title.empty()) arguments.push_back("--title=" + Cp1252ToUtf8(request.title));
    if (!request.fileName.empty()) arguments.push_back("--filename=" + request.fileName);
    for (const FileFilter& f : request.filters)
        arguments.push_back("--file-filter=" + Cp1252ToUtf8(f.description) + " | " + DialogPatterns(f.patterns));
    AddOwner(arguments, owner);
    return arguments;
}

std::vector<std::string> TextInputArguments(const std::string& title, const std::string& prompt, unsigned long owner) {
    std::vector<std::string> arguments = {kProgram, "--entry", "--title=" + Cp1252ToUtf8(title),
                                          "--text=" + LiteralLabel(Cp1252ToUtf8(prompt))};
    AddOwner(arguments, owner);
    return arguments;
}

DialogAnswer ShowFileDialog(const FileDialogRequest& request) {
    return Run(FileDialogArguments(request, HostWindowId()));
}

DialogAnswer ShowTextInputDialog(const std::string& title, const std::string& prompt) {
    DialogAnswer answer = Run(TextInputArguments(title, prompt, HostWindowId()));
    if (answer.outcome == DialogAnswer::kOk) {
        answer.text = Utf8ToCp1252(answer.text);
        if (answer.text.size() > kMaxInputText) answer.text.resize(kMaxInputText);
    }
    return answer;
}
