#include "engine/InstallEngine.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "engine/EngineModule.h"
#include "engine/MessageTable.h"
#include "platform/ConfigStore.h"
#include "platform/FileSystem.h"

namespace fs = std::filesystem;

std::string LocalEngineFolder() {
    std::string folder = TempFolder() + ToSlashes(EngineMessageText(4));
    if (folder.back() != '/') folder += '/';
    return folder;
}

namespace {

// Records the installation; false when the store cannot be read or written
// (an unreadable store is left as it is).
bool RecordInstallation(const std::string& folder) {
    const std::string key = EngineMessageText(102);
    const std::string engineNumber = EngineMessageText(2);
    ConfigStore store;
    if (!store.Load()) return false;
    char version[64];
    std::snprintf(version, sizeof version, "%u.%u.%u.%u", g_engineVersion[0], g_engineVersion[1], g_engineVersion[2],
                  g_engineVersion[3]);
    store.Set(key, "EngineVer_" + engineNumber, version);
    std::string installed;
    store.Get(key, "EngineNo", installed);
    store.Set(key, "LocalFolder", folder);
    // Engine numbers compare as texts, byte by byte.
    if (std::strcmp(installed.c_str(), engineNumber.c_str()) < 0) store.Set(key, "EngineNo", engineNumber);
    return store.Save();
}

}  // namespace

int InstallEngine(const char* path) {
    const std::string folder = LocalEngineFolder();
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error)) return 0;
    if (!RecordInstallation(folder)) return 0;
    if (!path) return 1;

    const std::string source = path;
    const size_t slash = source.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
    if (name.empty()) return 0;
    const std::string target = folder + name;
    if (fs::equivalent(source, target, error) && !error) return 1;
    // The copy is made beside the target and renamed over it, so a failed
    // copy leaves the installed file whole; the source goes only after that.
    const std::string partial = target + ".part";
    error.clear();
    fs::copy_file(source, partial, fs::copy_options::overwrite_existing, error);
    if (!error) fs::rename(partial, target, error);
    if (error) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        return 0;
    }
    fs::remove(source, error);
    return 1;
}
