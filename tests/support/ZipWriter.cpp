#include "support/ZipWriter.h"

#include <zip.h>
#include <zlib.h>

#include <fstream>
#include <iterator>

namespace qemtest {

bool WriteZip(const std::string& path, const std::vector<ZipMember>& members, bool store) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip) return false;
    bool ok = true;
    for (const ZipMember& m : members) {
        zip_fileinfo info = {};
        ok = ok && zipOpenNewFileInZip64(zip, m.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                         store ? 0 : Z_DEFLATED, store ? 0 : Z_DEFAULT_COMPRESSION, 0) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, m.data.data(), static_cast<unsigned>(m.data.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

bool WriteFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
    return static_cast<bool>(out);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace qemtest
