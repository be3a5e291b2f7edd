// Multi-pass shading of meshes and characters: a list of passes, each a GLSL
// program of the shader library with its own table of uniform values and its
// own list of GL state commands; starting and ending a pass around the
// drawing of geometry, with the automatic uniforms (camera, lights,
// matrices, timers) computed at that moment; and the vertex-attribute entry
// meshes feed generic attributes through.
//
// Everything runs on the thread that owns the GL context; the current model
// matrix, its cached inverse and the timers' time base are unguarded
// globals.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scene/VRShaderProgram.h"
#include "scene/VRTextureManager.h"

// The world matrix of the node whose mesh is being drawn (column-major).
// Writers go through SetCurrentModelMatrix, which marks the cached inverse
// stale; the inverse is computed at most once per change, when a pass needs
// it.
extern float CurrentModelMatrix[16];
void SetCurrentModelMatrix(const float* m);
// The inverse of CurrentModelMatrix (the matrix itself when singular).
const float* CurrentModelMatrixInverse();
// How many times the inverse has been computed, for those who check that it
// is not computed again for an unchanged matrix.
uint64_t ModelMatrixInversions();

// The automatic uniforms, recognised by name when a row is added.
enum UniformAutoCodeValue : int32_t {
    kUniformUser = 0,
    kUniformInvMatrixObj = 49,
    kUniformInvMatrix = 50,
    kUniformCameraPosition = 51,
    kUniformCameraDirection = 52,
    kUniformLightPosition0 = 53,  // 53, 55, 57, 59 for lights 0 to 3
    kUniformTimer0 = 61,          // 61 to 65 for timers 0 to 4
    kUniformCameraPositionObj = 66,
    kUniformCameraDirectionObj = 67,
    kUniformLightPosition0Obj = 68,  // 68 to 71 for lights 0 to 3
    kUniformModelMatrix = 72,
    kUniformModelMatrixT = 73,
};
// The automatic code of a uniform name (exact, case-sensitive); 0 for a
// user uniform.
int32_t UniformAutoCode(const char* name);

// The state commands of a pass.
enum GLStateCommand : int32_t { kGLStateNone = 0, kGLStateEnable = 1, kGLStateDisable = 2, kGLStateBlendFunc = 3 };
// The arguments a command takes by name ("glEnable", "glDisable": 1,
// "glBlendFunc": 2, other: 0) and by code.
int32_t GLParamArgCount(const char* name);
int32_t GLStateCommandArgCount(int32_t command);

constexpr int kShaderTimers = 5;

struct ShaderUniformRow {
    std::string name;
    uint32_t type = 0;
    int32_t autoCode = 0;
    bool set = false;  // user values are sent only once set
    int32_t components = 1;
    std::vector<float> values;  // for samplers, value 0 is the texture unit
    VRTextureRef texture;
    int32_t hasTexture = 0;
};

class ShaderUniformList {
public:
    ShaderUniformList() = default;

    // Appends a row: set unless the name begins with "gl_" (a built-in
    // uniform waits for SetValue), the automatic code from the name, the
    // first component-count floats of values (zeros for none). A repeated
    // name then names the new row.
    void AddUniform(const char* name, uint32_t type, const float* values, VRTexture* texture);
    // Copies the row's count of floats in and marks it set; false for an
    // unknown name.
    bool SetValue(const char* name, const float* values);
    // The row's values (count floats) and "" into text, or for a row with a
    // texture its unit into out[0] and the texture's name into text; false
    // for an unknown name.
    bool GetValue(const char* name, float* out, std::string& text) const;
    bool SetTexture(const char* name, VRTexture* texture);
    // The GL type of the named row; 0 for an unknown name.
    uint32_t GetType(const char* name) const;

    int32_t Count() const { return static_cast<int32_t>(m_rows.size()); }
    const ShaderUniformRow& Row(int32_t i) const { return m_rows.at(static_cast<size_t>(i)); }

    // Advances timer t by the row's value 0 when more than 10 ms passed
    // since its last step.
    void UpdateTimer(int t, int32_t row, float elapsed);
    float TimerValue(int t) const { return m_timerValues[t]; }

private:
    const ShaderUniformRow* Find(const char* name) const;
    ShaderUniformRow* Find(const char* name);

    std::vector<ShaderUniformRow> m_rows;
    std::map<std::string, size_t> m_index;
    float m_timerClocks[kShaderTimers] = {};
    float m_timerValues[kShaderTimers] = {};
};

class GLStateList {
public:
    struct Entry {
        int32_t command = kGLStateNone;
        int32_t first = 0;
        int32_t second = 0;
    };

    GLStateList();
    ~GLStateList();
    // A copy of the commands (a pass copied into another mesh).
    GLStateList(const GLStateList& other);
    GLStateList& operator=(const GLStateList&) = delete;

    // Appends a command by name, arguments truncated; an unknown name
    // appends a command that does nothing.
    void Add(const char* name, const float* arguments);
    void Destroy() { m_entries.clear(); }
    int32_t Count() const { return static_cast<int32_t>(m_entries.size()); }
    const Entry& At(int32_t i) const { return m_entries.at(static_cast<size_t>(i)); }

    // Applies the commands in order, pushing the attribute group first for
    // blending and depth testing; Restore pops what Apply pushed.
    // Capabilities other than those two are not restored.
    void Apply() const;
    void Restore() const;
    // One line per command: its name, each argument and a blank, "\r\n".
    std::string ToText() const;

private:
    // How many attribute groups Apply pushes for an entry.
    static int Pushes(const Entry& e);

    std::vector<Entry> m_entries;
};

// A pass: a program of the library (never the pass's to delete), and its
// own uniform table and state list (either may be absent).
struct ShaderPass {
    VRShaderProgramRef program;
    std::unique_ptr<ShaderUniformList> uniforms;
    std::unique_ptr<GLStateList> states;
};

class ShaderPassList {
public:
    ShaderPassList();
    ~ShaderPassList();
    ShaderPassList(const ShaderPassList&) = delete;
    ShaderPassList& operator=(const ShaderPassList&) = delete;

    void AddPass(VRShaderProgram* program, std::unique_ptr<ShaderUniformList> uniforms,
                 std::unique_ptr<GLStateList> states);
    // Replaces pass i's three parts; the old program is left to the library.
    // False for an index out of range.
    bool ReplacePass(int32_t i, VRShaderProgram* program, std::unique_ptr<ShaderUniformList> uniforms,
                     std::unique_ptr<GLStateList> states);
    // Attaches the texture file to a sampler uniform of pass i: false when the
    // pass or the uniform is not there or the uniform is no sampler; true
    // otherwise, also when the texture could not be loaded (reported as the
    // error "Texture not found:" with the file name).
    bool SetPassTexture(int32_t i, const char* uniform, const char* file, int32_t flags);
    // Pass i's state list (null: none or no such pass); SetGLStates replaces
    // it (false for no such pass).
    GLStateList* GetGLStates(int32_t i) const;
    bool SetGLStates(int32_t i, std::unique_ptr<GLStateList> states);

    int32_t Count() const { return static_cast<int32_t>(m_passes.size()); }
    ShaderPass* Pass(int32_t i);

private:
    std::vector<ShaderPass> m_passes;
};

// Starts a pass: its states, its program, every uniform; false when the pass
// has no program.
bool ApplyShaderPass(ShaderPass& pass);
// Ends it: stops the program, turns the sampler units' texturing off,
// selects unit 0 and restores the states.
void EndShaderPass(ShaderPass& pass);

// An entry of a mesh's vertex-attribute set: a generic attribute of 1 to 4
// floats.
struct VRVertexAttrib {
    // location starts as the entry's 1-based position in its set and is
    // later the location found in the program.
    VRVertexAttrib(const char* name, int32_t components, int32_t position);
    // Sends one vertex's value with glVertexAttrib{2,3,4}fvARB by the
    // component count (the 1-component form for any other count).
    void Send(const float* value) const;

    int32_t location;
    int32_t components;
    std::string name;
};
