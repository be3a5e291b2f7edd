// Video textures: the frames of the first video stream of an AVI file,
// decoded on demand into the blue-green-red, bottom-row-first layout the
// video texture uploads (see VRTextureManager::UpdateAviFrame).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "scene/VRTextureManager.h"

enum class AviOpenResult {
    kOpened,
    kNoStream,   // not an AVI file, no video stream, or a stream without frames
    kNoDecoder,  // no decoder for the stream's compression, or no picture size
    kTooLarge,   // a side longer than the limit given to Open
};

// One decoder per texture record: two textures of one file decode on their
// own and never disturb each other's position.
class AviDecoder final : public VRVideoDecoder {
public:
    AviDecoder();
    ~AviDecoder() override;
    AviDecoder(const AviDecoder&) = delete;
    AviDecoder& operator=(const AviDecoder&) = delete;

    // Reads the file's headers. The decoder takes the file (null: nothing to
    // read) and closes it when it goes. `maxSide` bounds both sides of the
    // picture.
    AviOpenResult Open(std::FILE* file, int32_t maxSide);

    // Width of the frames handed out: the picture's, rounded up to even (the
    // added column stays black).
    int32_t FrameWidth() const;
    int32_t FrameHeight() const;
    int32_t FrameCount() const;
    // Milliseconds per frame: the stream's duration over its frame count, at
    // least 1.
    uint32_t FramePeriodMs() const;

    const uint8_t* DecodeFrame(int32_t index) override;

private:
    struct State;
    std::unique_ptr<State> m;
};
