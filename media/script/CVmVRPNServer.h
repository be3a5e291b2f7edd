// The script class CVmVRPNServer: trackers and analog values published to
// VRPN clients on port 3883. Each object has its own analog server
// "QemAnalogServer" of 48 channels and up to 8 trackers on the one
// connection of the process; MainLoop sends. Parameters are read silently.
#pragma once

#include <cstdint>
#include <memory>

#include "vm/VmRegister.h"

class VrpnTrackerServer;

class CVmVRPNServer : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmVRPNServer";

    CVmVRPNServer();
    ~CVmVRPNServer() override;
    const char* ClassName() override { return kClassName; }
    VrpnTrackerServer& Server() { return *m_server; }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        void Create(CVmClassBase* object, int mode);
        void AddTrackerDevice(CVmClassBase* object, int mode);
        void SetTrackerPos(CVmClassBase* object, int mode);
        void SetTrackerRot(CVmClassBase* object, int mode);
        void SetTrackerAnalogData(CVmClassBase* object, int mode);
        void MainLoop(CVmClassBase* object, int mode);

        // The object's server in a method call; otherwise a bare error and null.
        static VrpnTrackerServer* Called(CVmClassBase* object, int mode);
        // Parameter k as three components, missing ones (or a parameter that
        // is no vector) 0.
        void Triple(int32_t k, double values[3]);
    };

private:
    std::unique_ptr<VrpnTrackerServer> m_server;
};
