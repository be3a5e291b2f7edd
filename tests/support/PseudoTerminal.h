// A pseudo-terminal pair that stands in for a serial line: the program under
// test opens the device at Device(), the test talks through the other side.
// Both sides start raw (no echo, no line editing).
#pragma once

#include <termios.h>

#include <chrono>
#include <string>

namespace qemtest {

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool IsOpen() const { return m_master >= 0; }
    // The path of the device side.
    const std::string& Device() const { return m_device; }

    // Writes at the test's side: the device reads it.
    bool Write(const std::string& bytes);
    // What the device wrote, read until `count` bytes came or the time is up.
    std::string Read(size_t count, std::chrono::milliseconds time = std::chrono::seconds(5));
    // The device's line settings (kept while the test holds the pair open).
    termios Settings() const;

private:
    int m_master = -1;
    int m_slave = -1;  // held, so that the settings live on between opens
    std::string m_device;
};

}  // namespace qemtest
