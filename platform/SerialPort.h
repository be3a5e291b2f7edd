// Serial ports of the machine, as file descriptors of terminal devices.
//
// A port is opened raw: 8 data bits, no parity, one stop bit, no echo, no
// line editing, no translation of line ends, and a read that answers what
// has arrived within about a millisecond instead of waiting for a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The device of COMn (1 to 16): the environment variable QEM_COMn when it is
// set and not empty, otherwise /dev/ttyS(n-1).
std::string SerialDevicePath(int port);

// Opens an existing terminal device for reading and writing, exclusively,
// and makes it raw. -1 when it does not exist, cannot be opened or is no
// terminal.
int OpenSerialPort(const std::string& device);
void CloseSerialPort(int handle);

// Reads what the port has, at most `size` bytes: waits about a millisecond
// for the first byte and goes on while the next one follows within about a
// millisecond. The count read (0 when nothing came), -1 on an error.
long ReadSerialPort(int handle, char* buffer, size_t size);

// Writes all the bytes; false when the port fails or takes none of them for
// two seconds (a device held by flow control).
bool WriteSerialPort(int handle, const char* data, size_t size);

// The line settings a script changes, each -1 to keep the current one:
// - baud: the speed in bits per second (a standard speed);
// - byteSize: 5 to 8 data bits;
// - parity: 0 none, 1 odd, 2 even, 3 mark, 4 space;
// - stopBits: 0 one, 1 one and a half (not offered here: kept), 2 two;
// - rtsControl (two bits): 0 RTS low, 1 RTS high, 2 RTS/CTS handshake,
//   3 toggling (not offered here: kept);
// - dtrControl (two bits): 0 DTR low, 1 DTR high, 2 DTR/DSR handshake (not
//   offered here: kept), 3 kept.
struct SerialSettings {
    int32_t baud = -1;
    int32_t byteSize = -1;
    int32_t parity = -1;
    int32_t stopBits = -1;
    int32_t rtsControl = -1;
    int32_t dtrControl = -1;
};

enum class SerialConfigResult {
    kOk,
    kCannotRead,  // the port's current settings could not be read
    kFailed,      // a value is not one the port takes, or the port refused it
};

// Applies the settings; on kFailed the line settings are as before.
SerialConfigResult ConfigureSerialPort(int handle, const SerialSettings& settings);
