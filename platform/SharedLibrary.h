// Native libraries loaded at run time: a file is mapped with its symbols
// bound at once and kept out of the global symbol scope, so that two
// modules exporting the same names do not see each other's.
#pragma once

#include <string>

class SharedLibrary {
public:
    // Loads the file at `path` exactly as named (any extension); null with
    // the loader's reason in `error` when it cannot be loaded.
    static void* Open(const std::string& path, std::string* error = nullptr);
    // The address of an exported symbol, or null.
    static void* Symbol(void* handle, const char* name);
    static void Close(void* handle);
    // True when the file at `path` is mapped in this process now (the
    // question does not load it).
    static bool IsLoaded(const std::string& path);
};

// 0 when the file at `path` can be opened for reading, else the reason
// (ENOENT when there is no such file).
int ProbeFileForReading(const std::string& path);
