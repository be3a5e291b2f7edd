// GLSL programs over the shader-object entry points, and the library that
// makes every program built from the same pair of files one shared object.
//
// A program is built completely by its constructor (read, compile, link,
// with the compiler's and linker's reports on the engine's warning and
// error channel); afterwards only its enabled flag, an added geometry
// shader and its cache of uniform locations change. A program that did not
// link stays usable as an object: Start does nothing and every setter
// answers false.
//
// Everything runs on the thread that owns the GL context.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

// The GLSL uniform and attribute types by their texts ("vec3f", "mat4f",
// "sampler2D", ...): the type of a text (0 for a text outside the table), the
// text of a type (null outside the table), the floats a value of the type
// holds (1 outside the table) and whether a type is a sampler.
uint32_t UniformTypeFromName(const char* text);
const char* UniformTypeText(uint32_t type);
int32_t UniformTypeComponentCount(uint32_t type);
bool IsSamplerType(uint32_t type);

class VRShaderProgram {
public:
    // Builds the program from two files or two source strings (fragment
    // given), or from one file holding a "[VERTEX SHADER]" and a
    // "[FRAGMENT SHADER]" section. `cg` asks for the Cg shader types.
    VRShaderProgram(const char* vertex, const char* fragment, bool isSource, bool cg, bool verbose);
    ~VRShaderProgram();
    VRShaderProgram(const VRShaderProgram&) = delete;
    VRShaderProgram& operator=(const VRShaderProgram&) = delete;

    // Whether the context offers GLSL (vertex and fragment shaders and
    // shader objects), geometry shaders, and Cg shaders. The first two set
    // the process-wide flags the other calls test; a missing capability is
    // warned about when asked to.
    static bool CheckShaderSupport(bool report);
    static bool CheckGeometrySupport(bool report);
    static bool CheckCgSupport(bool wanted);

    // The name of a program: "custom_shader_" and the running count of
    // programs built from source strings, or the file names joined by "::".
    void SetName(const char* vertex, const char* fragment, bool isSource);
    const std::string& Name() const { return m_name; }

    // The text of a file: kind 0 its vertex section, 1 its fragment section,
    // 2 the whole file (each up to the first NUL byte). False when the file
    // cannot be read or the section's marker is missing.
    static bool ReadShaderFile(int kind, const char* path, std::string& out);

    // Compiles a shader object from the source; false for no source or a
    // failed compilation.
    static bool CompileShader(uint32_t shader, const char* source);
    // The info log of a GL object ("Object not initialized" for 0, "No
    // error" for an empty log), kept until the next call.
    const char* GetInfoLog(uint32_t object);

    // (Re)links the program with its shaders; the linked flag.
    bool Link();
    bool IsLinked() const { return m_linked; }
    void Start();
    void Stop();

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled) { m_enabled = enabled; }
    uint32_t Handle() const { return m_program; }

    // The location of a uniform, -1 when the program has none of that name.
    int32_t GetUniformLocation(const char* name);
    // The uniform's floats into out (UniformFloatCount of them); -1 and
    // nothing written when the program has no such uniform, else 0.
    int32_t GetUniformValue(const char* name, float* out);
    // How many floats GetUniformValue writes for the uniform: its type's
    // count, 16 for a type outside the table (the most a value holds), 0 for
    // a name that is no active uniform.
    int32_t UniformFloatCount(const char* name);

    int32_t GetUniformCount();
    int32_t GetAttributeCount();
    // The active uniform or attribute at an index: its name, GL type, type
    // text ("" for a type outside the table) and array size. False for an
    // index the program does not have.
    bool GetUniform(int32_t index, std::string& name, int32_t& type, std::string& typeText, int32_t& size);
    bool GetAttribute(int32_t index, std::string& name, int32_t& type, std::string& typeText, int32_t& size);
    int32_t GetAttributeIndex(const char* name);

    // Compiles a geometry shader (text or file), sets its primitive types and
    // output vertex count and relinks; -1 when the context offers no
    // geometry shaders, else 0.
    int32_t AddGeometryShader(const char* text, bool isSource, int32_t verticesOut, int32_t inputType,
                              int32_t outputType, bool verbose);

    // The setters: false when shaders are unavailable, the program is not
    // linked or has no such uniform; true without a GL call when the program
    // is disabled; else the value is sent to the current program.
    bool SetUniform1f(const char* name, float a);
    bool SetUniform2f(const char* name, float a, float b);
    bool SetUniform3f(const char* name, float a, float b, float c);
    bool SetUniform4f(const char* name, float a, float b, float c, float d);
    bool SetUniform1i(const char* name, int32_t a);
    bool SetUniform2i(const char* name, int32_t a, int32_t b);
    bool SetUniform3i(const char* name, int32_t a, int32_t b, int32_t c);
    bool SetUniform4i(const char* name, int32_t a, int32_t b, int32_t c, int32_t d);
    bool SetUniform1fv(const char* name, int32_t count, const float* values);
    bool SetUniform2fv(const char* name, int32_t count, const float* values);
    bool SetUniform3fv(const char* name, int32_t count, const float* values);
    bool SetUniform4fv(const char* name, int32_t count, const float* values);
    bool SetUniformMatrix2(const char* name, int32_t count, bool transpose, const float* values);
    bool SetUniformMatrix3(const char* name, int32_t count, bool transpose, const float* values);
    bool SetUniformMatrix4(const char* name, int32_t count, bool transpose, const float* values);

private:
    void Reset();
    // The location a setter sends to, or -1 when it must not send; `result`
    // is what the setter answers then.
    int32_t SetterLocation(const char* name, bool& result);
    bool BuildTwoPart(const char* vertex, const char* fragment, bool isSource, bool cg);
    bool BuildSections(const char* file, bool cg);
    // Compiles one shader and reports as the compiler answered; `label` is
    // "Vertex", "Fragment" or "Geometry", `origin` the file name or null for
    // a source string.
    bool CompileAndReport(uint32_t shader, const char* source, const char* label, const char* origin);
    void ReportLinkFailure(const char* vertex, const char* fragment, bool isSource);
    bool GetActive(bool uniform, int32_t index, std::string& name, int32_t& type, std::string& typeText,
                   int32_t& size);

    uint32_t m_program = 0, m_vertexShader = 0, m_fragmentShader = 0, m_geometryShader = 0;
    std::string m_infoLog;
    std::string m_name;
    std::map<std::string, int32_t> m_locations;
    bool m_linked = false;
    bool m_enabled = true;
    bool m_verbose = false;
};

// The process-wide cache of programs. Programs belong to it: holders keep
// plain pointers (or a VRShaderProgramRef) and never delete one.
class VRShaderLibrary {
public:
    // The program of a file pair (built once), or a new program from source
    // strings; null when it did not link (nothing is kept then).
    VRShaderProgram* GetProgram(const char* vertex, const char* fragment = nullptr, bool isSource = false,
                                bool cg = false, bool verbose = false);
    // Deletes every program.
    void Clear();
    size_t Count() const { return m_programs.size(); }
    // Counts the Clears: a program fetched before the last one is gone.
    uint32_t Generation() const { return m_generation; }

private:
    std::map<std::string, std::unique_ptr<VRShaderProgram>> m_programs;
    uint32_t m_generation = 0;
};

// The engine's one library; the scene clears it when it goes.
VRShaderLibrary& SharedShaderLibrary();

// A holder's reference to a program of the shared library, which answers
// null once the library has been cleared instead of a deleted program.
class VRShaderProgramRef {
public:
    VRShaderProgramRef() = default;
    explicit VRShaderProgramRef(VRShaderProgram* program)
        : m_program(program), m_generation(SharedShaderLibrary().Generation()) {}
    VRShaderProgram* Get() const {
        return m_program && m_generation == SharedShaderLibrary().Generation() ? m_program : nullptr;
    }
    // Whether it was given a program (which may be gone since).
    bool Held() const { return m_program != nullptr; }

private:
    VRShaderProgram* m_program = nullptr;
    uint32_t m_generation = 0;
};
