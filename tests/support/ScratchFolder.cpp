#include "support/ScratchFolder.h"

#include <filesystem>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace qemtest {

ScratchFolder::ScratchFolder() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = base / ("qem-test-" + std::to_string(random()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            m_path = candidate.string() + "/";
            return;
        }
    }
    throw std::runtime_error("cannot make a scratch folder");
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

std::string ScratchFolder::Make(const std::string& name) const {
    fs::path full = fs::path(m_path) / name;
    std::error_code ignored;
    if (name.back() == '/')
        fs::create_directories(full, ignored);
    else
        fs::create_directories(full.parent_path(), ignored);
    return full.string();
}

}  // namespace qemtest
