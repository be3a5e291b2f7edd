// Reads arbitrary bytes as a cookie file in the store's folder: the store
// must find the key "k" exactly when the bytes start with it, and then give
// the value that the decoder makes of the rest.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "functions/CookieStore.h"
#include "support/TestObjects.h"
#include "vm/ByteStream.h"
#include "vm/VmValue.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        const std::string f = std::filesystem::temp_directory_path().string() + "/fuzz-cookie-" +
                              std::to_string(getpid()) + "/";
        std::filesystem::create_directories(f);
        return f;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qemtest::CountingObjectFactory factory;
    {
        std::ofstream file(Folder() + "00000001.nfo", std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    CVmValue stored;
    const bool found = CookieStoreRun(Folder(), "k", stored, false, &factory);
    std::string key;
    CVmValue decoded;
    const bool decodes = DecodeCookie(data, size, key, decoded, &factory);
    if (found != (decodes && key == "k")) std::abort();
    if (found) {
        std::vector<uint8_t> a, b;
        ByteWriter wa(a), wb(b);
        stored.WriteTo(wa);
        decoded.WriteTo(wb);
        if (a != b) std::abort();
    }
    return 0;
}
