// A stand-in for the dialog program: a `zenity` script in a folder of its
// own (put it first on PATH) that records the arguments of every call and
// answers with the replies set up, in call order (the last one repeats).
#pragma once

#include <string>
#include <vector>

namespace qemtest {

class FakeZenity {
public:
    // Makes the script in `folder` (with a trailing '/'); it answers "" and
    // 0 until a reply is set.
    explicit FakeZenity(const std::string& folder);

    // The next call prints the output and ends with the code.
    void Reply(const std::string& output, int exitCode);
    const std::string& Folder() const { return m_folder; }
    // PATH with the folder first.
    std::string SearchPath() const;
    // The arguments of each call so far (without the program's name).
    std::vector<std::vector<std::string>> Calls() const;

private:
    std::string m_folder;
    int m_replies = 0;
};

}  // namespace qemtest
