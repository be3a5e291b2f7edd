// An exclusive advisory lock held through an open lock file (flock). Two
// FolderLock objects conflict even inside one process, and the lock ends with
// the process that holds it, so a folder left by a crashed process can be
// locked again.
#pragma once

#include <string>

class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock() { Release(); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Creates or opens `lockFile` and takes the lock without waiting; false
    // when the file cannot be opened or another holder has the lock.
    bool Acquire(const std::string& lockFile);
    void Release();
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
