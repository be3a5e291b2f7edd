// VRPN trackers, buttons and analog devices as a client sees them: one
// state for the whole process, in which every device added gets a run of
// global indices (tracker sensors, buttons, analog channels) whose latest
// reports stay readable after the devices are closed. Tracker reports pass
// through the tracker's axis map and the sensor's offset.
//
// Everything runs on the caller's thread: reports arrive only inside
// VrpnUpdate. Messages go to the state's two streams (standard output and
// standard error unless a test points them elsewhere).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "media/VrpnConnection.h"

// The most sensors, buttons and channels one device may have.
constexpr int32_t kVrpnMaxSensors = 1024;
constexpr int32_t kVrpnMaxButtons = 256;
constexpr int32_t kVrpnMaxChannels = kVrpnMaxAnalogChannels;

// How long an update waits for the sensors that require a new report.
constexpr int kVrpnReportWaitMilliseconds = 500;

struct VrpnSensorReport {
    double position[3] = {0, 0, 0};
    double quaternion[4] = {0, 0, 0, 1};
};

struct VrpnSensorOffset {
    double position[3] = {0, 0, 0};
    double quaternion[4] = {0, 0, 0, 1};
    bool requireNewReport = false;
    bool updated = false;
};

struct VrpnModule;

// A device on its (shared) connection, receiving the reports sent under
// its name.
struct VrpnRemoteDevice : VrpnDeviceListener {
    VrpnRemoteDevice(VrpnModule& module, const VrpnDeviceAddress& address);
    ~VrpnRemoteDevice() override;
    void Mainloop() { remote->Mainloop(); }

    VrpnModule& module;
    std::shared_ptr<VrpnConnection> remote;
};

struct VrpnTrackerDevice : VrpnRemoteDevice {
    using VrpnRemoteDevice::VrpnRemoteDevice;
    void OnPosQuat(int32_t sensor, const double position[3], const double quaternion[4]) override;

    int32_t firstSensor = 0;
    std::vector<VrpnSensorOffset> offsets;
    int32_t updatedCount = 0;
    int axes[3] = {0, 1, 2};
    double signs[3] = {1, 1, 1};
};

struct VrpnButtonDevice : VrpnRemoteDevice {
    using VrpnRemoteDevice::VrpnRemoteDevice;
    void OnButtonChange(int32_t button, int32_t state) override;

    int32_t first = 0;
    int32_t count = 0;
};

struct VrpnAnalogDevice : VrpnRemoteDevice {
    using VrpnRemoteDevice::VrpnRemoteDevice;
    void OnAnalogChannel(int32_t count, const double* values) override;

    int32_t first = 0;
    int32_t count = 0;
};

struct VrpnModule {
    VrpnModule();
    ~VrpnModule();
    VrpnModule(const VrpnModule&) = delete;
    VrpnModule& operator=(const VrpnModule&) = delete;

    // The connection to a host and port, shared by the devices on it.
    std::shared_ptr<VrpnConnection> Connection(const std::string& host, uint16_t port);

    std::vector<VrpnSensorReport> sensorReports;
    std::vector<int32_t> buttonStates;
    std::vector<double> analogValues;
    std::ostream* out;
    std::ostream* err;
    // Declared after the lists, so that devices go before them.
    std::map<std::pair<std::string, uint16_t>, std::weak_ptr<VrpnConnection>> connections;
    std::vector<std::unique_ptr<VrpnTrackerDevice>> trackers;
    std::vector<std::unique_ptr<VrpnButtonDevice>> buttons;
    std::vector<std::unique_ptr<VrpnAnalogDevice>> analogs;
};

// The process-wide state.
VrpnModule& VrpnModuleState();

// Adds a device: the global index of its last sensor, button or channel
// (the total - 1), or -1 without a name or with a count below 1 or above
// the kind's maximum. The axis map, when given, has 3 entries; entries
// outside +-1 to +-3 (or none) give the identity map.
int32_t VrpnAddTracker(VrpnModule& m, const std::string& name, int32_t sensors, const float* axisMap);
int32_t VrpnAddButton(VrpnModule& m, const std::string& name, int32_t buttons);
int32_t VrpnAddAnalog(VrpnModule& m, const std::string& name, int32_t channels);

// A tracker report of a sensor of the device, through its axis map and
// offset; sensors outside the device are ignored.
void VrpnTrackerHandler(VrpnTrackerDevice& device, int32_t sensor, const double position[3],
                        const double quaternion[4]);
void VrpnApplyTrackerReport(const VrpnTrackerDevice& device, VrpnSensorReport& r, const VrpnSensorOffset& o,
                            const double position[3], const double quaternion[4]);
void VrpnButtonHandler(VrpnButtonDevice& device, int32_t button, int32_t state);
void VrpnAnalogHandler(VrpnAnalogDevice& device, int32_t count, const double* values);

// Pumps every device; a tracker with sensors that require a new report
// waits for them up to kVrpnReportWaitMilliseconds while connected.
void VrpnUpdate(VrpnModule& m);
// Closes every device; the reports keep their values and places.
void VrpnClose(VrpnModule& m);

// The offset of a sensor (a null half stays as it was) and its
// require-new-report flag; false, with the message, for a sensor no
// tracker owns.
bool VrpnSetSensorOffset(VrpnModule& m, int32_t sensor, const float* position, const float* quaternion);
bool VrpnRequireNewReport(VrpnModule& m, int32_t sensor, bool require);

// The forms in which scripts read a sensor report, with the method that
// reads each and its component count.
enum class VrpnReportForm { Position, Quaternion, AxisAngle, AngleAxis, Euler };
struct VrpnReportFormInfo {
    const char* method;
    int32_t count;
};
VrpnReportFormInfo VrpnReportFormOf(VrpnReportForm form);
// A sensor's report in the form (as floats); outside the reports the
// message, and a new report's values. The component count.
int32_t VrpnReadReport(VrpnModule& m, int32_t sensor, VrpnReportForm form, float values[4]);
// A report converted: axis x, y, z then the angle in degrees; the angle
// first; roll, pitch, yaw in degrees.
void VrpnAxisAngle(const VrpnSensorReport& r, double axisAngle[4]);
void VrpnEuler(const VrpnSensorReport& r, double rollPitchYaw[3]);

// A button's state or a channel's value; outside the lists the message
// and 0.
int32_t VrpnButtonState(VrpnModule& m, int32_t button);
double VrpnAnalogValue(VrpnModule& m, int32_t channel);
