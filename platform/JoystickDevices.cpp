#include "JoystickDevices.h"

#include <dirent.h>
#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr unsigned kAxisCodes[kJoystickAxisCount] = {ABS_X, ABS_Y, ABS_Z, ABS_RZ, ABS_RX, ABS_RY};
constexpr size_t kMaxButtons = 32;

bool HasAbs(const libevdev* device, unsigned code) { return libevdev_has_event_code(device, EV_ABS, code); }
bool HasKey(const libevdev* device, unsigned code) { return libevdev_has_event_code(device, EV_KEY, code); }

int Sign(int32_t v) { return (v > 0) - (v < 0); }

// A controller that the kernel's device file feeds.
class EventJoystick : public JoystickDevice {
public:
    EventJoystick(libevdev* device, int fd) : JoystickDevice(device), m_fd(fd) {}
    ~EventJoystick() override { ::close(m_fd); }

protected:
    bool ReadEvents() override {
        input_event event;
        for (;;) {
            int rc = libevdev_next_event(Record(), LIBEVDEV_READ_FLAG_NORMAL, &event);
            // Events were dropped: libevdev brings its state back to the
            // device's, one synthetic event at a time.
            if (rc == LIBEVDEV_READ_STATUS_SYNC) {
                do {
                    rc = libevdev_next_event(Record(), LIBEVDEV_READ_FLAG_SYNC, &event);
                } while (rc == LIBEVDEV_READ_STATUS_SYNC);
                if (rc == -EAGAIN) continue;
            }
            if (rc == LIBEVDEV_READ_STATUS_SUCCESS || rc == -EINTR) continue;
            return rc == -EAGAIN;
        }
    }

private:
    int m_fd;
};

// The event numbers of the folder's event devices, in order.
std::vector<int> EventNumbers(const std::string& folder) {
    std::vector<int> numbers;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return numbers;
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strncmp(name, "event", 5) != 0 || name[5] < '0' || name[5] > '9') continue;
        char* end = nullptr;
        const long n = std::strtol(name + 5, &end, 10);
        if (*end == '\0' && n >= 0 && n <= 1000000) numbers.push_back(static_cast<int>(n));
    }
    closedir(dir);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::unique_ptr<JoystickDevices>& SharedSlot() {
    static std::unique_ptr<JoystickDevices> devices;
    return devices;
}

}  // namespace

uint32_t JoystickPovFromHat(int32_t x, int32_t y) {
    // Clockwise from up, in eighths: indexed by (sign x + 1) * 3 + sign y + 1.
    static constexpr uint32_t kPov[9] = {31500, 27000, 22500, 0, kJoystickPovCentred, 18000, 4500, 9000, 13500};
    return kPov[(Sign(x) + 1) * 3 + Sign(y) + 1];
}

JoystickDevice::JoystickDevice(libevdev* device) : m_device(device) {
    for (int a = 0; a < kJoystickAxisCount; ++a) {
        if (!HasAbs(device, kAxisCodes[a])) continue;
        m_caps.axes[a] = {libevdev_get_abs_minimum(device, kAxisCodes[a]),
                          libevdev_get_abs_maximum(device, kAxisCodes[a])};
    }
    const std::pair<unsigned, unsigned> ranges[] = {{BTN_JOYSTICK, BTN_THUMBR}, {BTN_TRIGGER_HAPPY1, KEY_MAX}};
    for (const auto& range : ranges)
        for (unsigned code = range.first; code <= range.second && m_buttonCodes.size() < kMaxButtons; ++code)
            if (HasKey(device, code)) m_buttonCodes.push_back(code);
    m_caps.buttonCount = static_cast<uint32_t>(m_buttonCodes.size());
}

JoystickDevice::~JoystickDevice() { libevdev_free(m_device); }

bool JoystickDevice::IsGameController(const libevdev* device) {
    if (!HasAbs(device, ABS_X)) return false;
    for (unsigned code = BTN_JOYSTICK; code <= BTN_THUMBR; ++code)
        if (HasKey(device, code)) return true;
    return false;
}

JoystickPosition JoystickDevice::Position() const {
    JoystickPosition p;
    for (int a = 0; a < kJoystickAxisCount; ++a)
        if (HasAbs(m_device, kAxisCodes[a])) p.axes[a] = libevdev_get_event_value(m_device, EV_ABS, kAxisCodes[a]);
    for (size_t n = 0; n < m_buttonCodes.size(); ++n) {
        if (!libevdev_get_event_value(m_device, EV_KEY, m_buttonCodes[n])) continue;
        p.buttons |= 1u << n;
        ++p.buttonsHeld;
    }
    if (HasAbs(m_device, ABS_HAT0X) || HasAbs(m_device, ABS_HAT0Y))
        p.pov = JoystickPovFromHat(libevdev_get_event_value(m_device, EV_ABS, ABS_HAT0X),
                                   libevdev_get_event_value(m_device, EV_ABS, ABS_HAT0Y));
    return p;
}

bool JoystickDevice::Poll(JoystickPosition& position) {
    if (!ReadEvents()) return false;
    position = Position();
    return true;
}

std::unique_ptr<JoystickDevice> JoystickDevices::Open(int id) {
    if (id < 0 || id >= kMaxDevices) return nullptr;
    int seen = 0;
    for (int number : EventNumbers(m_folder)) {
        const std::string path = m_folder + "/event" + std::to_string(number);
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;  // a device we may not read is not there for us
        libevdev* device = nullptr;
        if (libevdev_new_from_fd(fd, &device) == 0 && JoystickDevice::IsGameController(device) && seen++ == id)
            return std::make_unique<EventJoystick>(device, fd);
        if (device) libevdev_free(device);
        ::close(fd);
    }
    return nullptr;
}

JoystickDevices& JoystickDevices::Shared() {
    std::unique_ptr<JoystickDevices>& devices = SharedSlot();
    if (!devices) devices = std::make_unique<JoystickDevices>();
    return *devices;
}

void JoystickDevices::ReplaceShared(std::unique_ptr<JoystickDevices> devices) { SharedSlot() = std::move(devices); }
