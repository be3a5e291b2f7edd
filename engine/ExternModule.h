// Native extension modules: what a module exports and what the engine hands
// it. A module is a shared object built with the same compiler as the engine
// against the engine's headers and linked against libqemengine.so; it hands
// the engine C++ registration objects (vm/VmRegister.h) and writes its help
// to a std::ostream, so both sides must share one C++ runtime.
//
// A module exports, with C names:
//
//   extern "C" void __QEM_INIT(QemHostServicesProc services);   // optional
//   extern "C" CVmRegisterClass* GetRegClass(int32_t index);     // 0, 1, ... until null
//   extern "C" const QemModuleVersion* Version();                // the engine's version
//   extern "C" void Help(std::ostream& out);                     // a few lines for the output
//
// Each registration GetRegClass answers is new and belongs to the engine
// from then on; the engine deletes it (before it unloads the module) when
// the machine ends. The module is loaded once per LoadModule and unloaded
// when the machine ends, or at once when it is refused.
#pragma once

#include <cstdint>
#include <iosfwd>

class CVmRegisterClass;

// The version a module was built for: it must equal the engine's in all
// three numbers.
struct QemModuleVersion {
    uint16_t major;
    uint16_t minor;
    uint16_t third;
};

// What HostServices answers, by type.
enum QemHostService : int32_t {
    kHostRenderWindow = 0,   // the window the engine renders into (its id as a pointer)
    kHostWorkingFolder = 1,  // const char*: the machine's working folder, ending in '/'; copy it
    kHostMachineWindow = 3,  // the window the machine was given (its id as a pointer)
    kHostEditorLog = 4,      // QemEditorLogProc: sends text to the script editor's log
};

// Writes `length` bytes to the script editor's log; nothing when no editor
// runs. Any thread may call it.
typedef void (*QemEditorLogProc)(const char* data, int32_t length);

typedef void* (*QemHostServicesProc)(int32_t type);
typedef void (*QemInitProc)(QemHostServicesProc services);
typedef CVmRegisterClass* (*QemGetRegClassProc)(int32_t index);
typedef const QemModuleVersion* (*QemVersionProc)();
typedef void (*QemHelpProc)(std::ostream& out);

// The host-services callback every module's __QEM_INIT receives; null for
// a type it does not know.
void* HostServices(int32_t type);
