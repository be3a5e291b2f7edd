#include "functions/CookieStore.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "platform/FileSystem.h"
#include "vm/ByteStream.h"
#include "vm/VmValue.h"

namespace fs = std::filesystem;

int CookieNumber(const std::string& text) {
    uint32_t sum = 0;
    for (const char c : text) sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c)) * 31);
    return static_cast<int>(sum % 101);
}

std::string CookieFolder(const std::string& tempFolder, const std::string& localFolder, const std::string& key) {
    char name[32];
    std::snprintf(name, sizeof name, "Cookie_%04i/", CookieNumber(key));
    return ToSlashes(tempFolder + localFolder) + name;
}

bool DecodeCookie(const uint8_t* data, size_t size, std::string& key, CVmValue& value, VmObjectFactory* factory) {
    ByteReader in(data, size);
    value.SetVoid();
    if (!in.GetString(key)) return false;
    value.ReadFrom(in, factory);
    return true;
}

namespace {

bool ReadWhole(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Whether the file at path starts with the key. Only the length and the key
// are read, so a large foreign file costs little.
bool HoldsKey(const std::string& path, const std::string& key) {
    std::ifstream in(path, std::ios::binary);
    uint8_t head[4];
    if (!in.read(reinterpret_cast<char*>(head), 4)) return false;
    ByteReader reader(head, 4);
    int32_t length = 0;
    reader.GetInt32(length);
    if (length < 0 || static_cast<size_t>(length) != key.size()) return false;
    std::string found(key.size(), '\0');
    return (key.empty() || in.read(&found[0], static_cast<std::streamsize>(found.size()))) && found == key;
}

// Writes key and value to a file next to `path`, then renames it over
// `path`: a write that fails leaves the old file untouched.
bool WriteCookieFile(const std::string& path, const std::string& key, const CVmValue& value) {
    std::vector<uint8_t> bytes;
    ByteWriter out(bytes);
    out.PutInt32(static_cast<int32_t>(key.size()));
    out.PutBytes(key.data(), key.size());
    // A type without an encoding keeps its type byte alone.
    value.WriteTo(out);
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
            return false;
        file.close();
        if (!file) {
            std::error_code error;
            fs::remove(temporary, error);
            return false;
        }
    }
    std::error_code error;
    fs::rename(temporary, path, error);
    if (error) fs::remove(temporary, error);
    return !error;
}

bool EndsWithNfo(const std::string& name) {
    return name.size() >= 4 && SameIgnoringCase(name.substr(name.size() - 4), ".nfo");
}

}  // namespace

bool CookieStoreRun(const std::string& folder, const std::string& key, CVmValue& value, bool write,
                    VmObjectFactory* factory) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) return false;
    std::vector<std::string> names;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error) break;
        const std::string name = it->path().filename().string();
        if (EndsWithNfo(name)) names.push_back(name);
    }
    // One order on every system, so that two files of one key resolve alike.
    std::sort(names.begin(), names.end());

    long long largest = 0;
    for (const std::string& name : names) {
        const std::string path = folder + name;
        if (fs::is_directory(path, error)) continue;
        largest = std::max(largest, std::strtoll(name.c_str(), nullptr, 10));
        if (!HoldsKey(path, key)) continue;
        if (write) return WriteCookieFile(path, key, value);
        std::vector<uint8_t> bytes;
        if (!ReadWhole(path, bytes)) return false;
        std::string stored;
        return DecodeCookie(bytes.data(), bytes.size(), stored, value, factory);
    }
    if (!write) return false;
    char name[40];
    std::snprintf(name, sizeof name, "%08lld.nfo", largest + 1);
    return WriteCookieFile(folder + name, key, value);
}
