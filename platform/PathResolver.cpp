#include "platform/PathResolver.h"

#include <filesystem>
#include <system_error>

#include "platform/FileSystem.h"

namespace fs = std::filesystem;

namespace {

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::path(path), ec);
}

constexpr size_t kMaxRemembered = 4096;

}  // namespace

PathResolver& PathResolver::Shared() {
    static PathResolver resolver;
    return resolver;
}

std::string PathResolver::Resolve(const std::string& path) {
    std::string p = ToSlashes(path);
    if (p.empty() || Exists(p)) return p;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto it = m_found.find(p);
        if (it != m_found.end()) {
            if (Exists(it->second)) return it->second;
            m_found.erase(it);
        }
    }
    std::string found = Search(p);
    if (found != p) {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_found.size() >= kMaxRemembered) m_found.clear();
        m_found[p] = found;
    }
    return found;
}

std::string PathResolver::Search(const std::string& p) const {
    std::string done = p[0] == '/' ? "/" : "";
    size_t pos = 0;
    while (pos < p.size()) {
        size_t end = p.find('/', pos);
        if (end == std::string::npos) end = p.size();
        const std::string part = p.substr(pos, end - pos);
        const bool last = end >= p.size();
        pos = end + 1;
        if (part.empty()) continue;
        std::string next = done + part;
        if (!Exists(next)) {
            std::string match;
            std::error_code ec;
            for (fs::directory_iterator it(done.empty() ? "." : done, ec), stop; !ec && it != stop; it.increment(ec)) {
                std::string name = it->path().filename().string();
                if (SameIgnoringCase(name, part)) {
                    match = name;
                    break;
                }
            }
            if (match.empty()) return p;  // nothing matches: give the name as written
            next = done + match;
        }
        done = last ? next : next + "/";
    }
    if (!p.empty() && p.back() == '/' && done.back() != '/') done += '/';
    return done;
}
