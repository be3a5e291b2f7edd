// The scene's camera animation: the cameras of a camera file as keyframe
// tracks (a position track, and a target track for target cameras), each
// with its frame count, and the six bounds that an animated camera position
// is clamped into. The scene places its current camera from them.
//
// Camera files are text read with the engine tokenizer (keywords compare
// case-sensitively). Positions are stored as (x, z, -y) of the file's
// (x, y, z).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "scene/VRAnimTrack.h"

class VRCameraAnimation {
public:
    int32_t cameraCount = 0;
    // Null until a file was read.
    std::unique_ptr<VRAnimTrack[]> positionTracks;
    std::unique_ptr<VRAnimTrack[]> targetTracks;
    std::vector<int32_t> isTarget;
    std::vector<int32_t> frameCounts;
    // Minimum x, maximum x, minimum y, maximum y, minimum z, maximum z.
    float bounds[6] = {-100000, 100000, -100000, 100000, -100000, 100000};

    bool HasTables() const { return positionTracks != nullptr; }

    // 1 when an animation block was read, 0 otherwise; -1 when the file
    // cannot be opened (or "ENDCAMERA" closes a camera's blocks), -2 without
    // a "CAMERA" token or for a camera count the file cannot hold, -3 for
    // "ENDCAMERA" around the count. The tables of a file that fails after
    // the count keep what was read.
    int32_t Read(const char* path);
    // The same from an open file, which stays open.
    int32_t ReadFrom(FILE* file);

    // Frame count of camera n; -1 for a camera not in the table, -2
    // without tables.
    int32_t Frames(int32_t n) const;

    // The position of camera n at the frame, and in `out` its target (3
    // floats) for a target camera or its rotation matrix (16 floats).
    // -2 without tables, -1 for a camera not in the table, -3 for a target
    // camera without target tracks; 0 for a target camera, else 1.
    // *rotationWritten tells whether out got a rotation (not for rotation
    // keys of other kinds). Rotations compute on the GL model-view stack.
    int32_t Sample(int32_t n, int32_t frame, float* position, float* out, bool* rotationWritten) const;

    // Scales the position keys of every position and target track.
    void ScaleSamples(float sx, float sy, float sz);

    // Bound index outside 0 to 5: -1, nothing changed; else the index.
    int32_t SetBound(int32_t index, float value);
    void SetBounds(const float* values);
    void Clamp(float* position) const;

private:
    void Allocate(int32_t count);
    static void SamplePosition(const VRAnimTrack& track, int32_t frame, int32_t first, float* out);
};
