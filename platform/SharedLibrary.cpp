#include "SharedLibrary.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

void* SharedLibrary::Open(const std::string& path, std::string* error) {
    // A name without a '/' would be searched in the library path; the file
    // meant is always the one named.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle && error) {
        const char* reason = dlerror();
        *error = reason ? reason : "";
    }
    return handle;
}

void* SharedLibrary::Symbol(void* handle, const char* name) { return handle ? dlsym(handle, name) : nullptr; }

void SharedLibrary::Close(void* handle) {
    if (handle) dlclose(handle);
}

bool SharedLibrary::IsLoaded(const std::string& path) {
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) return false;
    dlclose(handle);  // NOLOAD still counts a reference
    return true;
}

int ProbeFileForReading(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno ? errno : ENOENT;
    close(fd);
    return 0;
}
