// The module's hooks of the media library: the sound library's settings.
#include "engine/ModuleHooks.h"
#include "media/VRAlib.h"

namespace {

// At load the window and the three modes; at the first frame the slot
// tables first (S, then N), then the window and the modes again.
void AudioSettings(const ModuleAudioSettings& settings, bool firstFrame) {
    if (firstFrame) {
        AudioSetStreamingCount(settings.streamingBuffers);
        AudioAllocSlots();
        AudioSetSourceCount(settings.buffers);
    }
    VRAlibSetWindow(settings.window);
    AudioSetModes(settings.mode, settings.eax, settings.openAL);
}

}  // namespace

void InstallMediaHooks(ModuleHooks& hooks) { hooks.audioSettings = AudioSettings; }
