// The process's one OpenAL output: a device on the default driver and one
// context on it, current for the whole process. Everything that plays
// through OpenAL (sound back ends, media players) holds it while it has AL
// objects: the first holder opens the device, the last one's release closes
// it. Holding and releasing are thread-safe; AL calls are the holders'.
//
// The driver is OpenAL Soft's choice; ALSOFT_CONF (set before the first
// opening) can send the mix to a file.
#pragma once

#include <AL/alc.h>

class OpenAlOutput {
public:
    // One more holder; opens the device and makes its context current for
    // the first. False, and nothing held, when no device opens.
    static bool Acquire();
    // One holder less; the last closes the device.
    static void Release();
    // While held: the device and its context (null otherwise).
    static ALCdevice* Device();
    static ALCcontext* Context();
    // True when the context offers the AL extension.
    static bool HasExtension(const char* name);
};
