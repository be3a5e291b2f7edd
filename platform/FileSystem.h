// Folder helpers on top of std::filesystem, plus the few questions it cannot
// answer (who owns a folder). Paths may use '\\' or '/' as separators.
#pragma once

#include <string>

// The system's temporary folder with a trailing '/': $TMPDIR when it is set
// and not empty, else "/tmp/".
std::string TempFolder();

// Creates every folder of `path` that is followed by a separator ('/' or
// '\\'), starting after the first character, ignoring failures: a file path
// gets its parent folders, a folder path with a trailing separator gets
// itself too.
void MakeFolders(const std::string& path);

// Deletes a folder with everything in it. Symbolic links inside are removed
// as links; what they point to is never touched. Refuses (false) a path of
// fewer than 2 characters; otherwise answers true.
bool EraseFolder(const std::string& folder);

// True when `path` is a real folder (not a symbolic link to one) that
// belongs to the user running this process.
bool IsOwnFolder(const std::string& path);

// True when `path` names a regular file (through symbolic links): what the
// engine reads as a whole. A FIFO or a device would block a reader, or
// never end.
bool IsRegularFile(const std::string& path);

// Turns every '\\' into '/'.
std::string ToSlashes(std::string path);

// Equal when letters A-Z and a-z are taken as the same.
bool SameIgnoringCase(const std::string& a, const std::string& b);

// The process's working folder, and changing it (false when it cannot).
std::string WorkingFolder();
bool ChangeWorkingFolder(const std::string& folder);
