#include "platform/ScriptFile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace {

std::mutex g_folderLock;
std::string g_folder;  // canonical, without a final '/'; empty: no rule

// The canonical form of a path whose file exists; empty when it does not.
std::string Canonical(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return std::string();
    std::string out(real);
    free(real);
    return out;
}

bool Below(const std::string& canonical, const std::string& folder) {
    if (folder.empty()) return true;
    if (canonical.empty()) return false;
    if (folder == "/") return canonical[0] == '/';
    return canonical.size() > folder.size() && canonical.compare(0, folder.size(), folder) == 0 &&
           canonical[folder.size()] == '/';
}

// What the descriptor really is: the file it was opened on, wherever the
// name led.
std::string OpenedPath(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX + 1];
    const ssize_t n = readlink(link, target, PATH_MAX);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

}  // namespace

void ConfineScriptFiles(const std::string& folder) {
    std::string canonical = folder.empty() ? std::string() : Canonical(folder);
    // A folder that is not there yet keeps everything out rather than
    // nothing.
    if (!folder.empty() && canonical.empty()) canonical = folder;
    while (canonical.size() > 1 && canonical.back() == '/') canonical.pop_back();
    std::lock_guard<std::mutex> guard(g_folderLock);
    g_folder = canonical;
}

std::string ScriptFilesFolder() {
    std::lock_guard<std::mutex> guard(g_folderLock);
    return g_folder;
}

bool InsideScriptFilesFolder(const std::string& path) {
    const std::string folder = ScriptFilesFolder();
    return folder.empty() || Below(Canonical(path), folder);
}

ScriptFile ScriptFile::Open(const std::string& path, uint64_t maxBytes) {
    const std::string folder = ScriptFilesFolder();
    struct stat st;
    // A folder is no file to read: as good as missing.
    if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return ScriptFile(NotFound, path);
    // Checked on the name first, so that nothing outside is even opened
    // (opening some devices does something by itself).
    if (!folder.empty() && !Below(Canonical(path), folder)) return ScriptFile(OutsideFolder, path);
    if (!S_ISREG(st.st_mode)) return ScriptFile(NotRegular, path);

    ScriptFile file(Opened, path);
    file.m_maxBytes = maxBytes;
    file.m_fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file.m_fd < 0) {
        file.m_status = NotFound;
        return file;
    }
    // And again on what was opened: the name may have changed meanwhile.
    if (fstat(file.m_fd, &st) != 0 || !S_ISREG(st.st_mode))
        file.m_status = NotRegular;
    else if (!folder.empty() && !Below(OpenedPath(file.m_fd), folder))
        file.m_status = OutsideFolder;
    else if (static_cast<uint64_t>(st.st_size) > maxBytes)
        file.m_status = TooLarge;
    file.m_size = static_cast<uint64_t>(st.st_size);
    if (file.m_status != Opened) {
        close(file.m_fd);
        file.m_fd = -1;
    }
    return file;
}

ScriptFile::ScriptFile(ScriptFile&& other) noexcept
    : m_status(other.m_status), m_path(std::move(other.m_path)), m_maxBytes(other.m_maxBytes),
      m_size(other.m_size), m_fd(other.m_fd) {
    other.m_fd = -1;
}

ScriptFile& ScriptFile::operator=(ScriptFile&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) close(m_fd);
        m_status = other.m_status;
        m_path = std::move(other.m_path);
        m_maxBytes = other.m_maxBytes;
        m_size = other.m_size;
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

ScriptFile::~ScriptFile() {
    if (m_fd >= 0) close(m_fd);
}

std::string ScriptFile::Reason() const {
    const std::string name = "'" + m_path + "'";
    switch (m_status) {
    case Opened: return std::string();
    case NotFound: return name + " cannot be opened";
    case NotRegular: return name + " is not a regular file";
    case TooLarge: return name + " is larger than the " + std::to_string(m_maxBytes) + " bytes read from such a file";
    case OutsideFolder: return name + " lies outside the script's folder";
    }
    return std::string();
}

std::FILE* ScriptFile::TakeStdio() {
    if (m_fd < 0) return nullptr;
    // Reads of a regular file never wait; the stream blocks as usual.
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = fdopen(m_fd, "rb");
    if (f) m_fd = -1;
    return f;
}

template <class Bytes>
bool ScriptFile::ReadInto(Bytes& bytes) {
    bytes.clear();
    if (m_fd < 0) return false;
    bytes.reserve(static_cast<size_t>(m_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(m_fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        // A file that grows while it is read still stops at the cap.
        if (bytes.size() + static_cast<size_t>(n) > m_maxBytes) {
            m_status = TooLarge;
            bytes.clear();
            return false;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
}

bool ScriptFile::ReadAll(std::string& bytes) { return ReadInto(bytes); }
bool ScriptFile::ReadAll(std::vector<uint8_t>& bytes) { return ReadInto(bytes); }

template <class Bytes>
bool ScriptFile::ReadNamed(const std::string& path, uint64_t maxBytes, Bytes& bytes, std::string* reason) {
    ScriptFile file = Open(path, maxBytes);
    const bool ok = file.IsOpen() && file.ReadInto(bytes);
    if (!ok && reason) *reason = file.IsOpen() ? "'" + path + "' cannot be read" : file.Reason();
    return ok;
}

bool ScriptFile::ReadAll(const std::string& path, uint64_t maxBytes, std::string& bytes, std::string* reason) {
    return ReadNamed(path, maxBytes, bytes, reason);
}

bool ScriptFile::ReadAll(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes,
                         std::string* reason) {
    return ReadNamed(path, maxBytes, bytes, reason);
}
