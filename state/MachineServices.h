// What the global functions and script classes ask of the engine machine
// beyond its state: the keyboard ring, the data channel to the host, the
// input records, the script's own events, waits that stopping the engine
// ends, the VR-configuration listener, the downloads, extension modules,
// native libraries and the working folder.
// The machine implements it; a function reaches it through
// g_engineState->Services().
#pragma once

#include <cstdint>
#include <string>

class CVmValue;

// How loading a native library for a script object went.
struct NativeLibraryLoad {
    enum Outcome { Loaded, WebScript, PackageRejected, NotLoaded };
    Outcome outcome = NotLoaded;
    void* handle = nullptr;  // Loaded: the library, which stays loaded
    // NotLoaded: 2 when there is no such file, 126 when the file is there
    // but does not load, else the reason the file cannot be read; and the
    // system's text for it.
    int32_t error = 0;
    std::string reason;
};

class MachineServices {
public:
    virtual ~MachineServices() = default;

    // The next character of the keyboard ring, or -1 when it is empty.
    virtual int32_t NextKey() = 0;
    // The host's data-in text, once: taking it clears it.
    virtual std::string TakeDataIn() = 0;
    // Logs the script's data-out text and hands it to the host.
    virtual void SendDataOut(const char* text) = 0;

    // Queues a script event (id 2024 to 32767, with copies of the values) for
    // OnEvent and wakes the window thread; false when the queue was full and
    // the event is lost.
    virtual bool PostScriptEvent(int32_t id, const CVmValue& first, const CVmValue& second) = 0;
    // Runs OnEvent for the event before it answers, after the events queued
    // before it. Called from a script call, it opens the script lock for the
    // time, so that the nested call (and a waiting OnTimer) can run. Answers
    // the window's result for the message (0).
    virtual int32_t SendScriptEvent(int32_t id, const CVmValue& first, const CVmValue& second) = 0;

    // Stores the machine's second input record (the joystick record).
    virtual void SetRecord(int32_t a, int32_t b, int32_t c, int32_t d) = 0;
    // The machine's mouse state, which its window's messages keep: the
    // button flags (MK_ flags in the low byte, those of double clicks in
    // the second) and the cursor in window coordinates.
    virtual void SetMouse(int32_t buttons, int32_t x, int32_t y) = 0;
    virtual int32_t GetMouseButtons() = 0;
    virtual int32_t GetMouseX() = 0;
    virtual int32_t GetMouseY() = 0;

    // Waits ms milliseconds; false when stopping the engine ended it early.
    virtual bool SleepUnlessStopped(uint32_t ms) = 0;

    // Starts taking stereo and tracker settings from the network once the
    // scene's tracking mode is above 0 (see CVRMachine).
    virtual void StartVRConfigListener() = 0;

    // The download manager: queues a request with the manager's default
    // flags and answers its id (localName null: derived from the url).
    virtual int32_t QueueDownload(const std::string& url, const char* localName, int32_t priority) = 0;
    // Every request queued afterwards without flags asks for fresh copies.
    virtual void RefreshDownloads() = 0;
    // Per cent of the batch done, and the requests not yet started.
    virtual int32_t DownloadProgress() = 0;
    virtual int32_t PendingDownloads() = 0;

    // Loads an extension module from the working folder; false, with the
    // reason on the error stream, when it is refused.
    virtual bool LoadExternModule(const std::string& name) = 0;
    // Loads a native library (or a module package) for a script object: a
    // relative name in the working folder, an absolute one as given. A web
    // script may load packages only. A loaded library's __QEM_INIT is called
    // with the host services. Nothing loads without the engine.
    virtual NativeLibraryLoad LoadNativeLibrary(const std::string& name) = 0;
    // Moves the working folder (any separators; a final one is added).
    virtual void SetWorkingFolder(const std::string& folder) = 0;
    // The script came from a location other than a local file.
    virtual bool IsWebScript() const = 0;
};
