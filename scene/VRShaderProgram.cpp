#include "VRShaderProgram.h"

#include <cstring>
#include <cstdint>
#include <vector>

#include "platform/ScriptFile.h"
#include "scene/EngineServices.h"
#include "scene/GLEntryPoints.h"

namespace {

// The Cg shader types of the Cg extension (absent from the GL headers).
// The largest shader source file read.
constexpr uint64_t kMaxShaderFileBytes = uint64_t{4} << 20;
constexpr uint32_t kCgVertexShader = 0x890E;
constexpr uint32_t kCgFragmentShader = 0x890F;

constexpr uint32_t kGLExtCgShader = 0x400;
constexpr uint32_t kGLExtGeometryShader = 0x2000;

const char* const kVertexMarker = "[VERTEX SHADER]";
const char* const kFragmentMarker = "[FRAGMENT SHADER]";
const char* const kUserString = "<user string>";

// The names GL gives active uniforms and attributes are at most this long.
constexpr int kActiveNameSize = 128;

// Known available since the last program was built.
bool s_shadersAvailable = false;
bool s_geometryAvailable = false;
// Programs built from source strings so far.
int s_customPrograms = 0;

struct UniformTypeRow {
    uint32_t type;
    const char* text;
    int32_t components;
};

const UniformTypeRow kUniformTypes[] = {
    {GL_FLOAT, "float", 1},
    {GL_FLOAT_VEC2_ARB, "vec2f", 2},
    {GL_FLOAT_VEC3_ARB, "vec3f", 3},
    {GL_FLOAT_VEC4_ARB, "vec4f", 4},
    {GL_INT, "int", 1},
    {GL_INT_VEC2_ARB, "vec2i", 2},
    {GL_INT_VEC3_ARB, "vec3i", 3},
    {GL_INT_VEC4_ARB, "vec4i", 4},
    {GL_BOOL_ARB, "bool", 1},
    {GL_BOOL_VEC2_ARB, "vec2b", 2},
    {GL_BOOL_VEC3_ARB, "vec3b", 3},
    {GL_BOOL_VEC4_ARB, "vec4b", 4},
    {GL_FLOAT_MAT2_ARB, "mat2f", 4},
    {GL_FLOAT_MAT3_ARB, "mat3f", 9},
    {GL_FLOAT_MAT4_ARB, "mat4f", 16},
    {GL_SAMPLER_1D_ARB, "sampler1D", 1},
    {GL_SAMPLER_2D_ARB, "sampler2D", 1},
    {GL_SAMPLER_3D_ARB, "sampler3D", 1},
    {GL_SAMPLER_CUBE_ARB, "samplerCUBE", 1},
    {GL_SAMPLER_1D_SHADOW_ARB, "sampler1DShadow", 1},
    {GL_SAMPLER_2D_SHADOW_ARB, "sampler2DShadow", 1},
    {GL_SAMPLER_2D_RECT_ARB, "sampler2DRect", 1},
    {GL_SAMPLER_2D_RECT_SHADOW_ARB, "sampler2DRectShadow", 1},
};

const UniformTypeRow* TypeRow(uint32_t type) {
    for (const UniformTypeRow& row : kUniformTypes)
        if (row.type == type) return &row;
    return nullptr;
}

GLEntryPointTable& GL() { return GLEntryPoints; }

}  // namespace

uint32_t UniformTypeFromName(const char* text) {
    if (!text) return 0;
    for (const UniformTypeRow& row : kUniformTypes)
        if (std::strcmp(row.text, text) == 0) return row.type;
    return 0;
}

const char* UniformTypeText(uint32_t type) {
    const UniformTypeRow* row = TypeRow(type);
    return row ? row->text : nullptr;
}

int32_t UniformTypeComponentCount(uint32_t type) {
    const UniformTypeRow* row = TypeRow(type);
    return row ? row->components : 1;
}

bool IsSamplerType(uint32_t type) {
    switch (type) {
    case GL_SAMPLER_1D_ARB:
    case GL_SAMPLER_2D_ARB:
    case GL_SAMPLER_3D_ARB:
    case GL_SAMPLER_CUBE_ARB:
    case GL_SAMPLER_1D_SHADOW_ARB:
    case GL_SAMPLER_2D_SHADOW_ARB:
    case GL_SAMPLER_2D_RECT_ARB:
    case GL_SAMPLER_2D_RECT_SHADOW_ARB:
    case GL_SAMPLER_CUBE_SHADOW_EXT: return true;
    default: return false;
    }
}

// --- VRShaderProgram -------------------------------------------------------

VRShaderProgram::VRShaderProgram(const char* vertex, const char* fragment, bool isSource, bool cg, bool verbose)
    : m_verbose(verbose) {
    IncrementLiveObjects();
    Reset();
    if (!vertex || !CheckShaderSupport(true) || (cg && !CheckCgSupport(true))) return;
    SetName(vertex, fragment, isSource);
    m_program = GL().glCreateProgramObjectARB();

    if (fragment) {
        if (!BuildTwoPart(vertex, fragment, isSource, cg)) return;
    } else if (isSource) {
        ReportWarning("Vertex\tand\tfragment shaders in\ta single string\tare\tnot\tsupported", nullptr);
    } else if (!BuildSections(vertex, cg)) {
        return;
    }

    if (Link()) {
        if (m_verbose) ReportWarning("Done.\n", nullptr);
    } else {
        ReportLinkFailure(vertex, fragment, isSource);
    }
}

VRShaderProgram::~VRShaderProgram() {
    // The objects go with their program; a context that never offered shader
    // objects has none to delete.
    if (GL().glDeleteObjectARB && m_program) {
        for (uint32_t shader : {m_vertexShader, m_fragmentShader, m_geometryShader}) {
            if (!shader) continue;
            GL().glDetachObjectARB(m_program, shader);
            GL().glDeleteObjectARB(shader);
        }
        GL().glDeleteObjectARB(m_program);
    }
    m_locations.clear();
    DecrementLiveObjects();
}

void VRShaderProgram::Reset() {
    m_program = m_vertexShader = m_fragmentShader = m_geometryShader = 0;
    m_infoLog.clear();
    m_name.clear();
    m_linked = false;
    m_enabled = true;
    s_shadersAvailable = false;
    s_geometryAvailable = false;
}

bool VRShaderProgram::CheckShaderSupport(bool report) {
    const uint32_t needed = kGLExtVertexShader | kGLExtFragmentShader | kGLExtShaderObjects;
    s_shadersAvailable = (GLExtensionFlags & needed) == needed && GL().glCreateProgramObjectARB;
    if (!s_shadersAvailable && report)
        ReportWarning("\nProgrammable\tshaders\t(GLSL) are not supported by\tyour video driver.\n", nullptr);
    return s_shadersAvailable;
}

bool VRShaderProgram::CheckGeometrySupport(bool report) {
    s_geometryAvailable = (GLExtensionFlags & kGLExtGeometryShader) != 0 && GL().glProgramParameteriEXT;
    if (!s_geometryAvailable && report)
        ReportWarning("\nGeometry\tshaders\t(GLSL) are not supported by\tyour video driver.\n", nullptr);
    return s_geometryAvailable;
}

bool VRShaderProgram::CheckCgSupport(bool wanted) {
    const bool available = (GLExtensionFlags & kGLExtCgShader) != 0;
    if (!available && wanted)
        ReportWarning("\nCg shaders through OpenGL are not supported by your video driver.\n", nullptr);
    return available;
}

void VRShaderProgram::SetName(const char* vertex, const char* fragment, bool isSource) {
    if (isSource) {
        m_name = "custom_shader_" + std::to_string(++s_customPrograms);
        return;
    }
    m_name = vertex ? vertex : "";
    if (fragment) m_name += std::string("::") + fragment;
}

bool VRShaderProgram::ReadShaderFile(int kind, const char* path, std::string& out) {
    if (!path) return false;
    ScriptFile file = ScriptFile::Open(path, kMaxShaderFileBytes);
    if (!file.IsOpen() && file.GetStatus() != ScriptFile::NotFound)
        ReportWarning("VRShaderProgram : Shader file refused:", file.Reason().c_str());
    std::string text;
    if (!file.IsOpen() || !file.ReadAll(text)) return false;
    text.resize(std::strlen(text.c_str()));  // up to the first NUL byte
    if (kind == 2) {
        out = std::move(text);
        return true;
    }
    const char* own = kind == 0 ? kVertexMarker : kFragmentMarker;
    const char* other = kind == 0 ? kFragmentMarker : kVertexMarker;
    const size_t ownAt = text.find(own);
    if (ownAt == std::string::npos) return false;
    const size_t otherAt = text.find(other);
    if (otherAt != std::string::npos && otherAt > ownAt) text.resize(otherAt);
    out = text.substr(ownAt + std::strlen(own));
    return true;
}

bool VRShaderProgram::CompileShader(uint32_t shader, const char* source) {
    if (!source || !GL().glShaderSourceARB) return false;
    const GLcharARB* text = source;
    const GLint length = static_cast<GLint>(std::strlen(source));
    GL().glShaderSourceARB(shader, 1, &text, &length);
    GL().glCompileShaderARB(shader);
    GLint compiled = 0;
    GL().glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &compiled);
    return compiled != 0;
}

const char* VRShaderProgram::GetInfoLog(uint32_t object) {
    if (object == 0) return "Object not initialized";
    if (!GL().glGetObjectParameterivARB) return "No error";
    GLint length = 0;
    GL().glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    if (length <= 1) return "No error";
    std::vector<GLcharARB> buffer(static_cast<size_t>(length) + 1, '\0');
    GL().glGetInfoLogARB(object, length, nullptr, buffer.data());
    m_infoLog = buffer.data();
    return m_infoLog.c_str();
}

bool VRShaderProgram::CompileAndReport(uint32_t shader, const char* source, const char* label, const char* origin) {
    const bool compiled = CompileShader(shader, source);
    if (!compiled || m_verbose) {
        ReportWarning((std::string(label) + " shader compilation report:").c_str(), origin ? origin : kUserString);
        ReportWarning("\n", GetInfoLog(shader));
    }
    return compiled;
}

bool VRShaderProgram::BuildTwoPart(const char* vertex, const char* fragment, bool isSource, bool cg) {
    m_vertexShader = GL().glCreateShaderObjectARB(cg ? kCgVertexShader : GL_VERTEX_SHADER_ARB);
    m_fragmentShader = GL().glCreateShaderObjectARB(cg ? kCgFragmentShader : GL_FRAGMENT_SHADER_ARB);
    std::string vertexText, fragmentText;
    const bool haveVertex = isSource ? (vertexText = vertex, true) : ReadShaderFile(2, vertex, vertexText);
    const bool haveFragment = isSource ? (fragmentText = fragment, true) : ReadShaderFile(2, fragment, fragmentText);

    if (m_verbose) ReportWarning("\nCompiling vertex\tshader...\n", nullptr);
    const bool vertexOk = CompileAndReport(m_vertexShader, haveVertex ? vertexText.c_str() : nullptr, "Vertex",
                                           isSource ? nullptr : vertex);
    if (m_verbose) ReportWarning("\nCompiling fragment shader...\n", nullptr);
    const bool fragmentOk = CompileAndReport(m_fragmentShader, haveFragment ? fragmentText.c_str() : nullptr,
                                             "Fragment", isSource ? nullptr : fragment);
    if (vertexOk && fragmentOk) return true;
    ReportError("Shader compilation aborted.\n", nullptr);
    return false;
}

bool VRShaderProgram::BuildSections(const char* file, bool cg) {
    std::string vertexText, fragmentText;
    const bool haveVertex = ReadShaderFile(0, file, vertexText);
    const bool haveFragment = ReadShaderFile(1, file, fragmentText);
    bool compiled = true;  // an absent section counts as compiled
    if (haveVertex) {
        m_vertexShader = GL().glCreateShaderObjectARB(cg ? kCgVertexShader : GL_VERTEX_SHADER_ARB);
        if (m_verbose) ReportWarning("Compiling vertex shader...\n", nullptr);
        compiled = CompileAndReport(m_vertexShader, vertexText.c_str(), "Vertex", file);
    }
    if (haveFragment) {
        m_fragmentShader = GL().glCreateShaderObjectARB(cg ? kCgFragmentShader : GL_FRAGMENT_SHADER_ARB);
        if (m_verbose) ReportWarning("Compiling fragment\tshader...\n", nullptr);
        compiled = CompileAndReport(m_fragmentShader, fragmentText.c_str(), "Fragment", file) && compiled;
    }
    if (!haveVertex && !haveFragment) {
        m_linked = false;
        ReportError(file, nullptr);
        ReportError(": shader not found.\n", nullptr);
        return false;
    }
    if (compiled) return true;
    ReportError("Shader compilation aborted.\n", nullptr);
    return false;
}

void VRShaderProgram::ReportLinkFailure(const char* vertex, const char* fragment, bool isSource) {
    ReportError("Problem in linking shaders: ", nullptr);
    if (!isSource) {
        ReportError(vertex, nullptr);
        if (fragment) ReportError(", ", fragment);
    }
    ReportError("\n", GetInfoLog(m_program));
}

bool VRShaderProgram::Link() {
    if (!s_shadersAvailable || !m_program) return false;
    const uint32_t shaders[] = {m_vertexShader, m_fragmentShader, m_geometryShader};
    if (m_linked) {
        for (uint32_t shader : shaders)
            if (shader) GL().glDetachObjectARB(m_program, shader);
        m_linked = false;
    }
    for (uint32_t shader : shaders)
        if (shader) GL().glAttachObjectARB(m_program, shader);
    GL().glLinkProgramARB(m_program);
    GLint linked = 0;
    GL().glGetObjectParameterivARB(m_program, GL_OBJECT_LINK_STATUS_ARB, &linked);
    m_linked = linked != 0;
    // Relinking may move every uniform.
    m_locations.clear();
    return m_linked;
}

void VRShaderProgram::Start() {
    if (s_shadersAvailable && m_program && m_enabled && m_linked) GL().glUseProgramObjectARB(m_program);
}

void VRShaderProgram::Stop() {
    if (s_shadersAvailable) GL().glUseProgramObjectARB(0);
}

int32_t VRShaderProgram::GetUniformLocation(const char* name) {
    if (!name) return -1;
    const auto found = m_locations.find(name);
    if (found != m_locations.end()) return found->second;
    const int32_t location =
        m_linked && GL().glGetUniformLocationARB ? GL().glGetUniformLocationARB(m_program, name) : -1;
    if (location != -1) {
        m_locations.emplace(name, location);
    } else if (m_verbose) {
        ReportWarning("Uniform variable is not present in shader: ", nullptr);
        ReportWarning(name, nullptr);
        ReportWarning("\n", nullptr);
    }
    return location;
}

int32_t VRShaderProgram::GetUniformValue(const char* name, float* out) {
    const int32_t location = GetUniformLocation(name);
    if (location == -1 || !out) return -1;
    GL().glGetUniformfvARB(m_program, location, out);
    return 0;
}

int32_t VRShaderProgram::UniformFloatCount(const char* name) {
    if (!name || !m_linked) return 0;
    // An element of an array ("a[2]") has the type of the array ("a" or "a[0]").
    std::string base = name;
    const size_t bracket = base.find('[');
    if (bracket != std::string::npos) base.resize(bracket);
    const int32_t n = GetUniformCount();
    for (int32_t i = 0; i < n; ++i) {
        std::string active, text;
        int32_t type = 0, size = 0;
        if (!GetUniform(i, active, type, text, size)) continue;
        if (active == name || active == base || active == base + "[0]")
            return UniformTypeText(static_cast<uint32_t>(type)) ? UniformTypeComponentCount(static_cast<uint32_t>(type))
                                                                : 16;
    }
    return 0;
}

int32_t VRShaderProgram::GetUniformCount() {
    if (!m_program || !GL().glGetObjectParameterivARB) return 0;
    GLint n = 0;
    GL().glGetObjectParameterivARB(m_program, GL_OBJECT_ACTIVE_UNIFORMS_ARB, &n);
    return n;
}

int32_t VRShaderProgram::GetAttributeCount() {
    if (!m_program || !GL().glGetObjectParameterivARB) return 0;
    GLint n = 0;
    GL().glGetObjectParameterivARB(m_program, GL_OBJECT_ACTIVE_ATTRIBUTES_ARB, &n);
    return n;
}

bool VRShaderProgram::GetActive(bool uniform, int32_t index, std::string& name, int32_t& type,
                                std::string& typeText, int32_t& size) {
    const int32_t count = uniform ? GetUniformCount() : GetAttributeCount();
    if (index < 0 || index >= count) return false;
    GLcharARB buffer[kActiveNameSize] = {};
    GLint glSize = 0;
    GLenum glType = 0;
    if (uniform)
        GL().glGetActiveUniformARB(m_program, static_cast<GLuint>(index), kActiveNameSize, nullptr, &glSize, &glType,
                                   buffer);
    else
        GL().glGetActiveAttribARB(m_program, static_cast<GLuint>(index), kActiveNameSize, nullptr, &glSize, &glType,
                                  buffer);
    name = buffer;
    type = static_cast<int32_t>(glType);
    size = glSize;
    const char* text = UniformTypeText(glType);
    typeText = text ? text : "";
    return true;
}

bool VRShaderProgram::GetUniform(int32_t index, std::string& name, int32_t& type, std::string& typeText,
                                 int32_t& size) {
    return GetActive(true, index, name, type, typeText, size);
}

bool VRShaderProgram::GetAttribute(int32_t index, std::string& name, int32_t& type, std::string& typeText,
                                   int32_t& size) {
    return GetActive(false, index, name, type, typeText, size);
}

int32_t VRShaderProgram::GetAttributeIndex(const char* name) {
    if (!name || !m_linked || !GL().glGetAttribLocationARB) return -1;
    return GL().glGetAttribLocationARB(m_program, name);
}

int32_t VRShaderProgram::AddGeometryShader(const char* text, bool isSource, int32_t verticesOut, int32_t inputType,
                                           int32_t outputType, bool verbose) {
    if (!CheckGeometrySupport(true) || !m_program) return -1;
    if (m_geometryShader) {
        if (m_linked) GL().glDetachObjectARB(m_program, m_geometryShader);
        GL().glDeleteObjectARB(m_geometryShader);
    }
    m_geometryShader = GL().glCreateShaderObjectARB(GL_GEOMETRY_SHADER_EXT);
    std::string source;
    const bool haveSource = isSource ? (source = text ? text : "", text != nullptr) : ReadShaderFile(2, text, source);

    const bool wasVerbose = m_verbose;
    m_verbose = verbose;
    if (verbose) ReportWarning("\nCompiling geometry shader...\n", nullptr);
    CompileAndReport(m_geometryShader, haveSource ? source.c_str() : nullptr, "Geometry", isSource ? nullptr : text);
    m_verbose = wasVerbose;

    GL().glProgramParameteriEXT(m_program, GL_GEOMETRY_INPUT_TYPE_EXT, inputType);
    GL().glProgramParameteriEXT(m_program, GL_GEOMETRY_OUTPUT_TYPE_EXT, outputType);
    GL().glProgramParameteriEXT(m_program, GL_GEOMETRY_VERTICES_OUT_EXT, verticesOut);
    if (Link()) {
        if (verbose) ReportWarning("Done.\n", nullptr);
    } else {
        ReportError("Problem in linking shaders: ", nullptr);
        if (!isSource) ReportError(text, nullptr);
        ReportError("\n", GetInfoLog(m_program));
    }
    return 0;
}

int32_t VRShaderProgram::SetterLocation(const char* name, bool& result) {
    result = false;
    if (!s_shadersAvailable || !m_linked) return -1;
    if (!m_enabled) {
        result = true;
        return -1;
    }
    const int32_t location = GetUniformLocation(name);
    result = location != -1;
    return location;
}

// Each setter sends when SetterLocation finds where to.
#define QEM_SHADER_SETTER(signature, call)           \
    bool VRShaderProgram::signature {                \
        bool result;                                 \
        const int32_t location = SetterLocation(name, result); \
        if (location != -1) GL().call;               \
        return result;                               \
    }

QEM_SHADER_SETTER(SetUniform1f(const char* name, float a), glUniform1fARB(location, a))
QEM_SHADER_SETTER(SetUniform2f(const char* name, float a, float b), glUniform2fARB(location, a, b))
QEM_SHADER_SETTER(SetUniform3f(const char* name, float a, float b, float c), glUniform3fARB(location, a, b, c))
QEM_SHADER_SETTER(SetUniform4f(const char* name, float a, float b, float c, float d),
                  glUniform4fARB(location, a, b, c, d))
QEM_SHADER_SETTER(SetUniform1i(const char* name, int32_t a), glUniform1iARB(location, a))
QEM_SHADER_SETTER(SetUniform2i(const char* name, int32_t a, int32_t b), glUniform2iARB(location, a, b))
QEM_SHADER_SETTER(SetUniform3i(const char* name, int32_t a, int32_t b, int32_t c),
                  glUniform3iARB(location, a, b, c))
QEM_SHADER_SETTER(SetUniform4i(const char* name, int32_t a, int32_t b, int32_t c, int32_t d),
                  glUniform4iARB(location, a, b, c, d))
QEM_SHADER_SETTER(SetUniform1fv(const char* name, int32_t count, const float* v), glUniform1fvARB(location, count, v))
QEM_SHADER_SETTER(SetUniform2fv(const char* name, int32_t count, const float* v), glUniform2fvARB(location, count, v))
QEM_SHADER_SETTER(SetUniform3fv(const char* name, int32_t count, const float* v), glUniform3fvARB(location, count, v))
QEM_SHADER_SETTER(SetUniform4fv(const char* name, int32_t count, const float* v), glUniform4fvARB(location, count, v))
QEM_SHADER_SETTER(SetUniformMatrix2(const char* name, int32_t count, bool transpose, const float* v),
                  glUniformMatrix2fvARB(location, count, transpose, v))
QEM_SHADER_SETTER(SetUniformMatrix3(const char* name, int32_t count, bool transpose, const float* v),
                  glUniformMatrix3fvARB(location, count, transpose, v))
QEM_SHADER_SETTER(SetUniformMatrix4(const char* name, int32_t count, bool transpose, const float* v),
                  glUniformMatrix4fvARB(location, count, transpose, v))

#undef QEM_SHADER_SETTER

// --- VRShaderLibrary -------------------------------------------------------

VRShaderProgram* VRShaderLibrary::GetProgram(const char* vertex, const char* fragment, bool isSource, bool cg,
                                             bool verbose) {
    if (!vertex) return nullptr;
    std::string key;
    if (!isSource) {
        key = vertex;
        if (fragment) key += std::string("::") + fragment;
        const auto found = m_programs.find(key);
        if (found != m_programs.end()) return found->second.get();
    }
    auto program = std::make_unique<VRShaderProgram>(vertex, fragment, isSource, cg, verbose);
    if (!program->IsLinked()) return nullptr;
    // A custom program's name is its own.
    if (isSource) key = program->Name();
    VRShaderProgram* p = program.get();
    m_programs[key] = std::move(program);
    return p;
}

void VRShaderLibrary::Clear() {
    m_programs.clear();
    ++m_generation;
}

VRShaderLibrary& SharedShaderLibrary() {
    // Never destroyed: programs still in it at the process's end would be
    // deleted after their GL context.
    static VRShaderLibrary* const library = new VRShaderLibrary();
    return *library;
}
