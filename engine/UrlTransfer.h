// Transfers of names with a scheme (http, https, ftp, file) into a local file.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

// What one download may still write: at most `limit` bytes in all, and
// never so much that the file system of `folder` keeps less than the margin
// free. A server that streams for ever, or an archive that unpacks into more
// than the disk holds, fails the request instead of filling the disk.
class WriteBudget {
public:
    static constexpr uint64_t kDiskMargin = uint64_t(64) << 20;

    WriteBudget(uint64_t limit, std::string folder) : m_limit(limit), m_folder(std::move(folder)) {}
    // Counts `n` more bytes; false (for good) when they do not fit.
    bool Take(uint64_t n);
    bool Exceeded() const { return m_exceeded; }
    uint64_t Used() const { return m_used; }

private:
    uint64_t m_limit;
    std::string m_folder;
    uint64_t m_used = 0;
    uint64_t m_nextSpaceCheck = 0;
    bool m_exceeded = false;
};

// True when `name` starts with one of the schemes we transfer, followed by
// "://" (letter case ignored).
bool HasUrlScheme(const std::string& name);

// Fetches `url` into the file `destination` (created or replaced). With
// `freshCopy`, caches on the way are asked for a new copy and no connection
// is reused. HTTP statuses of 400 and above fail. Setting `stop` aborts the
// transfer promptly. A body that does not fit the budget aborts it.
// Answers whether the whole body arrived.
bool TransferUrl(const std::string& url, const std::string& destination, bool freshCopy,
                 const std::atomic<bool>& stop, WriteBudget& budget);
