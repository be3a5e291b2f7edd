#include "CVmVRPNServer.h"

#include <string>

#include "media/VrpnTrackerServer.h"
#include "vm/VirtualMachine.h"

namespace {

const char* const kTooManyTrackers = "Reached the maximum number of trackers device for the Qem VRPN Server";
const char* const kTrackerRange = "The first parameter should in range [0, 7]";
const char* const kChannelRange = "The first parameter should in range [0, 48]";

}  // namespace

CVmVRPNServer::CVmVRPNServer() : m_server(new VrpnTrackerServer(VrpnSharedServerConnection())) {}

CVmVRPNServer::~CVmVRPNServer() = default;

bool CVmVRPNServer::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("AddTrackerDevice", &CRegister::AddTrackerDevice);
    AddMethod("SetTrackerPos", &CRegister::SetTrackerPos);
    AddMethod("SetTrackerRot", &CRegister::SetTrackerRot);
    AddMethod("SetTrackerAnalogData", &CRegister::SetTrackerAnalogData);
    AddMethod("MainLoop", &CRegister::MainLoop);
    return true;
}

VrpnTrackerServer* CVmVRPNServer::CRegister::Called(CVmClassBase* object, int mode) {
    if (!RequireMethodCall(mode) || !object) return nullptr;
    return &static_cast<CVmVRPNServer*>(object)->Server();
}

void CVmVRPNServer::CRegister::Triple(int32_t k, double values[3]) {
    const CVmVector* v = GetParamVector(k, false);
    for (int32_t i = 0; i < 3; ++i) values[i] = v ? v->GetAt(i) : 0.0;
}

void CVmVRPNServer::CRegister::Create(CVmClassBase*, int) { ReturnObject(new CVmVRPNServer()); }

void CVmVRPNServer::CRegister::AddTrackerDevice(CVmClassBase* object, int mode) {
    VrpnTrackerServer* server = Called(object, mode);
    if (!server) return;
    const char* name = GetParamString(1, false);
    const double rate = ArgCount() == 2 ? GetParamFloat(2, false) : VrpnTrackerServer::kDefaultRate;
    const int32_t k = server->AddTracker(name ? name : "", rate);
    if (k < 0)
        VmErrorStream() << kTooManyTrackers;
    else
        VmReturnInteger(k);
}

void CVmVRPNServer::CRegister::SetTrackerPos(CVmClassBase* object, int mode) {
    VrpnTrackerServer* server = Called(object, mode);
    double position[3];
    Triple(2, position);
    if (server && !server->SetPosition(GetParamInt(1, false), position)) VmErrorStream() << kTrackerRange;
}

void CVmVRPNServer::CRegister::SetTrackerRot(CVmClassBase* object, int mode) {
    VrpnTrackerServer* server = Called(object, mode);
    double degrees[3];
    Triple(2, degrees);
    if (server && !server->SetRotation(GetParamInt(1, false), degrees)) VmErrorStream() << kTrackerRange;
}

void CVmVRPNServer::CRegister::SetTrackerAnalogData(CVmClassBase* object, int mode) {
    VrpnTrackerServer* server = Called(object, mode);
    if (server && !server->SetChannel(GetParamInt(1, false), GetParamFloat(2, false)))
        VmErrorStream() << kChannelRange;
}

void CVmVRPNServer::CRegister::MainLoop(CVmClassBase* object, int mode) {
    if (VrpnTrackerServer* server = Called(object, mode)) server->MainLoop();
}
