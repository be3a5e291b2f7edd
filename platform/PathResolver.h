// Finds files named the way scripts name them: '\\' separates folders, and a
// name that does not exist as written is looked up without regard to ASCII
// letter case, one component at a time. Found names are remembered.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>

class PathResolver {
public:
    // The resolver every reader shares.
    static PathResolver& Shared();

    // The path of an existing file or folder that `path` names; when nothing
    // matches, `path` with '/' separators, so that the caller's open fails
    // and reports the name as given.
    std::string Resolve(const std::string& path);

private:
    std::string Search(const std::string& path) const;

    std::mutex m_mutex;
    std::unordered_map<std::string, std::string> m_found;
};
