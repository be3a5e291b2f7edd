#include "platform/OpenAlOutput.h"

#include <AL/al.h>

#include <mutex>

namespace {

std::mutex g_lock;
int g_holders = 0;
ALCdevice* g_device = nullptr;
ALCcontext* g_context = nullptr;

// Plain 2D sounds use two sources each: room for a full table of them and
// the players' stereo streams.
constexpr ALCint kMonoSources = 600;
constexpr ALCint kStereoSources = 16;

}  // namespace

bool OpenAlOutput::Acquire() {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_holders > 0) {
        ++g_holders;
        return true;
    }
    ALCdevice* device = alcOpenDevice(nullptr);
    if (!device) return false;
    const ALCint attributes[] = {ALC_MONO_SOURCES, kMonoSources, ALC_STEREO_SOURCES, kStereoSources, 0};
    ALCcontext* context = alcCreateContext(device, attributes);
    if (!context || !alcMakeContextCurrent(context)) {
        if (context) alcDestroyContext(context);
        alcCloseDevice(device);
        return false;
    }
    g_device = device;
    g_context = context;
    g_holders = 1;
    return true;
}

void OpenAlOutput::Release() {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_holders == 0 || --g_holders > 0) return;
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(g_context);
    alcCloseDevice(g_device);
    g_context = nullptr;
    g_device = nullptr;
}

ALCdevice* OpenAlOutput::Device() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_device;
}

ALCcontext* OpenAlOutput::Context() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_context;
}

bool OpenAlOutput::HasExtension(const char* name) {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_context && alIsExtensionPresent(name) == AL_TRUE;
}
