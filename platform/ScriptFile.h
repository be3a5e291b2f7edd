// Opening a file that a script named. Every reader of such a file (file
// functions, textures, shaders, terrain grids, text pages, value files, XML,
// ...) goes through here, so that all of them keep the same three rules:
//   - only a regular file is read: a FIFO would block the reader for ever
//     and a device such as /dev/zero never ends;
//   - the file is no larger than the reader's cap, so that no name makes a
//     reader take more memory than the reader allows for;
//   - while script files are kept to a folder (a script that came from the
//     web, see ConfineScriptFiles), the file lies inside that folder, after
//     "..", symbolic links and all.
// The file is opened without blocking and checked on its descriptor, so a
// name swapped between the checks and the read changes nothing.
//
// A refusal comes with a reason in plain words for the reader's message:
//   "'/dev/zero' is not a regular file"
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class ScriptFile {
public:
    enum Status { Opened, NotFound, NotRegular, TooLarge, OutsideFolder };

    // Opens `path` (as the reader built it: folder joined, names resolved)
    // when it keeps the rules for a file of at most `maxBytes` bytes.
    static ScriptFile Open(const std::string& path, uint64_t maxBytes);

    // The whole file, or false with the reason (which may be null).
    static bool ReadAll(const std::string& path, uint64_t maxBytes, std::string& bytes, std::string* reason);
    static bool ReadAll(const std::string& path, uint64_t maxBytes, std::vector<uint8_t>& bytes, std::string* reason);

    ScriptFile(ScriptFile&& other) noexcept;
    ScriptFile& operator=(ScriptFile&& other) noexcept;
    ScriptFile(const ScriptFile&) = delete;
    ScriptFile& operator=(const ScriptFile&) = delete;
    ~ScriptFile();

    bool IsOpen() const { return m_status == Opened; }
    Status GetStatus() const { return m_status; }
    // Why the file was refused: the name in quotes and what is wrong with it.
    std::string Reason() const;
    // The file's size when it was opened.
    uint64_t Size() const { return m_size; }

    // The open file as a stdio stream, which the caller closes; the
    // ScriptFile no longer owns it. Null when nothing is open.
    std::FILE* TakeStdio();
    // Reads the whole (opened) file; false when the read fails.
    bool ReadAll(std::string& bytes);
    bool ReadAll(std::vector<uint8_t>& bytes);

private:
    ScriptFile(Status status, const std::string& path) : m_status(status), m_path(path) {}
    template <class Bytes>
    bool ReadInto(Bytes& bytes);
    template <class Bytes>
    static bool ReadNamed(const std::string& path, uint64_t maxBytes, Bytes& bytes, std::string* reason);

    Status m_status;
    std::string m_path;
    uint64_t m_maxBytes = 0;
    uint64_t m_size = 0;
    int m_fd = -1;
};

// Keeps every file a script names to `folder` and what lies below it, or
// lifts that rule when `folder` is empty. Process-wide: the engine sets it
// for a script that did not come from a local file.
void ConfineScriptFiles(const std::string& folder);
// The folder script files are kept to ("" when none).
std::string ScriptFilesFolder();
// Whether `path` lies inside the folder script files are kept to (always
// when there is none). For readers that open files through a library.
bool InsideScriptFilesFolder(const std::string& path);
