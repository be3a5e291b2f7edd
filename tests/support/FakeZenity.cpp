#include "support/FakeZenity.h"

#include <sys/stat.h>

#include <cstdlib>

#include "support/ZipWriter.h"

namespace qemtest {

FakeZenity::FakeZenity(const std::string& folder) : m_folder(folder) {
    // Call n writes its arguments, each ended by a zero byte, to calls.n and
    // answers with reply n, or with the last reply when there is none.
    const std::string script =
        "#!/bin/sh\n"
        "d='" + m_folder + "'\n"
        "n=$(($(cat \"$d/count\" 2>/dev/null || echo 0) + 1))\n"
        "echo $n > \"$d/count\"\n"
        "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > \"$d/calls.$n\"\n"
        "r=$n; [ -f \"$d/code.$r\" ] || r=$(cat \"$d/last\" 2>/dev/null || echo 0)\n"
        "[ -f \"$d/out.$r\" ] && cat \"$d/out.$r\"\n"
        "exit $(cat \"$d/code.$r\" 2>/dev/null || echo 0)\n";
    WriteFile(m_folder + "zenity", script);
    chmod((m_folder + "zenity").c_str(), 0755);
}

void FakeZenity::Reply(const std::string& output, int exitCode) {
    const std::string n = std::to_string(++m_replies);
    WriteFile(m_folder + "out." + n, output);
    WriteFile(m_folder + "code." + n, std::to_string(exitCode));
    WriteFile(m_folder + "last", n);
}

std::string FakeZenity::SearchPath() const {
    const char* path = std::getenv("PATH");
    return m_folder.substr(0, m_folder.size() - 1) + ":" + (path ? path : "/usr/bin:/bin");
}

std::vector<std::vector<std::string>> FakeZenity::Calls() const {
    std::vector<std::vector<std::string>> calls;
    for (int n = 1;; ++n) {
        struct stat info;
        const std::string file = m_folder + "calls." + std::to_string(n);
        if (stat(file.c_str(), &info) != 0) break;
        std::vector<std::string> arguments;
        std::string argument;
        for (const char c : ReadFile(file)) {
            if (c == '\0') {
                arguments.push_back(argument);
                argument.clear();
            } else {
                argument += c;
            }
        }
        calls.push_back(arguments);
    }
    return calls;
}

}  // namespace qemtest
