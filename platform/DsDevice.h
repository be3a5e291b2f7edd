// A sound output shaped like the classic buffer-and-listener API that the
// engine's default sound back end drives: a device makes a primary buffer
// (whose listener places the hearer) and secondary buffers (one sample
// each, plain with pan or placed in 3D). Only the calls the back end makes
// exist. Every call answers 0 (kDsOk) or a failure code.
//
// Objects are shared: a buffer keeps its device alive, a 3D interface its
// buffer, so they may be released in any order.
//
// Values are those of that API: volumes and pans in hundredths of a decibel
// (-10000..0, -10000..10000), frequencies in Hz (0: the format's own rate),
// left-handed coordinates (x right, y up, z forward).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/WaveFormat.h"

enum DsResult : int32_t {
    kDsOk = 0,
    kDsFail,             // no more precise cause
    kDsInvalidArg,       // a value out of range, an unplayable format
    kDsPrioLevelNeeded,  // the cooperative level does not allow the call
    kDsControlUnavail,   // the buffer was made without that control
    kDsBufferLost,
    kDsInvalidCall,      // not a call for this kind of buffer
    kDsNoInterface,      // the object has no such interface
    kDsOutOfMemory,
    kDsNoDriver,         // no device could be opened
};

// Buffer description flags.
constexpr uint32_t kDsbcapsPrimaryBuffer = 0x1;
constexpr uint32_t kDsbcapsStatic = 0x2;
constexpr uint32_t kDsbcapsLocHardware = 0x4;
constexpr uint32_t kDsbcapsLocSoftware = 0x8;
constexpr uint32_t kDsbcapsCtrl3D = 0x10;
constexpr uint32_t kDsbcapsCtrlFrequency = 0x20;
constexpr uint32_t kDsbcapsCtrlPan = 0x40;
constexpr uint32_t kDsbcapsCtrlVolume = 0x80;
constexpr uint32_t kDsbcapsCtrlPositionNotify = 0x100;
constexpr uint32_t kDsbcapsGlobalFocus = 0x8000;
constexpr uint32_t kDsbcapsMute3DAtMaxDistance = 0x20000;

// Device capability flags.
constexpr uint32_t kDscapsPrimaryMono = 0x1;
constexpr uint32_t kDscapsPrimaryStereo = 0x2;
constexpr uint32_t kDscapsPrimary8Bit = 0x4;
constexpr uint32_t kDscapsPrimary16Bit = 0x8;
constexpr uint32_t kDscapsContinuousRate = 0x10;
constexpr uint32_t kDscapsEmulDriver = 0x20;
constexpr uint32_t kDscapsCertified = 0x40;
constexpr uint32_t kDscapsSecondaryMono = 0x100;
constexpr uint32_t kDscapsSecondaryStereo = 0x200;
constexpr uint32_t kDscapsSecondary8Bit = 0x400;
constexpr uint32_t kDscapsSecondary16Bit = 0x800;

// Buffer status bits, play flags, cooperative level, 3D apply modes.
constexpr uint32_t kDsbstatusPlaying = 0x1;
constexpr uint32_t kDsbstatusBufferLost = 0x2;
constexpr uint32_t kDsbstatusLooping = 0x4;
constexpr uint32_t kDsbplayLooping = 0x1;
constexpr uint32_t kDsblockEntireBuffer = 0x2;
constexpr uint32_t kDssclPriority = 2;
constexpr uint32_t kDs3dImmediate = 0;
constexpr uint32_t kDs3dDeferred = 1;

// Property-set support bits.
constexpr uint32_t kKsPropertySupportGet = 1;
constexpr uint32_t kKsPropertySupportSet = 2;

// What the device reports of itself (a 96-byte record in that API).
struct DsCaps {
    uint32_t flags = 0;
    uint32_t minSecondarySampleRate = 0;
    uint32_t maxSecondarySampleRate = 0;
    uint32_t primaryBuffers = 0;
    uint32_t maxHwMixingAllBuffers = 0;
    uint32_t maxHwMixingStaticBuffers = 0;
    uint32_t maxHwMixingStreamingBuffers = 0;
    uint32_t freeHwMixingAllBuffers = 0;
    uint32_t freeHwMixingStaticBuffers = 0;
    uint32_t freeHwMixingStreamingBuffers = 0;
    uint32_t maxHw3DAllBuffers = 0;
    uint32_t maxHw3DStaticBuffers = 0;
    uint32_t maxHw3DStreamingBuffers = 0;
    uint32_t freeHw3DAllBuffers = 0;
    uint32_t freeHw3DStaticBuffers = 0;
    uint32_t freeHw3DStreamingBuffers = 0;
    uint32_t totalHwMemBytes = 0;
    uint32_t freeHwMemBytes = 0;
    uint32_t maxContigFreeHwMemBytes = 0;
    uint32_t unlockTransferRateHwBuffers = 0;
    uint32_t playCpuOverheadSwBuffers = 0;
};

struct DsBufferDesc {
    uint32_t size = 36;
    uint32_t flags = 0;
    uint32_t bufferBytes = 0;  // 0 for the primary buffer
    uint32_t reserved = 0;
    const WaveFormat* format = nullptr;  // null for the primary buffer
};

struct DsGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

// The hearer, from the primary buffer.
class DsListener {
public:
    virtual ~DsListener() = default;
    virtual int32_t SetPosition(float x, float y, float z, uint32_t apply) = 0;
    virtual int32_t SetVelocity(float x, float y, float z, uint32_t apply) = 0;
    virtual int32_t SetOrientation(float frontX, float frontY, float frontZ, float topX, float topY, float topZ,
                                   uint32_t apply) = 0;
    virtual int32_t SetRolloffFactor(float factor, uint32_t apply) = 0;
    virtual int32_t SetDopplerFactor(float factor, uint32_t apply) = 0;
    virtual int32_t SetDistanceFactor(float factor, uint32_t apply) = 0;
    // Applies every deferred 3D setting of the device at once.
    virtual int32_t CommitDeferredSettings() = 0;
};

// Vendor property sets of a 3D buffer.
class DsPropertySet {
public:
    virtual ~DsPropertySet() = default;
    virtual int32_t QuerySupport(const DsGuid& set, uint32_t id, uint32_t* support) = 0;
};

// The 3D side of a secondary buffer.
class Ds3DBuffer {
public:
    virtual ~Ds3DBuffer() = default;
    virtual int32_t SetPosition(float x, float y, float z, uint32_t apply) = 0;
    virtual int32_t SetVelocity(float x, float y, float z, uint32_t apply) = 0;
    virtual int32_t SetConeAngles(uint32_t inside, uint32_t outside, uint32_t apply) = 0;
    virtual int32_t SetConeOutsideVolume(int32_t volume, uint32_t apply) = 0;
    virtual int32_t SetConeOrientation(float x, float y, float z, uint32_t apply) = 0;
    virtual int32_t QueryPropertySet(std::shared_ptr<DsPropertySet>& out) = 0;
};

class DsBuffer {
public:
    virtual ~DsBuffer() = default;
    // The bytes from `offset` on, in one region or, past the end, two (the
    // second from the start); Unlock hands them back to the device.
    virtual int32_t Lock(uint32_t offset, uint32_t bytes, void** first, uint32_t* firstBytes, void** second,
                         uint32_t* secondBytes, uint32_t flags) = 0;
    virtual int32_t Unlock(void* first, uint32_t firstBytes, void* second, uint32_t secondBytes) = 0;
    // Plays from the current position (kDsbplayLooping: around and around).
    virtual int32_t Play(uint32_t reserved, uint32_t priority, uint32_t flags) = 0;
    // Stops where it is; Play goes on from there.
    virtual int32_t Stop() = 0;
    virtual int32_t SetCurrentPosition(uint32_t position) = 0;
    virtual int32_t GetCurrentPosition(uint32_t* play, uint32_t* write) = 0;
    virtual int32_t GetStatus(uint32_t* status) = 0;
    virtual int32_t Restore() = 0;
    virtual int32_t SetVolume(int32_t volume) = 0;
    virtual int32_t GetVolume(int32_t* volume) = 0;
    virtual int32_t SetPan(int32_t pan) = 0;
    virtual int32_t SetFrequency(uint32_t frequency) = 0;
    virtual int32_t GetFrequency(uint32_t* frequency) = 0;
    // The primary buffer's output format.
    virtual int32_t SetFormat(const WaveFormat& format) = 0;
    virtual int32_t GetFormat(WaveFormat* format) = 0;
    // The listener (primary buffer with kDsbcapsCtrl3D) and the 3D side
    // (secondary buffer with kDsbcapsCtrl3D).
    virtual int32_t QueryListener(std::shared_ptr<DsListener>& out) = 0;
    virtual int32_t Query3DBuffer(std::shared_ptr<Ds3DBuffer>& out) = 0;
};

class DsDevice {
public:
    virtual ~DsDevice() = default;
    virtual int32_t GetCaps(DsCaps* caps) = 0;
    virtual int32_t SetCooperativeLevel(intptr_t window, uint32_t level) = 0;
    virtual int32_t CreateSoundBuffer(const DsBufferDesc& desc, std::shared_ptr<DsBuffer>& out) = 0;
};

// What making the EAX-capable device can answer besides a device.
enum DsEaxCreateResult : int32_t {
    kDsEaxCreated = 0,
    kDsEaxLibraryMissing,
    kDsEaxEntryMissing,
    kDsEaxCreateFailed,
};

// How devices are made: the default device, and the one through the EAX
// library.
struct DsDeviceFactory {
    std::function<int32_t(std::shared_ptr<DsDevice>& out)> create;
    std::function<DsEaxCreateResult(std::shared_ptr<DsDevice>& out)> createEax;
};

// The system's factory: the default device plays through the process's
// OpenAL output (OpenAlOutput); there is no EAX library.
DsDeviceFactory SystemDsDeviceFactory();
