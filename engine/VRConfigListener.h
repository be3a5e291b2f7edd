// The VR-configuration listener: a thread that takes stereo and tracker
// settings from UDP datagrams ("NAME, n1, n2, ..." with up to 13 numbers)
// on port 45000 and writes them into the scene's stereo settings (under the
// scene's parameter mutex, as its parameter calls do) and the machine's
// tracker records.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "state/TrackerSensor.h"
#include "platform/UdpReceiver.h"

class VRMutex;
struct VRStereoSettings;

// One datagram read: its name and its 13 numbers, those not given at their
// defaults (0, but 1 for the 10th).
struct VRConfigMessage {
    static constexpr int kNumbers = 13;
    std::string name;
    float numbers[kNumbers] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};

    // The name runs to the first ',', blank or end; each number follows a
    // ',' (blanks after it are skipped, none before it), and reading stops
    // at the first that is missing. Numbers past the 13th are ignored.
    static VRConfigMessage Parse(const char* text);
    // The tracker record numbers 1 to 13 describe: position 1-3, rotation
    // 4-6, joystick 7-8, buttons 9 (truncated toward 0; out of the int32
    // range or not a number gives INT32_MIN), quaternion w 10, x y z 11-13.
    TrackerSensorRecord SensorRecord() const;
};

// Writes fields of one tracker record (0 to 9) of the machine.
using TrackerRecordWriter = std::function<void(int sensor, TrackerFields fields, const TrackerSensorRecord& values)>;

class VRConfigListener {
public:
    static constexpr uint16_t kPort = 45000;
    static constexpr size_t kBufferSize = 45055;

    VRConfigListener() = default;
    // Stops the thread.
    ~VRConfigListener();
    VRConfigListener(const VRConfigListener&) = delete;
    VRConfigListener& operator=(const VRConfigListener&) = delete;

    // The port Start binds; 0 takes any free one (tests).
    void SetPort(uint16_t port) { m_port = port; }
    // The stereo settings the listener writes, guarded by `mutex`; without
    // them those datagrams are dropped. Set before Start: the settings must
    // outlive the running listener.
    void SetStereoTarget(VRMutex* mutex, VRStereoSettings* stereo) {
        m_stereoMutex = mutex;
        m_stereo = stereo;
    }
    // Where sensor records go; without a writer they are dropped. Set before
    // Start.
    void SetTrackerWriter(TrackerRecordWriter writer) { m_trackerWriter = std::move(writer); }

    // Binds the port on all addresses and starts the thread; nothing when it
    // runs already. False, with no listener and nothing reported, when the
    // port is taken or no socket can be had.
    bool Start();
    // Wakes the thread from its receive, waits for it to end, closes the
    // socket.
    void Stop();
    bool Running() const { return m_receiver.IsOpen(); }
    // The bound port while it runs.
    uint16_t Port() const { return m_receiver.Port(); }

    // Applies one datagram's message, as the thread does.
    void Apply(const VRConfigMessage& message);

private:
    friend void VRConfigListenerThread(VRConfigListener* listener);

    // Runs change(VRStereoSettings&) under the settings' mutex; nothing when
    // there are none or the mutex cannot be had in time.
    template <class Change>
    void UpdateStereo(Change change);

    VRMutex* m_stereoMutex = nullptr;
    VRStereoSettings* m_stereo = nullptr;
    TrackerRecordWriter m_trackerWriter;
    uint16_t m_port = kPort;
    UdpReceiver m_receiver;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
};

// The listener's thread: receives datagrams until the listener stops.
void VRConfigListenerThread(VRConfigListener* listener);
