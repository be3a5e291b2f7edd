// An X server of the test's own (Xvfb on a display number it picks itself),
// for tests that end the display under a running program.
#pragma once

#include <sys/types.h>

#include <string>

namespace qemtest {

class PrivateXServer {
public:
    // Starts Xvfb with one 640x480x24 screen; Display() is empty when it
    // could not be started (no Xvfb here).
    PrivateXServer();
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // ":<n>", or "" when the server did not start.
    const std::string& Display() const { return m_display; }
    // Ends the server at once (SIGKILL) and waits for it.
    void Kill();

private:
    pid_t m_pid = -1;
    std::string m_display;
};

}  // namespace qemtest
