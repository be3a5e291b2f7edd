// Unpacks arbitrary bytes as a ".zip" download into a cache folder. Nothing
// may crash, and nothing may appear outside the cache folder.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "engine/DownloadManager.h"
#include "platform/FileSystem.h"
#include "platform/WindowMessageQueue.h"

namespace fs = std::filesystem;

namespace {

struct Setup {
    Setup() {
        root = fs::temp_directory_path() / ("qem-fuzz-zip-" + std::to_string(std::random_device()()));
        fs::create_directories(root / "tmp");
        setenv("TMPDIR", (root / "tmp").c_str(), 1);
        manager = new CDownloadManager(window, [](int) { return std::string("%s"); });
        archive = (root / "in.zip").string();
    }
    ~Setup() {
        delete manager;
        fs::remove_all(root);
    }
    fs::path root;
    std::string archive;
    WindowMessageQueue window;
    CDownloadManager* manager;
};

size_t CountEntries(const fs::path& folder) {
    size_t n = 0;
    for (auto it = fs::directory_iterator(folder); it != fs::directory_iterator(); ++it) ++n;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Setup setup;
    std::ofstream(setup.archive, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    setup.manager->CopyOrUnpack(setup.archive, "in.zip", true);
    // Only the archive and the temporary folder at the top, only the cache
    // folder inside the temporary folder.
    if (CountEntries(setup.root) != 2 || CountEntries(setup.root / "tmp") != 1) std::abort();
    const std::string cache = setup.manager->CacheFolder();
    for (auto it = fs::directory_iterator(cache); it != fs::directory_iterator(); ++it)
        if (it->path().filename() != "__Velmar__.dat") fs::remove_all(it->path());
    setup.window.Discard();
    return 0;
}
