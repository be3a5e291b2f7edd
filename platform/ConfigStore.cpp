#include "platform/ConfigStore.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/FileSystem.h"

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

bool IsSection(const std::string& line) { return line.size() >= 2 && line.front() == '[' && line.back() == ']'; }

}  // namespace

std::string ConfigStore::DefaultPath() {
    // An XDG variable holding a relative path is invalid and ignored.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (xdg && xdg[0] == '/') {
        folder = xdg;
    } else {
        const char* home = std::getenv("HOME");
        folder = std::string(home && *home ? home : ".") + "/.config";
    }
    return folder + "/qem/registry";
}

ConfigStore::ConfigStore(std::string path) : m_path(std::move(path)) {}

bool ConfigStore::Load() {
    m_lines.clear();
    std::ifstream in(m_path, std::ios::binary);
    if (!in) {
        std::error_code error;
        return !std::filesystem::exists(m_path, error) && !error;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        m_lines.push_back(line);
    }
    if (in.bad()) {
        m_lines.clear();
        return false;
    }
    return true;
}

bool ConfigStore::Save() const {
    MakeFolders(m_path);
    const std::string temporary = m_path + ".new." + std::to_string(getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        for (const std::string& line : m_lines) out << line << '\n';
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), m_path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

long ConfigStore::FindSection(const std::string& key) const {
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const std::string& line = m_lines[i];
        if (IsSection(line) && SameIgnoringCase(line.substr(1, line.size() - 2), key)) return static_cast<long>(i);
    }
    return -1;
}

size_t ConfigStore::SectionEnd(long section) const {
    size_t i = static_cast<size_t>(section) + 1;
    while (i < m_lines.size() && !IsSection(m_lines[i])) ++i;
    return i;
}

long ConfigStore::FindValue(long section, const std::string& name) const {
    const size_t end = SectionEnd(section);
    for (size_t i = static_cast<size_t>(section) + 1; i < end; ++i) {
        const size_t eq = m_lines[i].find('=');
        if (eq != std::string::npos && SameIgnoringCase(m_lines[i].substr(0, eq), name)) return static_cast<long>(i);
    }
    return -1;
}

bool ConfigStore::HasKey(const std::string& key) const { return FindSection(key) >= 0; }

bool ConfigStore::Get(const std::string& key, const std::string& name, std::string& value) const {
    const long section = FindSection(key);
    if (section < 0) return false;
    const long at = FindValue(section, name);
    if (at < 0) return false;
    const std::string& line = m_lines[static_cast<size_t>(at)];
    value = Unescape(line.substr(line.find('=') + 1));
    return true;
}

bool ConfigStore::Set(const std::string& key, const std::string& name, const std::string& value) {
    if (key.empty() || name.empty() || key.find_first_of("]\r\n") != std::string::npos ||
        name.find_first_of("=[\r\n") != std::string::npos)
        return false;
    const std::string line = name + "=" + Escape(value);
    long section = FindSection(key);
    if (section < 0) {
        m_lines.push_back("[" + key + "]");
        m_lines.push_back(line);
        return true;
    }
    const long at = FindValue(section, name);
    if (at >= 0)
        m_lines[static_cast<size_t>(at)] = line;
    else
        m_lines.insert(m_lines.begin() + static_cast<long>(SectionEnd(section)), line);
    return true;
}
