#include "JoystickTable.h"

float JoystickAxisValue(int32_t position, const JoystickRange& range) {
    const int64_t span = int64_t(range.max) - range.min;
    if (span == 0) return 0.0f;
    return static_cast<float>(double(int64_t(position) - range.min) / double(span));
}

bool JoystickTable::Answers(int32_t id) {
    if (m_open[id]) return true;
    JoystickDevices& devices = m_devices ? *m_devices : JoystickDevices::Shared();
    m_open[id] = devices.Open(id);
    if (!m_open[id]) return false;
    // The record starts from the controller's state at the open.
    m_records[id] = JoystickRecord();
    Poll(id);
    return m_open[id] != nullptr;
}

int32_t JoystickTable::Acquire(int32_t requested, JoystickCaps& caps) {
    int32_t id = -1;
    if (requested < 0) {
        for (int32_t i = 0; i < kJoysticks && id < 0; ++i)
            if (Answers(i)) id = i;
    } else if (requested < kJoysticks && Answers(requested)) {
        id = requested;
    }
    if (id < 0) return -1;
    caps = m_open[id]->Caps();
    PollAll();
    ++m_useCounts[id];
    return id;
}

void JoystickTable::Release(int32_t id) {
    if (id < 0 || id >= kJoysticks || m_useCounts[id] == 0) return;
    if (--m_useCounts[id] == 0) {
        m_open[id].reset();
        m_records[id] = JoystickRecord();
    }
}

void JoystickTable::Poll(int32_t id) {
    JoystickRecord& r = m_records[id];
    r.size = JoystickRecord::kSize;
    r.flags = JoystickRecord::kReturnAll;
    JoystickPosition p;
    if (!m_open[id]->Poll(p)) {
        // Gone: nothing more is read from it until an object opens it again.
        r = JoystickRecord();
        m_open[id].reset();
        return;
    }
    for (int a = 0; a < kJoystickAxisCount; ++a) r.axes[a] = p.axes[a];
    r.buttons = p.buttons;
    r.buttonNumber = p.buttonsHeld;
    r.pov = p.pov;
}

void JoystickTable::PollAll() {
    for (int32_t id = 0; id < kJoysticks; ++id)
        if (m_useCounts[id] > 0 && m_open[id]) Poll(id);
}

const JoystickRecord* JoystickTable::Polled(int32_t id) const {
    if (id < 0 || id >= kJoysticks || !m_open[id]) return nullptr;
    return &m_records[id];
}

int32_t JoystickTable::UseCount(int32_t id) const { return id >= 0 && id < kJoysticks ? m_useCounts[id] : 0; }

JoystickTable& SharedJoysticks() {
    static JoystickTable table;
    return table;
}

void JoystickPollAll() { SharedJoysticks().PollAll(); }
