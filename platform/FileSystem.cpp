#include "platform/FileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string TempFolder() {
    const char* env = std::getenv("TMPDIR");
    std::string folder = (env && *env) ? env : "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
}

std::string ToSlashes(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
        if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
        if (x != y) return false;
    }
    return true;
}

void MakeFolders(const std::string& path) {
    const std::string p = ToSlashes(path);
    for (size_t i = 1; i < p.size(); ++i) {
        if (p[i] != '/' || p[i - 1] == '/') continue;
        std::error_code ignored;
        fs::create_directory(p.substr(0, i), ignored);
    }
}

bool EraseFolder(const std::string& folder) {
    if (folder.size() < 2) return false;
    std::string p = ToSlashes(folder);
    // Without the trailing separator a link named as the folder is removed
    // as a link instead of being followed.
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    std::error_code ec;
    fs::remove_all(p, ec);
    if (ec) {
        // A folder without write permission keeps its entries; give the
        // owner write permission on every sub-folder and try once more.
        for (auto it = fs::recursive_directory_iterator(p, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            std::error_code ignored;
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        std::error_code ignored;
        fs::permissions(p, fs::perms::owner_all, fs::perm_options::add | fs::perm_options::nofollow, ignored);
        fs::remove_all(p, ignored);
    }
    return true;
}

bool IsOwnFolder(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string WorkingFolder() {
    std::error_code error;
    const std::filesystem::path p = std::filesystem::current_path(error);
    return error ? std::string() : p.string();
}

bool ChangeWorkingFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::current_path(ToSlashes(folder), error);
    return !error;
}
