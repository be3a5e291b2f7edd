#include "platform/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

bool FolderLock::Acquire(const std::string& lockFile) {
    Release();
    // O_NOFOLLOW: a link planted under the lock file's name must not make us
    // create or truncate a file somewhere else.
    int fd = open(lockFile.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void FolderLock::Release() {
    if (m_fd < 0) return;
    close(m_fd);  // closing the last descriptor drops the flock
    m_fd = -1;
}
