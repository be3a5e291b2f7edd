// Serial ports on a pseudo-terminal standing in for the line.
#include <gtest/gtest.h>

#include <termios.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/SerialPort.h"
#include "support/PseudoTerminal.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(line.IsOpen());
        port = OpenSerialPort(line.Device());
        ASSERT_GE(port, 0);
    }
    void TearDown() override { CloseSerialPort(port); }

    std::string ReadAll(size_t size = 999) {
        std::string buffer(size, '\0');
        const long n = ReadSerialPort(port, &buffer[0], size);
        return n < 0 ? "(error)" : buffer.substr(0, static_cast<size_t>(n));
    }

    PseudoTerminal line;
    int port = -1;
};

bool SameLine(const termios& a, const termios& b) {
    return a.c_cflag == b.c_cflag && a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_lflag == b.c_lflag &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

}  // namespace

TEST_F(SerialPort, BytesCrossBothWaysUntranslated) {
    ASSERT_TRUE(WriteSerialPort(port, "ping\r\n", 6));
    EXPECT_EQ(line.Read(6), "ping\r\n");

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadAll(), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));

    ASSERT_TRUE(line.Write(std::string("pong\r\0x", 7)));
    EXPECT_EQ(ReadAll(), std::string("pong\r\0x", 7));
    // A read takes no more than it is given room for; the rest waits.
    ASSERT_TRUE(line.Write("0123456789"));
    EXPECT_EQ(ReadAll(4), "0123");
    EXPECT_EQ(ReadAll(), "456789");
}

TEST_F(SerialPort, SettingsChangeOnlyWhatTheyName) {
    const termios opened = line.Settings();
    EXPECT_EQ(opened.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(opened.c_lflag & (ECHO | ICANON), 0u);

    struct Case {
        SerialSettings settings;
        SerialConfigResult result;
        tcflag_t setBits;  // control bits the call adds
        speed_t speed;     // 0: unchanged
    };
    const SerialSettings keep;
    auto with = [&](int field, int32_t value) {
        SerialSettings s = keep;
        int32_t* fields[] = {&s.baud, &s.byteSize, &s.parity, &s.stopBits, &s.rtsControl, &s.dtrControl};
        *fields[field] = value;
        return s;
    };
    const SerialConfigResult ok = SerialConfigResult::kOk, failed = SerialConfigResult::kFailed;
    const Case cases[] = {
        {keep, ok, 0, 0},
        {with(0, 9600), ok, 0, B9600},
        {with(3, 2), ok, CSTOPB, 0},
        {with(3, 1), ok, 0, 0},    // one and a half stop bits: not offered, kept
        {with(4, 2), ok, CRTSCTS, 0},
        {with(4, 3), ok, 0, 0},    // RTS toggling: kept
        {with(5, 2), ok, 0, 0},    // DTR handshake: kept
        {with(0, 12345), failed, 0, 0},
        {with(1, 9), failed, 0, 0},
        {with(2, 5), failed, 0, 0},
        {with(3, 3), failed, 0, 0},
        // A pseudo-terminal has 8 data bits, no parity and no modem lines.
        {with(1, 7), failed, 0, 0},
        {with(2, 2), failed, 0, 0},
        {with(4, 1), failed, 0, 0},
        {with(5, 0), failed, 0, 0},
    };
    int row = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(row++);
        termios before = line.Settings();
        cfsetispeed(&before, B38400);
        cfsetospeed(&before, B38400);
        before.c_cflag &= ~(CSTOPB | CRTSCTS);
        ASSERT_EQ(tcsetattr(port, TCSANOW, &before), 0);
        before = line.Settings();

        EXPECT_EQ(ConfigureSerialPort(port, c.settings), c.result);
        termios expected = before;
        expected.c_cflag |= c.setBits;
        if (c.speed) {
            cfsetispeed(&expected, c.speed);
            cfsetospeed(&expected, c.speed);
        }
        EXPECT_TRUE(SameLine(line.Settings(), expected));
    }
    EXPECT_EQ(ConfigureSerialPort(-1, keep), SerialConfigResult::kCannotRead);
}

TEST(SerialPortOpen, OnlyExistingTerminalsOpen) {
    ScratchFolder scratch;
    const std::string file = scratch.Make("plain");
    ASSERT_TRUE(WriteFile(file, "x"));
    for (const std::string& device : {scratch.Path() + "missing", file, std::string("/dev/null")})
        EXPECT_EQ(OpenSerialPort(device), -1) << device;
}

TEST(SerialPortOpen, DevicesComeFromTheEnvironmentOrTheSerialLines) {
    unsetenv("QEM_COM3");
    EXPECT_EQ(SerialDevicePath(3), "/dev/ttyS2");
    setenv("QEM_COM3", "", 1);
    EXPECT_EQ(SerialDevicePath(3), "/dev/ttyS2");
    setenv("QEM_COM3", "/dev/pts/9", 1);
    EXPECT_EQ(SerialDevicePath(3), "/dev/pts/9");
    EXPECT_EQ(SerialDevicePath(16), "/dev/ttyS15");
    unsetenv("QEM_COM3");
}
