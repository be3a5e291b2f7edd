// The scene's stereo and head-tracking values that other threads change:
// the VR-configuration listener sets them from the network while the scene
// draws with them. Every reader takes a copy under the record's lock, so it
// never sees a value set half written.
#pragma once

#include <cstdint>
#include <mutex>

struct StereoValues {
    // 0 off; 1 head tracking with eye translation; 2 and 3 tracked frustum
    // only; 4 and above also rotate the view about the tracker position.
    int32_t trackingMode = 0;
    float focalLength = 2.5f;  // the stereo convergence distance
    float eyeSeparation = 0.02f;
    float eyeOffsetY = 0.0f;
    float eyeOffsetZ = 0.0f;
    float screenWidth = 2.2f;  // the physical screen, in tracker units
    float screenHeight = 1.5f;
    float trackerPosition[3] = {0.0f, 0.0f, 1.0f};
    float trackerOrientation[3] = {0.0f, 0.0f, 0.0f};  // degrees about x, y, z
};

class StereoSettings {
public:
    StereoValues Read() const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_values;
    }
    // Runs change(StereoValues&) under the lock.
    template <class Change>
    void Update(Change change) {
        std::lock_guard<std::mutex> lock(m_lock);
        change(m_values);
    }

private:
    mutable std::mutex m_lock;
    StereoValues m_values;
};
