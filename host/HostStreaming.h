// The host's side of frame streaming: the start before the window exists,
// the capture of each displayed frame, the encoder thread, and the stop at
// exit.
#pragma once

#include "host/Program.h"

// Hooks that stream the window through the streamer.
StreamingHooks FrameStreamingHooks();
