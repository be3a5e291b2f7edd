#include "host/HostStreaming.h"

#include <GL/gl.h>

#include <atomic>
#include <thread>

#include "Streamer/StreamCaptureBuffer.h"
#include "Streamer/StreamerState.h"
#include "platform/Event.h"

namespace {

// Set after each capture, reset by the encoder thread after each encode.
CEvent StreamFrameEvent(true);
std::atomic<bool> g_stop{false};
std::thread g_encoderThread;
CEvent g_encoderEnded(true);

// Encodes a frame each time one was captured, until asked to stop (which
// lets it encode one more).
void StreamEncoderThread() {
    while (!g_stop) {
        StreamFrameEvent.Wait(-1);
        StreamerEncodeFrame();
        StreamFrameEvent.Reset();
    }
    g_encoderEnded.Set();
}

void StartStreaming() {
    StreamFrameEvent.Reset();
    g_stop = false;
    StreamerInit();
    g_encoderThread = std::thread(StreamEncoderThread);
}

// The lower-left 640 x 480 pixels of the frame just drawn, bottom row
// first, whatever pixel-store settings the script left.
void CaptureFrame() {
    StreamCaptureBuffer& capture = ProcessCaptureBuffer();
    uint8_t* into = capture.BeginCapture();
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    glPixelStorei(GL_PACK_SWAP_BYTES, GL_FALSE);
    glReadPixels(0, 0, StreamCaptureBuffer::kWidth, StreamCaptureBuffer::kHeight, GL_BGR, GL_UNSIGNED_BYTE, into);
    glPopClientAttrib();
    capture.EndCapture();
    StreamFrameEvent.Set();
}

// The encoder thread first (given 5 s), then the streamer's own threads and
// connection. A thread that does not end is left alone, and so is what it
// uses.
void StopStreaming() {
    if (!g_encoderThread.joinable()) return;
    g_stop = true;
    StreamFrameEvent.Set();
    if (!g_encoderEnded.Wait(5000)) {
        g_encoderThread.detach();
        return;
    }
    g_encoderThread.join();
    StreamerShutdown();
}

}  // namespace

StreamingHooks FrameStreamingHooks() { return StreamingHooks{StartStreaming, CaptureFrame, StopStreaming}; }
