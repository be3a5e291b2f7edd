// The script class CVmVRPN: VRPN trackers, buttons and analog devices read
// by global index. Every object works on the one process-wide device state;
// the object itself holds nothing. Parameters are read silently: a missing
// or mistyped one reads as 0, an empty string or no vector.
#pragma once

#include <cstdint>

#include "vm/VmRegister.h"

enum class VrpnReportForm;

class CVmVRPN : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmVRPN";
    const char* ClassName() override { return kClassName; }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        void Create(CVmClassBase* object, int mode);
        void Update(CVmClassBase* object, int mode);
        void AddTrackerDevice(CVmClassBase* object, int mode);
        void Close(CVmClassBase* object, int mode);
        void SetSensorOffset(CVmClassBase* object, int mode);
        void RequireNewReport(CVmClassBase* object, int mode);
        void GetTrackerReportPos(CVmClassBase* object, int mode);
        void GetTrackerReportQuat(CVmClassBase* object, int mode);
        void GetTrackerReportAxisAngle(CVmClassBase* object, int mode);
        void GetTrackerReportAngleAxis(CVmClassBase* object, int mode);
        void GetTrackerReportEuler(CVmClassBase* object, int mode);
        void AddButtonDevice(CVmClassBase* object, int mode);
        void GetButtonReport(CVmClassBase* object, int mode);
        void AddAnalogDevice(CVmClassBase* object, int mode);
        void GetAnalogReport(CVmClassBase* object, int mode);

        // Parameter k as a string ("" when it is none), a count (the
        // fallback when the call has no parameter k) or a vector of at least
        // n components (null otherwise).
        const char* Text(int32_t k);
        int32_t Count(int32_t k, int32_t fallback);
        const float* Components(int32_t k, int32_t n);
        // The report of parameter 1's sensor in a form, returned as a vector.
        void ReturnReport(VrpnReportForm form);
    };
};
