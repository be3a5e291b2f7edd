#include "EngineServices.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>

int32_t SilentFlag = 0;
std::atomic<int32_t> LiveObjectCount{0};
int32_t TokenizerBraceDepth = 0;
uint32_t GLExtensionFlags = 0;

namespace {

EngineMessageHandler g_errorHandler = DefaultErrorHandler;
std::string g_baseFolder;
std::string g_moduleFolder;
EngineMessageHandler g_warningHandler = DefaultWarningHandler;

}  // namespace

int ReportMessage(const char* message, const char* detail, EngineMessageHandler handler) {
    std::string text = message ? message : "";
    text += ' ';
    text += detail ? detail : "";
    return handler ? handler(text.c_str()) : 0;
}

int ReportError(const char* message, const char* detail) { return ReportMessage(message, detail, g_errorHandler); }

int ReportWarning(const char* message, const char* detail) {
    return ReportMessage(message, detail, g_warningHandler);
}

int DefaultErrorHandler(const char* text) {
    if (SilentFlag) return 0;
    std::fprintf(stderr, "E R R O R !\n%s\n", text ? text : "");
    std::fflush(stderr);
    std::exit(-1);
}

int DefaultWarningHandler(const char* text) {
    if (SilentFlag) return 0;
    std::fprintf(stderr, "Warning...\n%s\n", text ? text : "");
    return 0;
}

void SetEngineErrorHandler(EngineMessageHandler handler) {
    g_errorHandler = handler ? handler : DefaultErrorHandler;
}

void SetEngineWarningHandler(EngineMessageHandler handler) {
    g_warningHandler = handler ? handler : DefaultWarningHandler;
}

namespace {

const char* SetFolder(std::string& folder, const char* text) {
    folder = text ? text : "";
    return text ? text + std::strlen(text) + 1 : nullptr;
}

}  // namespace

const char* SetBaseDirectory(const char* folder) { return SetFolder(g_baseFolder, folder); }
const char* SetModuleDirectory(const char* folder) { return SetFolder(g_moduleFolder, folder); }
const char* BaseDirectory() { return g_baseFolder.c_str(); }
const char* ModuleDirectory() { return g_moduleFolder.c_str(); }

void IncrementLiveObjects() { ++LiveObjectCount; }
void DecrementLiveObjects() { --LiveObjectCount; }

// --- Tokenizer -------------------------------------------------------------

namespace {

struct TokenizerState {
    char token[kTokenizerTokenSize] = "";
    char line[kTokenizerLineSize] = "";
    char pending = 0;  // a delimiter read together with the previous token
    bool hasPending = false;
    bool inQuotes = false;
};
TokenizerState g_tokenizer;

bool IsDelimiter(int ch) { return ch == ',' || ch == '[' || ch == ']' || ch == '{' || ch == '}'; }

char* SingleCharacterToken(char ch) {
    g_tokenizer.token[0] = ch;
    g_tokenizer.token[1] = 0;
    return g_tokenizer.token;
}

}  // namespace

int TokenizerReset() {
    TokenizerBraceDepth = 0;
    g_tokenizer.hasPending = false;
    g_tokenizer.inQuotes = false;
    return 1;
}

char* TokenizerNextToken(FILE* file, uint8_t splitQuoted) {
    TokenizerState& t = g_tokenizer;
    if (t.hasPending) {
        t.hasPending = false;
        return SingleCharacterToken(t.pending);
    }
    int length = 0;
    auto finish = [&t, &length]() {
        t.token[length] = 0;
        return t.token;
    };
    for (;;) {
        const int ch = file ? std::fgetc(file) : EOF;
        if (ch == EOF) {
            // A quote cannot go on past the end; the last word comes now and
            // the end-of-file token with the next call.
            t.inQuotes = false;
            return length > 0 ? finish() : SingleCharacterToken('\n');
        }
        if (!t.inQuotes && IsDelimiter(ch)) {
            if (ch == '{') ++TokenizerBraceDepth;
            if (ch == '}') --TokenizerBraceDepth;
            if (length == 0) return SingleCharacterToken(char(ch));
            t.pending = char(ch);
            t.hasPending = true;
            return finish();
        }
        if (ch == '"') {
            t.inQuotes = !t.inQuotes;
            if (!t.inQuotes && length > 0) return finish();
            continue;
        }
        const bool separator =
            ch == '\t' || ch == '\r' || ch == '\n' || (ch == ' ' && (!t.inQuotes || splitQuoted));
        if (separator) {
            if (length > 0) return finish();
            continue;
        }
        // Past 255 characters the rest of the word is skipped.
        if (length < kTokenizerTokenSize - 1) t.token[length++] = char(ch);
    }
}

char* TokenizerSkipTo(FILE* file, const char* keyword1, const char* keyword2, const char* keyword3,
                      uint8_t splitQuoted) {
    for (;;) {
        char* token = TokenizerNextToken(file, splitQuoted);
        if (token[0] == '\n') return nullptr;
        for (const char* keyword : {keyword1, keyword2, keyword3})
            if (keyword && std::strcmp(token, keyword) == 0) return token;
    }
}

char* TokenizerReadLine(FILE* file) {
    char* line = g_tokenizer.line;
    int length = 0;
    for (;;) {
        const int ch = file ? std::fgetc(file) : EOF;
        if (ch == EOF || ch == '\r' || ch == '\n') break;
        if (length < kTokenizerLineSize - 1) line[length++] = char(ch);
    }
    line[length] = 0;
    return line;
}

// --- Arrays ----------------------------------------------------------------

namespace {

void* ShrinkArray(void* array, int n, size_t elementSize) {
    if (n <= 0) {
        std::free(array);
        return nullptr;
    }
    void* smaller = std::realloc(array, size_t(n) * elementSize);
    return smaller ? smaller : array;
}

}  // namespace

void* ShrinkArray32(void* array, int n) { return ShrinkArray(array, n, 4); }
void* ShrinkArray16(void* array, int n) { return ShrinkArray(array, n, 2); }

bool ShadersSupported() {
    constexpr uint32_t all = kGLExtVertexShader | kGLExtFragmentShader | kGLExtShaderObjects;
    return (GLExtensionFlags & all) == all;
}

// --- Binary streams --------------------------------------------------------

bool StreamWriteInt(std::ostream& stream, const void* value) {
    uint32_t v;
    std::memcpy(&v, value, 4);
    const char bytes[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return bool(stream.write(bytes, 4));
}

bool StreamReadInt(std::istream& stream, void* value) {
    unsigned char bytes[4];
    if (!stream.read(reinterpret_cast<char*>(bytes), 4)) return false;
    const uint32_t v = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                       uint32_t(bytes[3]) << 24;
    std::memcpy(value, &v, 4);
    return true;
}

bool StreamWriteInts(std::ostream& stream, const void* values, int n) {
    const char* p = static_cast<const char*>(values);
    for (int i = 0; i < n; ++i)
        if (!StreamWriteInt(stream, p + 4 * i)) return false;
    return true;
}

bool StreamReadInts(std::istream& stream, void* values, int n) {
    char* p = static_cast<char*>(values);
    for (int i = 0; i < n; ++i)
        if (!StreamReadInt(stream, p + 4 * i)) return false;
    return true;
}

bool StreamWriteByte(std::ostream& stream, const void* value) {
    return bool(stream.write(static_cast<const char*>(value), 1));
}

bool StreamReadByte(std::istream& stream, void* value) {
    char byte;
    if (!stream.read(&byte, 1)) return false;
    std::memcpy(value, &byte, 1);
    return true;
}

long FileBytesLeft(FILE* file) {
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
    const long end = std::ftell(file);
    std::fseek(file, here, SEEK_SET);
    return end > here ? end - here : 0;
}
