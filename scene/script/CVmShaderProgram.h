// The script class CVmShaderProgram: a script's view of a GLSL program of the
// shader library. Objects never own their program: the library does, and
// every object made from the same file pair shows the same one. An object
// holds its program through a reference that the library's clearing (at the
// scene's end) empties, so its methods then report that the program is gone
// instead of reaching a deleted one; an object whose program did not build
// reports that.
#pragma once

#include <cstdint>

#include "scene/VRShaderProgram.h"
#include "vm/VmRegister.h"

class CVmShaderProgram : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CVmShaderProgram";

    explicit CVmShaderProgram(VRShaderProgram* program);
    const char* ClassName() override { return kClassName; }

    // The program, or null when none was built or it is gone.
    VRShaderProgram* Program() const { return m_program.Get(); }

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        // CVmShaderProgram(vertex [, fragment] [, is source] [, reserved]
        // [, verbose]) or (vertex, is source [, verbose]).
        void Create(CVmClassBase* object, int mode);
        void Activate(CVmClassBase* object, int mode);
        void IsLinked(CVmClassBase* object, int mode);
        void GetLinkerLog(CVmClassBase* object, int mode);
        void SetParameter(CVmClassBase* object, int mode);
        void AddGeometryShader(CVmClassBase* object, int mode);
        void Start(CVmClassBase* object, int mode);
        void Stop(CVmClassBase* object, int mode);
        void GetUniformCount(CVmClassBase* object, int mode);
        void GetUniform(CVmClassBase* object, int mode);
        void GetUniformValue(CVmClassBase* object, int mode);
        void GetAttributeCount(CVmClassBase* object, int mode);
        void GetAttribute(CVmClassBase* object, int mode);
        void GetAttributeIndex(CVmClassBase* object, int mode);
        void Active(CVmClassBase* object, int mode);

        // The object's program in a method call; null (with the error
        // reported) when it has none. Other modes answer null quietly.
        VRShaderProgram* Viewed(CVmClassBase* object, int mode);
        // GetUniform and GetAttribute: writes what the program tells of the
        // index into parameters 2 to 5.
        void WriteActive(CVmClassBase* object, int mode, bool uniform);
    };

private:
    VRShaderProgramRef m_program;
};
