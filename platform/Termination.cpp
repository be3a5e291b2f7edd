#include "platform/Termination.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <mutex>
#include <thread>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// [0] read by the watcher, [1] written by the signal handler.
int g_pipe[2] = {-1, -1};
std::thread g_watcher;
std::mutex g_handlerLock;
std::function<void(int)> g_handler;

void OnSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a request: losing this one loses nothing.
    if (write(g_pipe[1], &byte, 1) < 0) {
    }
    errno = saved;
}

void Watch() {
    for (;;) {
        unsigned char byte = 0;
        const ssize_t n = read(g_pipe[0], &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        // Zero is the stop byte; a failed read ends the watch as well.
        if (n <= 0 || byte == 0) return;
        std::lock_guard<std::mutex> guard(g_handlerLock);
        if (g_handler) g_handler(byte);
    }
}

}  // namespace

void WatchTermination(std::function<void(int signal)> handler) {
    {
        std::lock_guard<std::mutex> guard(g_handlerLock);
        g_handler = std::move(handler);
    }
    if (g_watcher.joinable()) return;
    if (pipe2(g_pipe, O_CLOEXEC) != 0) return;
    // The handler must never block on a full pipe.
    fcntl(g_pipe[1], F_SETFL, fcntl(g_pipe[1], F_GETFL) | O_NONBLOCK);
    g_watcher = std::thread(Watch);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals) sigaction(signal, &action, nullptr);
}

void StopWatchingTermination() {
    if (!g_watcher.joinable() || g_watcher.get_id() == std::this_thread::get_id()) return;
    for (int signal : kSignals) std::signal(signal, SIG_DFL);
    const unsigned char stop = 0;
    while (write(g_pipe[1], &stop, 1) < 0 && errno == EINTR) {
    }
    g_watcher.join();
    close(g_pipe[0]);
    close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
    std::lock_guard<std::mutex> guard(g_handlerLock);
    g_handler = nullptr;
}
