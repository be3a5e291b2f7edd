#include "platform/FifoWriter.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace {

// Blocks SIGPIPE on the calling thread while it lives; a SIGPIPE raised
// meanwhile for this thread is taken off before the old mask returns, so
// writing to a pipe whose reader left never ends the process.
class SigpipeBlock {
public:
    SigpipeBlock() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, &m_old);
    }
    ~SigpipeBlock() {
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) && !sigismember(&m_old, SIGPIPE)) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec now = {0, 0};
            sigtimedwait(&pipe, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }

private:
    sigset_t m_old;
};

}  // namespace

bool WriteToFifo(const std::string& path, const void* data, size_t length) {
    // Without a reader a non-blocking open fails with ENXIO at once; opening
    // a regular file of that name is refused.
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) {
        close(fd);
        return false;
    }
    // The reader is there: the whole text goes, waiting while the pipe is
    // full.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    bool ok = true;
    {
        SigpipeBlock block;
        const char* p = static_cast<const char*>(data);
        while (length > 0) {
            const ssize_t n = write(fd, p, length);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ok = false;
                break;
            }
            p += n;
            length -= static_cast<size_t>(n);
        }
    }
    close(fd);
    return ok;
}
