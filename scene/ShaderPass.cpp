#include "ShaderPass.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

#include "platform/MillisecondClock.h"
#include "scene/EngineMath.h"
#include "scene/EngineServices.h"
#include "scene/GLEntryPoints.h"
#include "scene/SharedTextureManager.h"
#include "scene/VRScene.h"

float CurrentModelMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

namespace {

float s_inverseModelMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
bool s_inverseStale = false;
uint64_t s_inversions = 0;

// The timers count from the first pass that uses one.
bool s_timeBaseSet = false;
uint32_t s_timeBase = 0;

// A timer advances when more than this many milliseconds passed since its
// last step.
constexpr float kTimerStep = 10.0f;

struct AutoName {
    const char* name;
    int32_t code;
};

const AutoName kAutoNames[] = {
    {"invMatrixObj", kUniformInvMatrixObj},
    {"invMatrix", kUniformInvMatrix},
    {"cameraPosition", kUniformCameraPosition},
    {"cameraDirection", kUniformCameraDirection},
    {"lightPosition0", 53},
    {"lightPosition1", 55},
    {"lightPosition2", 57},
    {"lightPosition3", 59},
    {"timer0", 61},
    {"timer1", 62},
    {"timer2", 63},
    {"timer3", 64},
    {"timer4", 65},
    {"cameraPosition_obj", kUniformCameraPositionObj},
    {"cameraDirection_obj", kUniformCameraDirectionObj},
    {"lightPosition0_obj", 68},
    {"lightPosition1_obj", 69},
    {"lightPosition2_obj", 70},
    {"lightPosition3_obj", 71},
    {"ModelMatrix", kUniformModelMatrix},
    {"ModelMatrixT", kUniformModelMatrixT},
};

struct StateName {
    const char* name;
    int32_t command;
    int32_t arguments;
};

const StateName kStateNames[] = {
    {"glEnable", kGLStateEnable, 1},
    {"glDisable", kGLStateDisable, 1},
    {"glBlendFunc", kGLStateBlendFunc, 2},
};

const StateName* FindState(const char* name) {
    for (const StateName& s : kStateNames)
        if (name && std::strcmp(s.name, name) == 0) return &s;
    return nullptr;
}

const StateName* FindState(int32_t command) {
    for (const StateName& s : kStateNames)
        if (s.command == command) return &s;
    return nullptr;
}

// The sampler types whose textures a pass binds and unbinds, and their GL
// targets.
GLenum BoundSamplerTarget(uint32_t type) {
    switch (type) {
    case GL_SAMPLER_2D_ARB: return GL_TEXTURE_2D;
    case GL_SAMPLER_3D_ARB: return GL_TEXTURE_3D;
    case GL_SAMPLER_CUBE_ARB: return GL_TEXTURE_CUBE_MAP;
    default: return 0;
    }
}

// A point (x, y, z, 1) in the model's own space; the first three components
// into out.
void ToModelSpace(const float* p, float* out) {
    const float v[4] = {p[0], p[1], p[2], 1.0f};
    float r[4];
    MatrixMultiplyVector4(CurrentModelMatrixInverse(), v, r);
    std::memcpy(out, r, 3 * sizeof(float));
}

// The position and direction of the scene's current camera, and the
// position of light i; zeros without a scene.
void CameraPosition(float* out) {
    float p[4] = {};
    if (g_scene && g_scene->currentCamera) g_scene->currentCamera->GetPosition(p);
    std::memcpy(out, p, 3 * sizeof(float));
}

void CameraDirection(float* out) {
    float d[4] = {};
    if (g_scene && g_scene->currentCamera) g_scene->currentCamera->GetDirection(d);
    std::memcpy(out, d, 3 * sizeof(float));
}

void LightPosition(int i, float* out) {
    for (int k = 0; k < 3; ++k) out[k] = g_scene ? g_scene->lightPositions[i][k] : 0.0f;
}

int32_t Truncated(float v) { return static_cast<int32_t>(v); }

void SendAutomatic(VRShaderProgram& program, ShaderUniformList& list, int32_t rowIndex) {
    const ShaderUniformRow& row = list.Row(rowIndex);
    const char* name = row.name.c_str();
    float v[3];
    switch (row.autoCode) {
    case kUniformInvMatrixObj: program.SetUniformMatrix4(name, 1, false, CurrentModelMatrixInverse()); return;
    case kUniformModelMatrix: program.SetUniformMatrix4(name, 1, false, CurrentModelMatrix); return;
    case kUniformModelMatrixT: program.SetUniformMatrix4(name, 1, true, CurrentModelMatrix); return;
    case kUniformInvMatrix: {
        float m[16];
        glGetFloatv(GL_MODELVIEW_MATRIX, m);
        MatrixInverse4(m, nullptr);  // a singular matrix is sent as it is
        program.SetUniformMatrix4(name, 1, false, m);
        return;
    }
    case kUniformCameraPosition: CameraPosition(v); break;
    case kUniformCameraDirection: CameraDirection(v); break;
    case 53:
    case 55:
    case 57:
    case 59: LightPosition((row.autoCode - 53) / 2, v); break;
    case kUniformCameraPositionObj: CameraPosition(v); ToModelSpace(v, v); break;
    case kUniformCameraDirectionObj: CameraDirection(v); ToModelSpace(v, v); break;
    case 68:
    case 69:
    case 70:
    case 71: LightPosition(row.autoCode - 68, v); ToModelSpace(v, v); break;
    case 61:
    case 62:
    case 63:
    case 64:
    case 65: {
        const int t = row.autoCode - kUniformTimer0;
        const uint32_t now = timeGetTime();
        if (!s_timeBaseSet) {
            s_timeBaseSet = true;
            s_timeBase = now;
        }
        list.UpdateTimer(t, rowIndex, static_cast<float>(now - s_timeBase));
        program.SetUniform1f(name, list.TimerValue(t));
        return;
    }
    default: return;
    }
    program.SetUniform3f(name, v[0], v[1], v[2]);
}

void SendUser(VRShaderProgram& program, const ShaderUniformRow& row) {
    const char* name = row.name.c_str();
    const float* f = row.values.data();
    if (IsSamplerType(row.type)) {
        const int32_t unit = Truncated(f[0]);
        VRTexture* texture = row.hasTexture ? row.texture.Get() : nullptr;
        if (texture && BoundSamplerTarget(row.type)) {
            if (VRTextureManager* manager = SharedTextureManager()) manager->BindTexture(texture, texture->flags, unit);
        }
        program.SetUniform1i(name, unit);
        return;
    }
    if (!row.set) return;
    switch (row.type) {
    case GL_INT:
    case GL_BOOL_ARB: program.SetUniform1i(name, Truncated(f[0])); return;
    case GL_FLOAT: program.SetUniform1f(name, f[0]); return;
    case GL_FLOAT_VEC2_ARB: program.SetUniform2f(name, f[0], f[1]); return;
    case GL_FLOAT_VEC3_ARB: program.SetUniform3f(name, f[0], f[1], f[2]); return;
    case GL_FLOAT_VEC4_ARB: program.SetUniform4f(name, f[0], f[1], f[2], f[3]); return;
    case GL_INT_VEC2_ARB:
    case GL_BOOL_VEC2_ARB: program.SetUniform2i(name, Truncated(f[0]), Truncated(f[1])); return;
    case GL_INT_VEC3_ARB:
    case GL_BOOL_VEC3_ARB: program.SetUniform3i(name, Truncated(f[0]), Truncated(f[1]), Truncated(f[2])); return;
    case GL_INT_VEC4_ARB:
    case GL_BOOL_VEC4_ARB:
        program.SetUniform4i(name, Truncated(f[0]), Truncated(f[1]), Truncated(f[2]), Truncated(f[3]));
        return;
    case GL_FLOAT_MAT2_ARB: program.SetUniformMatrix2(name, 1, false, f); return;
    case GL_FLOAT_MAT3_ARB: program.SetUniformMatrix3(name, 1, false, f); return;
    case GL_FLOAT_MAT4_ARB: program.SetUniformMatrix4(name, 1, false, f); return;
    default: return;  // a type outside the table is not sent
    }
}

}  // namespace

void SetCurrentModelMatrix(const float* m) {
    std::memcpy(CurrentModelMatrix, m, sizeof CurrentModelMatrix);
    s_inverseStale = true;
}

const float* CurrentModelMatrixInverse() {
    if (s_inverseStale) {
        if (MatrixInverse4(CurrentModelMatrix, s_inverseModelMatrix) != 0)
            std::memcpy(s_inverseModelMatrix, CurrentModelMatrix, sizeof s_inverseModelMatrix);
        s_inverseStale = false;
        ++s_inversions;
    }
    return s_inverseModelMatrix;
}

uint64_t ModelMatrixInversions() { return s_inversions; }

int32_t UniformAutoCode(const char* name) {
    for (const AutoName& a : kAutoNames)
        if (name && std::strcmp(a.name, name) == 0) return a.code;
    return kUniformUser;
}

int32_t GLParamArgCount(const char* name) {
    const StateName* s = FindState(name);
    return s ? s->arguments : 0;
}

int32_t GLStateCommandArgCount(int32_t command) {
    const StateName* s = FindState(command);
    return s ? s->arguments : 0;
}

// --- ShaderUniformList -----------------------------------------------------

void ShaderUniformList::AddUniform(const char* name, uint32_t type, const float* values, VRTexture* texture) {
    ShaderUniformRow row;
    row.name = name ? name : "";
    row.type = type;
    row.autoCode = UniformAutoCode(row.name.c_str());
    row.set = row.name.compare(0, 3, "gl_") != 0;
    row.components = UniformTypeComponentCount(type);
    row.values.assign(static_cast<size_t>(row.components), 0.0f);
    if (values) std::memcpy(row.values.data(), values, row.values.size() * sizeof(float));
    row.texture = VRTextureRef(texture);
    row.hasTexture = texture ? 1 : 0;
    m_index[row.name] = m_rows.size();
    m_rows.push_back(std::move(row));
}

const ShaderUniformRow* ShaderUniformList::Find(const char* name) const {
    const auto found = name ? m_index.find(name) : m_index.end();
    return found == m_index.end() ? nullptr : &m_rows[found->second];
}

ShaderUniformRow* ShaderUniformList::Find(const char* name) {
    return const_cast<ShaderUniformRow*>(static_cast<const ShaderUniformList*>(this)->Find(name));
}

bool ShaderUniformList::SetValue(const char* name, const float* values) {
    ShaderUniformRow* row = Find(name);
    if (!row || !values) return false;
    std::memcpy(row->values.data(), values, row->values.size() * sizeof(float));
    row->set = true;
    return true;
}

bool ShaderUniformList::GetValue(const char* name, float* out, std::string& text) const {
    const ShaderUniformRow* row = Find(name);
    if (!row) return false;
    const VRTexture* texture = row->hasTexture ? row->texture.Get() : nullptr;
    if (row->hasTexture) {
        text = texture ? texture->name : "";
        if (out) out[0] = row->values[0];
    } else {
        text.clear();
        if (out) std::memcpy(out, row->values.data(), row->values.size() * sizeof(float));
    }
    return true;
}

bool ShaderUniformList::SetTexture(const char* name, VRTexture* texture) {
    ShaderUniformRow* row = Find(name);
    if (!row) return false;
    row->texture = VRTextureRef(texture);
    row->hasTexture = 1;
    return true;
}

uint32_t ShaderUniformList::GetType(const char* name) const {
    const ShaderUniformRow* row = Find(name);
    return row ? row->type : 0;
}

void ShaderUniformList::UpdateTimer(int t, int32_t row, float elapsed) {
    if (t < 0 || t >= kShaderTimers || row < 0 || row >= Count()) return;
    if (elapsed - m_timerClocks[t] > kTimerStep) {
        m_timerClocks[t] = elapsed;
        m_timerValues[t] += m_rows[static_cast<size_t>(row)].values[0];
    }
}

// --- GLStateList -----------------------------------------------------------

GLStateList::GLStateList() { IncrementLiveObjects(); }
GLStateList::~GLStateList() { DecrementLiveObjects(); }

GLStateList::GLStateList(const GLStateList& other) : m_entries(other.m_entries) { IncrementLiveObjects(); }

void GLStateList::Add(const char* name, const float* arguments) {
    Entry e;
    if (const StateName* s = FindState(name)) {
        e.command = s->command;
        if (arguments) {
            e.first = Truncated(arguments[0]);
            if (s->arguments > 1) e.second = Truncated(arguments[1]);
        }
    }
    m_entries.push_back(e);
}

int GLStateList::Pushes(const Entry& e) {
    switch (e.command) {
    case kGLStateEnable:
    case kGLStateDisable: return e.first == GL_BLEND || e.first == GL_DEPTH_TEST ? 1 : 0;
    case kGLStateBlendFunc: return 1;
    default: return 0;
    }
}

void GLStateList::Apply() const {
    for (const Entry& e : m_entries) {
        switch (e.command) {
        case kGLStateEnable:
        case kGLStateDisable:
            if (e.first == GL_BLEND) glPushAttrib(GL_COLOR_BUFFER_BIT);
            if (e.first == GL_DEPTH_TEST) glPushAttrib(GL_DEPTH_BUFFER_BIT);
            if (e.command == kGLStateEnable)
                glEnable(static_cast<GLenum>(e.first));
            else
                glDisable(static_cast<GLenum>(e.first));
            break;
        case kGLStateBlendFunc:
            glPushAttrib(GL_COLOR_BUFFER_BIT);
            glBlendFunc(static_cast<GLenum>(e.first), static_cast<GLenum>(e.second));
            break;
        default: break;
        }
    }
}

void GLStateList::Restore() const {
    for (const Entry& e : m_entries)
        for (int k = Pushes(e); k > 0; --k) glPopAttrib();
}

std::string GLStateList::ToText() const {
    std::string text;
    for (const Entry& e : m_entries) {
        if (const StateName* s = FindState(e.command)) text += std::string(s->name) + " ";
        text += std::to_string(e.first) + " ";
        if (e.command == kGLStateBlendFunc) text += std::to_string(e.second) + " ";
        text += "\r\n";
    }
    return text;
}

// --- ShaderPassList --------------------------------------------------------

ShaderPassList::ShaderPassList() { IncrementLiveObjects(); }
ShaderPassList::~ShaderPassList() { DecrementLiveObjects(); }

void ShaderPassList::AddPass(VRShaderProgram* program, std::unique_ptr<ShaderUniformList> uniforms,
                             std::unique_ptr<GLStateList> states) {
    m_passes.push_back(ShaderPass{VRShaderProgramRef(program), std::move(uniforms), std::move(states)});
}

ShaderPass* ShaderPassList::Pass(int32_t i) {
    return i >= 0 && i < Count() ? &m_passes[static_cast<size_t>(i)] : nullptr;
}

bool ShaderPassList::ReplacePass(int32_t i, VRShaderProgram* program, std::unique_ptr<ShaderUniformList> uniforms,
                                 std::unique_ptr<GLStateList> states) {
    ShaderPass* pass = Pass(i);
    if (!pass) return false;
    *pass = ShaderPass{VRShaderProgramRef(program), std::move(uniforms), std::move(states)};
    return true;
}

bool ShaderPassList::SetPassTexture(int32_t i, const char* uniform, const char* file, int32_t flags) {
    ShaderPass* pass = Pass(i);
    if (!pass || !pass->uniforms || !IsSamplerType(pass->uniforms->GetType(uniform))) return false;
    VRTextureManager* manager = SharedTextureManager();
    VRTexture* texture = manager && file ? manager->GetTexture(file, 0) : nullptr;
    if (!texture) {
        ReportError("Texture not found:", file);
        return true;
    }
    // These flags are also the ones the pass binds with.
    texture->flags = flags;
    pass->uniforms->SetTexture(uniform, texture);
    return true;
}

GLStateList* ShaderPassList::GetGLStates(int32_t i) const {
    return i >= 0 && i < Count() ? m_passes[static_cast<size_t>(i)].states.get() : nullptr;
}

bool ShaderPassList::SetGLStates(int32_t i, std::unique_ptr<GLStateList> states) {
    ShaderPass* pass = Pass(i);
    if (!pass) return false;
    pass->states = std::move(states);
    return true;
}

// --- Passes ----------------------------------------------------------------

bool ApplyShaderPass(ShaderPass& pass) {
    VRShaderProgram* program = pass.program.Get();
    if (!program) return false;
    if (pass.states) pass.states->Apply();
    program->Start();
    if (ShaderUniformList* list = pass.uniforms.get()) {
        for (int32_t i = 0; i < list->Count(); ++i) {
            if (list->Row(i).autoCode != kUniformUser)
                SendAutomatic(*program, *list, i);
            else
                SendUser(*program, list->Row(i));
        }
    }
    return true;
}

void EndShaderPass(ShaderPass& pass) {
    VRShaderProgram* program = pass.program.Get();
    if (!program) return;
    program->Stop();
    const auto activeTexture = GLEntryPoints.glActiveTextureARB;
    if (const ShaderUniformList* list = pass.uniforms.get()) {
        for (int32_t i = 0; i < list->Count(); ++i) {
            const ShaderUniformRow& row = list->Row(i);
            const GLenum target = BoundSamplerTarget(row.type);
            if (!target) continue;
            if (activeTexture) activeTexture(GL_TEXTURE0 + static_cast<GLenum>(Truncated(row.values[0])));
            glDisable(target);
            glDisable(GL_TEXTURE_GEN_S);
            glDisable(GL_TEXTURE_GEN_T);
            glDisable(GL_TEXTURE_GEN_R);
        }
    }
    if (activeTexture) activeTexture(GL_TEXTURE0);
    if (pass.states) pass.states->Restore();
}

// --- Vertex attributes -----------------------------------------------------

VRVertexAttrib::VRVertexAttrib(const char* name, int32_t components, int32_t position)
    : location(position), components(components), name(name ? name : "") {}

void VRVertexAttrib::Send(const float* value) const {
    const GLuint index = static_cast<GLuint>(location);
    switch (components) {
    case 2: if (GLEntryPoints.glVertexAttrib2fvARB) GLEntryPoints.glVertexAttrib2fvARB(index, value); break;
    case 3: if (GLEntryPoints.glVertexAttrib3fvARB) GLEntryPoints.glVertexAttrib3fvARB(index, value); break;
    case 4: if (GLEntryPoints.glVertexAttrib4fvARB) GLEntryPoints.glVertexAttrib4fvARB(index, value); break;
    default: if (GLEntryPoints.glVertexAttrib1fvARB) GLEntryPoints.glVertexAttrib1fvARB(index, value); break;
    }
}
