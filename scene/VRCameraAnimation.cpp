#include "scene/VRCameraAnimation.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/PathResolver.h"
#include "platform/ScriptFile.h"
#include "scene/EngineMath.h"
#include "scene/EngineServices.h"
#include "scene/ModelViewScope.h"

namespace {

// The smallest camera a file can describe ("Type:" and "PosCam:" with three
// one-digit numbers): a count above remaining bytes / kMinCameraBytes cannot
// be real.
constexpr long kMinCameraBytes = 20;
// The largest animation file read.
constexpr uint64_t kMaxAnimationFileBytes = uint64_t{64} << 20;

class OpenFile {
public:
    explicit OpenFile(FILE* f) : file(f) {}
    ~OpenFile() {
        if (file) std::fclose(file);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    FILE* file;
};

bool Is(const char* token, const char* keyword) { return token && std::strcmp(token, keyword) == 0; }
bool AtEnd(const char* token) { return !token || token[0] == '\n'; }

float NextNumber(FILE* file) { return std::strtof(TokenizerNextToken(file, 0), nullptr); }

// x, y, z of the file as (x, z, -y).
void ReadPosition(FILE* file, float* out) {
    const float x = NextNumber(file), y = NextNumber(file), z = NextNumber(file);
    out[0] = x;
    out[1] = z;
    out[2] = -y;
}

// Key blocks into the track until the controller's "}" or the end of file.
void ReadController(FILE* file, VRAnimTrack& track) {
    if (!TokenizerSkipTo(file, "Anim_Ctrl:", nullptr, nullptr, 0)) return;
    if (!Is(TokenizerNextToken(file, 0), "Y")) return;
    while (!track.ReadKeyBlock(file))
        if (std::feof(file)) return;
}

// Four rotation values unless the header says three: "CAMERA" alone, else
// by its prefix, else by its third character from the end.
bool FourRotationValues(const std::string& header) {
    if (header == "CAMERA") return true;
    if (header.compare(0, 5, "IDASF") == 0) return false;
    if (header.compare(0, 3, "MAX") == 0) return true;
    // A header shorter than three characters has no such character.
    if (header.size() < 3) return false;
    const char c = header[header.size() - 3];
    return c == 'A' || c == 'a';
}

}  // namespace

void VRCameraAnimation::Allocate(int32_t count) {
    cameraCount = count;
    positionTracks.reset(new VRAnimTrack[size_t(count)]);
    targetTracks.reset(new VRAnimTrack[size_t(count)]);
    isTarget.assign(size_t(count), 0);
    frameCounts.assign(size_t(count), 0);
}

int32_t VRCameraAnimation::Read(const char* path) {
    if (!path) return -1;
    ScriptFile file = ScriptFile::Open(PathResolver::Shared().Resolve(path), kMaxAnimationFileBytes);
    if (!file.IsOpen() && file.GetStatus() != ScriptFile::NotFound)
        ReportWarning("VRCameraAnimation : File refused:", file.Reason().c_str());
    OpenFile open(file.TakeStdio());
    if (!open.file) return -1;
    return ReadFrom(open.file);
}

int32_t VRCameraAnimation::ReadFrom(FILE* file) {
    TokenizerReset();

    const std::string header = TokenizerReadLine(file);
    const bool four = FourRotationValues(header);
    if (header != "CAMERA" && !TokenizerSkipTo(file, "CAMERA", nullptr, nullptr, 0)) return -2;

    if (Is(TokenizerNextToken(file, 0), "ENDCAMERA")) return -3;
    const long count = std::strtol(TokenizerNextToken(file, 0), nullptr, 10);
    if (Is(TokenizerNextToken(file, 0), "ENDCAMERA")) return -3;
    if (count < 0 || count > FileBytesLeft(file) / kMinCameraBytes) return -2;
    Allocate(int32_t(count));

    int32_t result = 0;
    for (int32_t i = 0; i < cameraCount; ++i) {
        VRAnimTrack& position = positionTracks[size_t(i)];
        VRAnimTrack& target = targetTracks[size_t(i)];
        if (!TokenizerSkipTo(file, "Type:", nullptr, nullptr, 0)) break;
        const bool targeted = Is(TokenizerNextToken(file, 0), "Target");
        if (!TokenizerSkipTo(file, "PosCam:", nullptr, nullptr, 0)) break;
        ReadPosition(file, position.defaultPosition);
        if (targeted) {
            isTarget[size_t(i)] = 1;
            if (!TokenizerSkipTo(file, "PosTarget:", nullptr, nullptr, 0)) break;
            ReadPosition(file, target.defaultPosition);
        } else {
            isTarget[size_t(i)] = 0;
            if (!TokenizerSkipTo(file, "RotCam:", nullptr, nullptr, 0)) break;
            for (int k = 0; k < (four ? 4 : 3); ++k) position.defaultRotation[k] = NextNumber(file);
        }

        bool cameraDone = false;
        while (!cameraDone) {
            const char* token = TokenizerNextToken(file, 0);
            if (AtEnd(token)) break;
            if (Is(token, "FOV:")) {
                TokenizerNextToken(file, 0);
                TokenizerNextToken(file, 0);
            } else if (Is(token, "Animation:")) {
                const char* frames = nullptr;
                for (int k = 0; k < 4; ++k) frames = TokenizerNextToken(file, 0);
                frameCounts[size_t(i)] = int32_t(std::strtol(frames, nullptr, 10));
                result = 1;
                for (;;) {
                    const char* block = TokenizerNextToken(file, 0);
                    if (Is(block, "AnimCam:")) {
                        ReadController(file, position);
                    } else if (Is(block, "AnimTarget:")) {
                        ReadController(file, target);
                    } else if (Is(block, "AnimFOV:")) {
                        TokenizerSkipTo(file, "}", nullptr, nullptr, 0);
                    } else {
                        break;
                    }
                }
                cameraDone = true;
            } else if (Is(token, "Anim_Ctrl:")) {
                TokenizerNextToken(file, 0);
                cameraDone = true;
            } else if (Is(token, "ENDCAMERA")) {
                result = -1;
                cameraDone = true;
            } else {
                result = 0;
            }
        }
        if (std::feof(file)) break;
    }
    return result;
}

int32_t VRCameraAnimation::Frames(int32_t n) const {
    if (!HasTables()) return -2;
    if (n < 0 || n >= cameraCount) return -1;
    return frameCounts[size_t(n)];
}

void VRCameraAnimation::SamplePosition(const VRAnimTrack& track, int32_t frame, int32_t first, float* out) {
    std::memcpy(out, track.defaultPosition, 3 * sizeof(float));
    if (track.positionCount <= 0) return;
    const std::vector<float>& keys = track.positionKeys;
    if (track.positionKind == kKeysBezier) {
        const int size = VRAnimTrack::PositionKeySize(kKeysBezier);
        const int32_t f = AddFrames(frame, first);
        if (keys[0] > float(f)) return;
        if (f > TruncatedFrame(keys[size_t(track.positionCount - 1) * size])) {
            std::memcpy(out, &keys[size_t(track.positionCount - 1) * size + 1], 3 * sizeof(float));
            return;
        }
        track.GetBezierPosition(f, out);
        return;
    }
    if (frame < 0) return;
    const int32_t key = std::min(frame, track.positionCount - 1);
    std::memcpy(out, &keys[size_t(key) * 3], 3 * sizeof(float));
}

int32_t VRCameraAnimation::Sample(int32_t n, int32_t frame, float* position, float* out,
                                  bool* rotationWritten) const {
    *rotationWritten = false;
    if (!HasTables()) return -2;
    if (n < 0 || n >= cameraCount) return -1;
    const VRAnimTrack& track = positionTracks[size_t(n)];
    // Keys that carry their frame number count frames from the first key.
    int32_t first = 0;
    if (track.positionKind == kKeysBezier && track.positionCount > 0)
        first = TruncatedFrame(track.positionKeys[0]);
    else if (track.rotationKind == kKeysEuler && track.rotationCount > 0)
        first = TruncatedFrame(track.rotationKeys[0]);
    SamplePosition(track, frame, first, position);

    if (isTarget[size_t(n)]) {
        if (!targetTracks) return -3;
        SamplePosition(targetTracks[size_t(n)], frame, first, out);
        return 0;
    }
    if (track.rotationKind == kKeysEuler) {
        if (track.GetEulerRotation(AddFrames(frame, first), out, 0) == 0) {
            // The file's y and z axes are the engine's z and -y.
            for (int c = 0; c < 4; ++c) {
                out[c * 4 + 1] = -out[c * 4 + 1];
                out[c * 4 + 2] = -out[c * 4 + 2];
            }
            *rotationWritten = true;
        }
    } else if (track.rotationKind == kKeysSampled) {
        const float* r = track.defaultRotation;
        if (frame >= 0 && track.rotationCount > 0)
            r = &track.rotationKeys[size_t(std::min(frame, track.rotationCount - 1)) * 4];
        ModelViewScope stack;
        glLoadIdentity();
        glRotatef(r[3] * kRadiansToDegrees, r[0], r[1], r[2]);
        glRotatef(90, 1, 0, 0);
        stack.ReadInto(out);
        *rotationWritten = true;
    }
    return 1;
}

void VRCameraAnimation::ScaleSamples(float sx, float sy, float sz) {
    if (!HasTables()) return;
    for (int32_t i = 0; i < cameraCount; ++i) {
        positionTracks[size_t(i)].ScalePositions(sx, sy, sz);
        targetTracks[size_t(i)].ScalePositions(sx, sy, sz);
    }
}

int32_t VRCameraAnimation::SetBound(int32_t index, float value) {
    if (index < 0 || index >= 6) return -1;
    bounds[index] = value;
    return index;
}

void VRCameraAnimation::SetBounds(const float* values) { std::memcpy(bounds, values, sizeof bounds); }

void VRCameraAnimation::Clamp(float* p) const {
    for (int k = 0; k < 3; ++k) p[k] = std::max(bounds[2 * k], std::min(bounds[2 * k + 1], p[k]));
}
