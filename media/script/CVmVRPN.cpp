#include "CVmVRPN.h"

#include "media/VrpnClient.h"

bool CVmVRPN::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("Update", &CRegister::Update);
    AddMethod("AddTrackerDevice", &CRegister::AddTrackerDevice);
    AddMethod("Close", &CRegister::Close);
    AddMethod("SetSensorOffset", &CRegister::SetSensorOffset);
    AddMethod("RequireNewReport", &CRegister::RequireNewReport);
    AddMethod("GetTrackerReportPos", &CRegister::GetTrackerReportPos);
    AddMethod("GetTrackerReportQuat", &CRegister::GetTrackerReportQuat);
    AddMethod("GetTrackerReportAxisAngle", &CRegister::GetTrackerReportAxisAngle);
    AddMethod("GetTrackerReportAngleAxis", &CRegister::GetTrackerReportAngleAxis);
    AddMethod("GetTrackerReportEuler", &CRegister::GetTrackerReportEuler);
    AddMethod("AddButtonDevice", &CRegister::AddButtonDevice);
    AddMethod("GetButtonReport", &CRegister::GetButtonReport);
    AddMethod("AddAnalogDevice", &CRegister::AddAnalogDevice);
    AddMethod("GetAnalogReport", &CRegister::GetAnalogReport);
    return true;
}

const char* CVmVRPN::CRegister::Text(int32_t k) {
    const char* text = GetParamString(k, false);
    return text ? text : "";
}

int32_t CVmVRPN::CRegister::Count(int32_t k, int32_t fallback) {
    return ArgCount() < k ? fallback : GetParamInt(k, false);
}

const float* CVmVRPN::CRegister::Components(int32_t k, int32_t n) {
    const CVmVector* v = GetParamVector(k, false);
    return v && v->count >= n ? v->data : nullptr;
}

void CVmVRPN::CRegister::ReturnReport(VrpnReportForm form) {
    float values[4];
    VmReturnVector(values, VrpnReadReport(VrpnModuleState(), GetParamInt(1, false), form, values));
}

void CVmVRPN::CRegister::Create(CVmClassBase*, int) { ReturnObject(new CVmVRPN()); }

void CVmVRPN::CRegister::Update(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode)) VrpnUpdate(VrpnModuleState());
}

void CVmVRPN::CRegister::AddTrackerDevice(CVmClassBase*, int mode) {
    if (!RequireMethodCall(mode)) return;
    const float* axisMap = ArgCount() == 3 ? Components(3, 3) : nullptr;
    VmReturnInteger(VrpnAddTracker(VrpnModuleState(), Text(1), Count(2, 1), axisMap));
}

void CVmVRPN::CRegister::Close(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode)) VrpnClose(VrpnModuleState());
}

void CVmVRPN::CRegister::SetSensorOffset(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode))
        VrpnSetSensorOffset(VrpnModuleState(), GetParamInt(1, false), Components(2, 3), Components(3, 4));
}

void CVmVRPN::CRegister::RequireNewReport(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode))
        VrpnRequireNewReport(VrpnModuleState(), GetParamInt(1, false), GetParamBool(2, false));
}

void CVmVRPN::CRegister::GetTrackerReportPos(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode)) ReturnReport(VrpnReportForm::Position);
}

void CVmVRPN::CRegister::GetTrackerReportQuat(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode)) ReturnReport(VrpnReportForm::Quaternion);
}

void CVmVRPN::CRegister::GetTrackerReportAxisAngle(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode)) ReturnReport(VrpnReportForm::AxisAngle);
}

void CVmVRPN::CRegister::GetTrackerReportAngleAxis(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode)) ReturnReport(VrpnReportForm::AngleAxis);
}

void CVmVRPN::CRegister::GetTrackerReportEuler(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode)) ReturnReport(VrpnReportForm::Euler);
}

void CVmVRPN::CRegister::AddButtonDevice(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode)) VmReturnInteger(VrpnAddButton(VrpnModuleState(), Text(1), Count(2, 1)));
}

void CVmVRPN::CRegister::GetButtonReport(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode)) VmReturnInteger(VrpnButtonState(VrpnModuleState(), GetParamInt(1, false)));
}

void CVmVRPN::CRegister::AddAnalogDevice(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode)) VmReturnInteger(VrpnAddAnalog(VrpnModuleState(), Text(1), Count(2, 1)));
}

void CVmVRPN::CRegister::GetAnalogReport(CVmClassBase*, int mode) {
    if (RequireMethodCall(mode))
        VmReturnReal(static_cast<float>(VrpnAnalogValue(VrpnModuleState(), GetParamInt(1, false))));
}
