// The script class CVmVRAWav: one source of the sound library (VRAlib.h), a
// static one playing a WAV sample or a streaming one, with the listener's
// and the EAX operations. The object holds its source from creation to its
// last release. An object that got no source still answers its methods:
// each one warns.
#pragma once

#include <cstdint>

#include "vm/VmRegister.h"

class CVmVRAWav : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmVRAWav";

    // Takes a source of the kind; a failure is warning 4005.
    explicit CVmVRAWav(bool streaming);
    ~CVmVRAWav() override;
    const char* ClassName() override { return kClassName; }

    // The source, negative when none could be taken.
    int32_t Slot() const { return m_slot; }
    bool Streaming() const { return m_streaming; }

    // A scene node carries its linked sound along: the sound's source gets
    // the point as its "Position" through the running back end. 0 when the
    // back end took it (a streaming source where the back end has none
    // counts as taken), else the sound library's failure code.
    static int32_t SetSoundPosition(CVmClassBase* sound, const float* position);

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        // Also gives the sound library the running script's warning stream,
        // and scene nodes (CVmObj) their way to move a linked sound.
        bool RegisterMethods(int32_t n) override;

        // The factory: (), (capture device Integer) for a streaming source,
        // or (file, 3D) for a loaded static source.
        void Create(CVmClassBase* object, int mode);

    private:
        void Load(CVmClassBase* object, int mode);
        void Play(CVmClassBase* object, int mode);
        void Stop(CVmClassBase* object, int mode);
        void Seek(CVmClassBase* object, int mode);
        void GetSeekPosition(CVmClassBase* object, int mode);
        void Pause(CVmClassBase* object, int mode);
        void SetVolume(CVmClassBase* object, int mode);
        void GetVolume(CVmClassBase* object, int mode);
        void SetBalance(CVmClassBase* object, int mode);
        void SetFrequency(CVmClassBase* object, int mode);
        void GetFrequency(CVmClassBase* object, int mode);
        void SetPosition(CVmClassBase* object, int mode);
        void SetVelocity(CVmClassBase* object, int mode);
        void SetListenerOrientation(CVmClassBase* object, int mode);
        void SetListenerPosition(CVmClassBase* object, int mode);
        void SetListenerVelocity(CVmClassBase* object, int mode);
        void IsPlaying(CVmClassBase* object, int mode);
        void EAXIsActive(CVmClassBase* object, int mode);
        void SetConeParams(CVmClassBase* object, int mode);
        void SetConeOrientation(CVmClassBase* object, int mode);
        void EAXInitEnvironmentFromFile(CVmClassBase* object, int mode);
        void EAXInitMaterialFromFile(CVmClassBase* object, int mode);
        void EAXInitSourceFromFile(CVmClassBase* object, int mode);
        void EAXInitListenerFromFile(CVmClassBase* object, int mode);
        void EAXInitEMSLFromFile(CVmClassBase* object, int mode);
        void EAXSetEnvironmentFromFile(CVmClassBase* object, int mode);
        void EAXSetSourceFromFile(CVmClassBase* object, int mode);
        void EAXSetEnvironmentProperty(CVmClassBase* object, int mode);
        void EAXSetSourceProperty(CVmClassBase* object, int mode);
        void EAXSetEnvironment(CVmClassBase* object, int mode);
        void EAXSetOcclusion(CVmClassBase* object, int mode);
        void EAXSetObstruction(CVmClassBase* object, int mode);
        void UpdateStreamingSource(CVmClassBase* object, int mode);
        void PlayStreamingSource(CVmClassBase* object, int mode);
        void StopStreamingSource(CVmClassBase* object, int mode);
        void SetPositionStreamingSource(CVmClassBase* object, int mode);

        // The object in a method call; null (after the bare error) in any
        // other mode.
        static CVmVRAWav* Self(CVmClassBase* object, int mode);
        // Warning `id` when the result is a failure; true then.
        bool Failed(int32_t result, int32_t id);
        // Parameter k as a file path (working folder + name) and the name the
        // warnings show (the working folder when it is no String).
        void ReadFile(int32_t k, std::string& path, std::string& shown);
        // A vector parameter 1 (missing components 0) or three numbers.
        void ReadPoint(float* v);
        // Parameter 1's point to a source's or the listener's vector.
        void SetVector(CVmClassBase* object, int mode, bool listener, const char* name);
        // "Type", then "Sample": warning 2032 with the name when it fails.
        void LoadSample(int32_t slot, const std::string& path, const std::string& shown, bool is3D);
        // The EAX loaders' call with parameter 1's file.
        void LoadEax(CVmClassBase* object, int mode, int32_t (*load)(const char*), int32_t id);
        // The streaming operations, which only the OpenAL back end has.
        void Streaming(CVmClassBase* object, int mode, int32_t (*op)(int32_t));
    };

private:
    int32_t m_slot;
    bool m_streaming;
};
