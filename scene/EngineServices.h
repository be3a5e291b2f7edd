// Services every engine-library class uses: the error and warning channel
// with its two replaceable handlers, the live-object counter, the text
// tokenizer of the engine's text formats (camera, model and settings files),
// the base and module folders, the resizing of mesh arrays, the shader
// capability test and the binary stream functions of object dumps.
//
// Process-wide state used from the GLUT thread only (the live-object counter
// excepted): in particular one tokenizer for the whole process, so only one
// file can be tokenised at a time.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <new>
#include <utility>

// A handler receives the whole text of one message.
typedef int (*EngineMessageHandler)(const char* text);

// Non-zero silences the default handlers.
extern int32_t SilentFlag;

// Joins message and detail with one blank (a null part counts as empty) and
// passes the text to the handler.
int ReportMessage(const char* message, const char* detail, EngineMessageHandler handler);
int ReportError(const char* message, const char* detail);
int ReportWarning(const char* message, const char* detail);

// The defaults: the error handler writes "E R R O R !" and the text to
// standard error and ends the process with -1; the warning handler writes
// "Warning..." and the text. Both stay quiet with SilentFlag set (the error
// handler then does not end the process either).
int DefaultErrorHandler(const char* text);
int DefaultWarningHandler(const char* text);

// Replace the handlers (null restores the default).
void SetEngineErrorHandler(EngineMessageHandler handler);
void SetEngineWarningHandler(EngineMessageHandler handler);

// The folder put before relative file names by the loaders and the texture
// manager (no separator added), and the folder model plug-ins are loaded
// from. Any length; a null folder counts as empty. The setters return the
// address just past the terminator of the text they were given (null for a
// null text), for readers that walk a block of consecutive texts.
const char* SetBaseDirectory(const char* folder);
const char* SetModuleDirectory(const char* folder);
const char* BaseDirectory();
const char* ModuleDirectory();

// --- Live-object counter ---------------------------------------------------

// Number of live engine objects: constructors of the counted engine classes
// increment it, their destructors decrement it.
extern std::atomic<int32_t> LiveObjectCount;
void IncrementLiveObjects();
void DecrementLiveObjects();

// --- Tokenizer -------------------------------------------------------------

// The token buffer holds at most 255 characters and a terminator, the line
// buffer 254 and a terminator.
constexpr int kTokenizerTokenSize = 256;
constexpr int kTokenizerLineSize = 255;

// +1 for each "{" and -1 for each "}" read outside quotes. The model loaders
// read it to follow the nesting of blocks; a reader may set it to 0 before
// it starts.
extern int32_t TokenizerBraceDepth;

// Starts the tokenizer afresh: brace depth 0, no delimiter pending, outside
// quotes. Returns 1.
int TokenizerReset();

// The next token of an open text file, in the tokenizer's one buffer (valid,
// and overwritten, until the next call), which is returned:
// - blanks, tabs, CR and LF separate tokens and are consumed; tabs, CR and
//   LF also inside quotes, blanks there only when splitQuoted is non-zero;
// - ",", "[", "]", "{" and "}" outside quotes are tokens of their own; one
//   that ends a word is handed back by the next call;
// - double quotes group and are not stored; an empty pair gives no token;
// - a word longer than 255 characters is cut at 255 and its rest skipped;
// - the last word of a file is returned even without a separator after it;
//   then, at the end of the file (or for a null file), the token is "\n".
//   No other token starts with a line feed.
char* TokenizerNextToken(FILE* file, uint8_t splitQuoted);

// Reads tokens until one equals keyword1, keyword2 or keyword3 (exact and
// case-sensitive; null keywords match nothing) and returns the buffer
// holding it, or null at the end of the file. Tokens before it are consumed.
char* TokenizerSkipTo(FILE* file, const char* keyword1, const char* keyword2, const char* keyword3,
                      uint8_t splitQuoted);

// The characters up to the next CR or LF (which is consumed, not stored) or
// the end of the file, in the tokenizer's line buffer, which is returned. A
// longer line is cut at 254 characters and its rest skipped. A CR LF pair
// ends one line and then gives an empty one.
char* TokenizerReadLine(FILE* file);

// Bytes between the position of an open file and its end (0 when that
// cannot be told): the most that counts read from the file can describe.
long FileBytesLeft(FILE* file);

// --- Arrays ----------------------------------------------------------------

// A malloc'ed array of exactly n 4-byte (2-byte) elements holding the first
// n elements of `array` (malloc'ed, at least n elements), which is given up.
// n <= 0 frees the array and returns null. Should the smaller block not be
// had, the old one is returned as it is.
void* ShrinkArray32(void* array, int n);
void* ShrinkArray16(void* array, int n);

// Count-prefixed arrays of records: the record count sits in front of the
// first record, as the mesh code keeps its material and group arrays.
// Records are value-initialised on creation and destroyed (their destructor
// releases what they own) on deletion.
namespace counted_array_detail {
template <class Record>
constexpr size_t HeaderSize() {
    return alignof(Record) > sizeof(size_t) ? alignof(Record) : sizeof(size_t);
}
template <class Record>
size_t* Header(Record* records) {
    return reinterpret_cast<size_t*>(reinterpret_cast<char*>(records) - HeaderSize<Record>());
}
}  // namespace counted_array_detail

// n records, or null for n <= 0.
template <class Record>
Record* NewCountedArray(int n) {
    static_assert(alignof(Record) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "over-aligned record");
    constexpr size_t header = counted_array_detail::HeaderSize<Record>();
    if (n <= 0) return nullptr;
    if (size_t(n) > (SIZE_MAX - header) / sizeof(Record)) throw std::bad_array_new_length();
    char* raw = static_cast<char*>(::operator new(header + size_t(n) * sizeof(Record)));
    Record* records = reinterpret_cast<Record*>(raw + header);
    int built = 0;
    try {
        for (; built < n; ++built) new (records + built) Record();
    } catch (...) {
        while (built > 0) records[--built].~Record();
        ::operator delete(raw);
        throw;
    }
    *reinterpret_cast<size_t*>(raw) = size_t(n);
    return records;
}

// The record count of a counted array (0 for null).
template <class Record>
int CountedArrayCount(const Record* records) {
    return records ? int(*counted_array_detail::Header(const_cast<Record*>(records))) : 0;
}

// Destroys every record and frees the array; null is allowed.
template <class Record>
void DeleteCountedArray(Record* records) {
    if (!records) return;
    size_t* header = counted_array_detail::Header(records);
    for (size_t i = *header; i > 0; --i) records[i - 1].~Record();
    ::operator delete(header);
}

// n <= 0 deletes the array and returns null. Otherwise a new array of n
// records; the first n records of the old one (as many as it has) are moved
// in, so the new records own the buffers the old ones gave up; the old array
// is deleted.
template <class Record>
Record* ResizeCountedArray(Record* records, int n) {
    if (n <= 0) {
        DeleteCountedArray(records);
        return nullptr;
    }
    Record* fresh = NewCountedArray<Record>(n);
    const int kept = std::min(n, CountedArrayCount(records));
    for (int i = 0; i < kept; ++i) fresh[i] = std::move(records[i]);
    DeleteCountedArray(records);
    return fresh;
}

// The material and group arrays of the meshes: counted arrays of material
// records and of mesh group records.
template <class Material>
Material* ResizeMaterialArray(Material* materials, int n) {
    return ResizeCountedArray(materials, n);
}
template <class Group>
Group* ResizeGroupArray(Group* groups, int n) {
    return ResizeCountedArray(groups, n);
}

// --- Shader capability -----------------------------------------------------

// What the GL context offers, one bit per extension, set when the scene
// initialises GL.
extern uint32_t GLExtensionFlags;
constexpr uint32_t kGLExtVertexShader = 0x10;
constexpr uint32_t kGLExtFragmentShader = 0x20;
constexpr uint32_t kGLExtShaderObjects = 0x40;

// True when vertex shaders, fragment shaders and shader objects are all
// offered.
bool ShadersSupported();

// --- Binary streams of object dumps ----------------------------------------

// One 4-byte value (int or float) as 4 raw little-endian bytes; n such
// values one by one; one raw byte. They return false when the stream fails;
// a read then leaves the value that could not be read whole untouched (the
// values before it are read).
bool StreamWriteInt(std::ostream& stream, const void* value);
bool StreamReadInt(std::istream& stream, void* value);
bool StreamWriteInts(std::ostream& stream, const void* values, int n);
bool StreamReadInts(std::istream& stream, void* values, int n);
bool StreamWriteByte(std::ostream& stream, const void* value);
bool StreamReadByte(std::istream& stream, void* value);
