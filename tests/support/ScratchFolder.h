// A fresh folder for one test, removed with everything in it at the end.
#pragma once

#include <string>

namespace qemtest {

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // The folder with a trailing '/'.
    const std::string& Path() const { return m_path; }
    // Path() + name, after making the folders that `name` names.
    std::string Make(const std::string& name) const;

private:
    std::string m_path;
};

}  // namespace qemtest
