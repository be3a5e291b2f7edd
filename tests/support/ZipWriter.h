// Writes zip archives for tests (minizip), and small file helpers.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qemtest {

struct ZipMember {
    std::string name;  // stored as given ('/' separated, may end in '/')
    std::string data;
};

// Writes `members` in order; deflated unless `store` is set. False on error.
bool WriteZip(const std::string& path, const std::vector<ZipMember>& members, bool store = false);

bool WriteFile(const std::string& path, const std::string& data);
// The whole file; "" when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace qemtest
