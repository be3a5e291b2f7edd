#include "media/VrpnClient.h"

#include <chrono>
#include <cmath>
#include <iostream>
#include <iterator>

#include "media/VrpnQuaternion.h"

namespace {

constexpr double kDegreesPerRadian = 180.0 / 3.14159265358979323846;

const VrpnReportFormInfo kReportForms[] = {
    {"GetTrackerReportPos", 3},       {"GetTrackerReportQuat", 4},  {"GetTrackerReportAxisAngle", 4},
    {"GetTrackerReportAngleAxis", 4}, {"GetTrackerReportEuler", 3},
};

void OutOfBounds(VrpnModule& m, const char* method) {
    *m.err << "Error in " << method << "():  Index out of bounds.\n";
}

// The tracker that owns a global sensor index, or null.
VrpnTrackerDevice* OwnerOf(VrpnModule& m, int32_t sensor) {
    for (auto& t : m.trackers)
        if (sensor >= t->firstSensor && sensor - t->firstSensor < static_cast<int32_t>(t->offsets.size()))
            return t.get();
    return nullptr;
}

// Axis map entry: its source component and sign; false when it names none.
bool AxisOf(float entry, int& source, double& sign) {
    const double t = std::trunc(entry);
    if (!(std::fabs(t) >= 1 && std::fabs(t) <= 3)) return false;
    source = static_cast<int>(std::fabs(t)) - 1;
    sign = entry < 0 ? -1 : 1;
    return true;
}

template <class Device>
Device* AddDevice(VrpnModule& m, std::vector<std::unique_ptr<Device>>& list, const std::string& name) {
    list.emplace_back(new Device(m, VrpnSplitDeviceName(name)));
    return list.back().get();
}

// Adds a button or analog device of `count` entries to its list of values.
template <class Device, class Value>
int32_t AddCounted(VrpnModule& m, std::vector<std::unique_ptr<Device>>& devices, std::vector<Value>& values,
                   const std::string& name, int32_t count, int32_t most, const char* method, const char* what) {
    if (name.empty() || count < 1 || count > most) return -1;
    Device* d = AddDevice(m, devices, name);
    d->first = static_cast<int32_t>(values.size());
    d->count = count;
    values.resize(values.size() + static_cast<size_t>(count), Value(0));
    *m.out << method << ":  Added " << name << " with " << count << " " << what << "\n";
    return static_cast<int32_t>(values.size()) - 1;
}

}  // namespace

VrpnRemoteDevice::VrpnRemoteDevice(VrpnModule& m, const VrpnDeviceAddress& address)
    : VrpnDeviceListener(address.device), module(m), remote(m.Connection(address.host, address.port)) {
    remote->AddListener(this);
}

VrpnRemoteDevice::~VrpnRemoteDevice() { remote->RemoveListener(this); }

void VrpnTrackerDevice::OnPosQuat(int32_t sensor, const double position[3], const double quaternion[4]) {
    VrpnTrackerHandler(*this, sensor, position, quaternion);
}

void VrpnButtonDevice::OnButtonChange(int32_t button, int32_t state) { VrpnButtonHandler(*this, button, state); }

void VrpnAnalogDevice::OnAnalogChannel(int32_t n, const double* values) { VrpnAnalogHandler(*this, n, values); }

VrpnModule::VrpnModule() : out(&std::cout), err(&std::cerr) {}

VrpnModule::~VrpnModule() = default;

std::shared_ptr<VrpnConnection> VrpnModule::Connection(const std::string& host, uint16_t port) {
    // Connections whose devices were all closed are gone.
    for (auto it = connections.begin(); it != connections.end();)
        it = it->second.expired() ? connections.erase(it) : std::next(it);
    std::weak_ptr<VrpnConnection>& slot = connections[{host, port}];
    std::shared_ptr<VrpnConnection> c = slot.lock();
    if (!c) {
        c = std::make_shared<VrpnConnection>(host, port);
        slot = c;
    }
    return c;
}

VrpnModule& VrpnModuleState() {
    static VrpnModule state;
    return state;
}

int32_t VrpnAddTracker(VrpnModule& m, const std::string& name, int32_t sensors, const float* axisMap) {
    if (name.empty()) {
        *m.err << "Error in AddTrackerDevice():  No tracker name given.\n";
        return -1;
    }
    if (sensors < 1 || sensors > kVrpnMaxSensors) return -1;
    VrpnTrackerDevice* t = AddDevice(m, m.trackers, name);
    t->firstSensor = static_cast<int32_t>(m.sensorReports.size());
    m.sensorReports.resize(m.sensorReports.size() + static_cast<size_t>(sensors));
    t->offsets.resize(static_cast<size_t>(sensors));
    bool mapped = axisMap != nullptr;
    for (int i = 0; mapped && i < 3; ++i) mapped = AxisOf(axisMap[i], t->axes[i], t->signs[i]);
    if (!mapped)
        for (int i = 0; i < 3; ++i) {
            t->axes[i] = i;
            t->signs[i] = 1;
        }
    *m.out << "AddTrackerDevice:  Added " << name << " with " << sensors << " sensors\n";
    return static_cast<int32_t>(m.sensorReports.size()) - 1;
}

int32_t VrpnAddButton(VrpnModule& m, const std::string& name, int32_t buttons) {
    return AddCounted(m, m.buttons, m.buttonStates, name, buttons, kVrpnMaxButtons, "AddButtonDevice", "buttons");
}

int32_t VrpnAddAnalog(VrpnModule& m, const std::string& name, int32_t channels) {
    return AddCounted(m, m.analogs, m.analogValues, name, channels, kVrpnMaxChannels, "AddAnalogDevice",
                      "analog sensors");
}

void VrpnApplyTrackerReport(const VrpnTrackerDevice& d, VrpnSensorReport& r, const VrpnSensorOffset& o,
                            const double position[3], const double quaternion[4]) {
    double q[4], mapped[3];
    for (int i = 0; i < 3; ++i) {
        q[i] = quaternion[d.axes[i]] * d.signs[i];
        mapped[i] = position[d.axes[i]] * d.signs[i];
    }
    q[3] = quaternion[3];
    q_mult(r.quaternion, q, o.quaternion);
    double turned[3];
    q_xform(turned, r.quaternion, o.position);
    for (int i = 0; i < 3; ++i) r.position[i] = mapped[i] + turned[i];
}

void VrpnTrackerHandler(VrpnTrackerDevice& d, int32_t sensor, const double position[3],
                        const double quaternion[4]) {
    // The sensor number comes off the network.
    if (sensor < 0 || sensor >= static_cast<int32_t>(d.offsets.size())) return;
    VrpnSensorOffset& o = d.offsets[static_cast<size_t>(sensor)];
    VrpnApplyTrackerReport(d, d.module.sensorReports[static_cast<size_t>(d.firstSensor + sensor)], o, position,
                           quaternion);
    if (!o.updated) {
        o.updated = true;
        ++d.updatedCount;
    }
}

void VrpnButtonHandler(VrpnButtonDevice& d, int32_t button, int32_t state) {
    if (button >= 0 && button < d.count) d.module.buttonStates[static_cast<size_t>(d.first + button)] = state;
}

void VrpnAnalogHandler(VrpnAnalogDevice& d, int32_t count, const double* values) {
    for (int32_t i = 0; i < count && i < d.count; ++i)
        d.module.analogValues[static_cast<size_t>(d.first + i)] = values[i];
}

void VrpnUpdate(VrpnModule& m) {
    using Clock = std::chrono::steady_clock;
    for (auto& t : m.trackers) {
        if (!t->remote->Connected()) {
            t->Mainloop();
            continue;
        }
        t->updatedCount = 0;
        for (VrpnSensorOffset& o : t->offsets) {
            o.updated = !o.requireNewReport;
            if (o.updated) ++t->updatedCount;
        }
        const auto start = Clock::now();
        const auto limit = start + std::chrono::milliseconds(kVrpnReportWaitMilliseconds);
        // At least one turn, so that a tracker whose sensors all may keep
        // their report still reads.
        for (;;) {
            t->Mainloop();
            if (t->updatedCount >= static_cast<int32_t>(t->offsets.size()) || !t->remote->Connected()) break;
            const auto now = Clock::now();
            if (now > limit) break;
            // Sleeps until the server sends rather than spinning.
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit - now).count();
            t->remote->WaitReadable(static_cast<int>(left) + 1);
        }
    }
    for (auto& b : m.buttons) b->Mainloop();
    for (auto& a : m.analogs) a->Mainloop();
}

void VrpnClose(VrpnModule& m) {
    m.trackers.clear();
    m.buttons.clear();
    m.analogs.clear();
}

bool VrpnSetSensorOffset(VrpnModule& m, int32_t sensor, const float* position, const float* quaternion) {
    VrpnTrackerDevice* t = OwnerOf(m, sensor);
    if (!t) {
        OutOfBounds(m, "SetSensorOffset");
        return false;
    }
    VrpnSensorOffset& o = t->offsets[static_cast<size_t>(sensor - t->firstSensor)];
    if (position)
        for (int i = 0; i < 3; ++i) o.position[i] = position[i];
    if (quaternion)
        for (int i = 0; i < 4; ++i) o.quaternion[i] = quaternion[i];
    return true;
}

bool VrpnRequireNewReport(VrpnModule& m, int32_t sensor, bool require) {
    VrpnTrackerDevice* t = OwnerOf(m, sensor);
    if (!t) {
        OutOfBounds(m, "RequireNewReport");
        return false;
    }
    t->offsets[static_cast<size_t>(sensor - t->firstSensor)].requireNewReport = require;
    return true;
}

VrpnReportFormInfo VrpnReportFormOf(VrpnReportForm form) { return kReportForms[static_cast<int>(form)]; }

void VrpnAxisAngle(const VrpnSensorReport& r, double axisAngle[4]) {
    const double* q = r.quaternion;
    const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
    if (!(length >= 1e-10)) {
        axisAngle[0] = axisAngle[1] = 0;
        axisAngle[2] = 1;
        axisAngle[3] = 0;
        return;
    }
    for (int i = 0; i < 3; ++i) axisAngle[i] = q[i] / length;
    // A quaternion that is not of unit length must not take acos out of its
    // domain.
    const double w = q[3] < -1 ? -1 : q[3] > 1 ? 1 : q[3];
    axisAngle[3] = 2 * std::acos(w) * kDegreesPerRadian;
}

void VrpnEuler(const VrpnSensorReport& r, double rollPitchYaw[3]) {
    double yawPitchRoll[3];
    q_to_euler(yawPitchRoll, r.quaternion);
    for (int i = 0; i < 3; ++i) rollPitchYaw[i] = yawPitchRoll[2 - i] * kDegreesPerRadian;
}

int32_t VrpnReadReport(VrpnModule& m, int32_t sensor, VrpnReportForm form, float values[4]) {
    VrpnSensorReport fresh;
    const VrpnSensorReport* r = &fresh;
    if (sensor >= 0 && sensor < static_cast<int32_t>(m.sensorReports.size()))
        r = &m.sensorReports[static_cast<size_t>(sensor)];
    else
        OutOfBounds(m, VrpnReportFormOf(form).method);
    double v[4] = {0, 0, 0, 0};
    switch (form) {
    case VrpnReportForm::Position:
        for (int i = 0; i < 3; ++i) v[i] = r->position[i];
        break;
    case VrpnReportForm::Quaternion:
        for (int i = 0; i < 4; ++i) v[i] = r->quaternion[i];
        break;
    case VrpnReportForm::AxisAngle:
        VrpnAxisAngle(*r, v);
        break;
    case VrpnReportForm::AngleAxis: {
        double axisAngle[4];
        VrpnAxisAngle(*r, axisAngle);
        v[0] = axisAngle[3];
        for (int i = 0; i < 3; ++i) v[i + 1] = axisAngle[i];
        break;
    }
    case VrpnReportForm::Euler:
        VrpnEuler(*r, v);
        break;
    }
    const int32_t count = VrpnReportFormOf(form).count;
    for (int32_t i = 0; i < count; ++i) values[i] = static_cast<float>(v[i]);
    return count;
}

int32_t VrpnButtonState(VrpnModule& m, int32_t button) {
    if (button >= 0 && button < static_cast<int32_t>(m.buttonStates.size()))
        return m.buttonStates[static_cast<size_t>(button)];
    OutOfBounds(m, "GetButtonReport");
    return 0;
}

double VrpnAnalogValue(VrpnModule& m, int32_t channel) {
    if (channel >= 0 && channel < static_cast<int32_t>(m.analogValues.size()))
        return m.analogValues[static_cast<size_t>(channel)];
    OutOfBounds(m, "GetAnalogReport");
    return 0.0;
}
