// The process's game controllers as the script objects see them: a state
// record per controller id (0 to 15), the number of live objects on each,
// and the poll that the engine runs once a frame for the ids in use.
//
// An id is polled while objects hold it. A poll that fails (the controller
// was unplugged) clears the id's record and closes it: the objects holding
// it read nothing until a new object for the id finds the controller again.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/JoystickDevices.h"

// A controller's polled state.
struct JoystickRecord {
    static constexpr uint32_t kSize = 52;       // the record's size on the wire of old
    static constexpr uint32_t kReturnAll = 0xFF;  // every field asked for

    uint32_t size = 0;
    uint32_t flags = 0;
    int32_t axes[kJoystickAxisCount] = {};
    uint32_t buttons = 0;
    uint32_t buttonNumber = 0;
    uint32_t pov = 0;
    uint32_t reserved1 = 0;
    uint32_t reserved2 = 0;
};

// An axis position as 0 to 1 of its range, computed in signed 64 bits so
// that a position past either end gives a little past 0 or 1. An axis
// without a range (minimum equal to maximum, or absent) gives 0.
float JoystickAxisValue(int32_t position, const JoystickRange& range);

class JoystickTable {
public:
    static constexpr int kJoysticks = JoystickDevices::kMaxDevices;

    // devices null: JoystickDevices::Shared() at each open.
    explicit JoystickTable(JoystickDevices* devices = nullptr) : m_devices(devices) {}

    // A new object's controller: for a negative request the first id that
    // answers, else the requested id when it is below 16 and answers; -1
    // when none does. The id's controller is opened unless it is open; its
    // capabilities go to `caps`, the ids in use are polled and the id's use
    // count grows by one.
    int32_t Acquire(int32_t requested, JoystickCaps& caps);
    // An object on the id goes; the last one closes the controller.
    void Release(int32_t id);

    // Polls every open id that objects hold.
    void PollAll();

    // The id's record while its controller is open; null for an id without
    // one (none found, or its poll failed).
    const JoystickRecord* Polled(int32_t id) const;
    int32_t UseCount(int32_t id) const;

private:
    bool Answers(int32_t id);
    void Poll(int32_t id);

    JoystickDevices* m_devices;
    JoystickRecord m_records[kJoysticks];
    int32_t m_useCounts[kJoysticks] = {};
    std::unique_ptr<JoystickDevice> m_open[kJoysticks];
};

// The engine's table.
JoystickTable& SharedJoysticks();
// Polls the engine's table: the module runs it at the start of every frame.
void JoystickPollAll();
