// Loading native extension modules into the engine machine, and the host
// services they are given.
#include <errno.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "engine/EditorLog.h"
#include "engine/EngineMachine.h"
#include "engine/ExternModule.h"
#include "engine/ModulePackage.h"
#include "platform/FileSystem.h"
#include "platform/PathResolver.h"
#include "platform/ScriptFile.h"
#include "platform/SharedLibrary.h"

namespace {

// The text after the last '.', or the whole name when it has none.
std::string Extension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

template <class Proc>
Proc Entry(void* handle, const char* name) {
    return reinterpret_cast<Proc>(SharedLibrary::Symbol(handle, name));
}

}  // namespace

bool CVRMachine::RefusedModuleFile(const std::string& path) {
    // The loader would wait for ever on a FIFO; a web script's modules come
    // from its own folder.
    const ScriptFile file = ScriptFile::Open(path, UINT64_MAX);
    if (file.IsOpen() || file.GetStatus() == ScriptFile::NotFound) return false;
    Error(-1) << "The module cannot be loaded: " << file.Reason() << ".";
    return true;
}

void* HostServices(int32_t type) {
    CVRMachine* machine = g_engineMachine;
    if (!machine) return nullptr;
    switch (type) {
        case kHostRenderWindow:
            return reinterpret_cast<void*>(static_cast<intptr_t>(machine->Display().renderWindow));
        case kHostWorkingFolder:
            return const_cast<char*>(machine->Paths().workingFolder.c_str());
        case kHostMachineWindow:
            return reinterpret_cast<void*>(static_cast<intptr_t>(machine->Display().window));
        case kHostEditorLog:
            return reinterpret_cast<void*>(static_cast<QemEditorLogProc>(&EditorLog));
        default:
            return nullptr;
    }
}

bool CVRMachine::LoadExternModule(const std::string& name) {
    // The working folder is joined to the name; the process's current
    // folder is never changed, since other threads resolve paths too.
    const std::string path = PathResolver::Shared().Resolve(Paths().workingFolder + name);
    if (RefusedModuleFile(path)) return false;
    std::string library = path;
    const std::string extension = Extension(name);
    if (SameIgnoringCase(extension, "pak") || SameIgnoringCase(extension, "qmd")) {
        if (ReadModulePackage(path, library, *this) != kPackageAccepted) {
            ErrorMsg(2098, name.c_str());
            return false;
        }
    }

    void* handle = SharedLibrary::Open(library);
    if (!handle) {
        const int probe = ProbeFileForReading(library);
        if (probe == ENOENT || probe == ENOTDIR)
            Error(-1) << "The '" << name << "' module could not be found.";
        else if (probe == 0)
            Error(-1) << "The '" << name << "'module exists but could not be loaded. Check DLLs dependencies";
        else
            Error(-1) << "The '" << name << "' could not loaded  (error " << probe << ").";
        return false;
    }

    if (QemInitProc init = Entry<QemInitProc>(handle, "__QEM_INIT")) init(&HostServices);
    const QemGetRegClassProc getRegClass = Entry<QemGetRegClassProc>(handle, "GetRegClass");
    const QemVersionProc version = Entry<QemVersionProc>(handle, "Version");
    const QemHelpProc help = Entry<QemHelpProc>(handle, "Help");
    if (!getRegClass || !version || !help) {
        ErrorMsg(2005, name.c_str());
        SharedLibrary::Close(handle);
        return false;
    }
    const QemModuleVersion* v = version();
    const int16_t numbers[3] = {static_cast<int16_t>(v ? v->major : 0), static_cast<int16_t>(v ? v->minor : 0),
                                static_cast<int16_t>(v ? v->third : 0)};
    if (!v || !CheckVersion(numbers, true)) {
        ErrorMsg(2006, name.c_str());
        SharedLibrary::Close(handle);
        return false;
    }
    help(*GetOutputStream());

    // Only the first class's record holds the handle, so the module is
    // unloaded once. A module with no class stays loaded: its __QEM_INIT
    // may have left threads or callbacks running in it.
    for (int32_t i = 0;; ++i) {
        CVmRegisterClass* registration = getRegClass(i);
        if (!registration) break;
        BindClass(registration);
        m_externModules.push_back({registration, i == 0 ? handle : nullptr});
    }
    return true;
}

NativeLibraryLoad CVRMachine::LoadNativeLibrary(const std::string& name) {
    NativeLibraryLoad load;
    const std::string given = ToSlashes(name);
    const std::string path =
        PathResolver::Shared().Resolve(!given.empty() && given[0] == '/' ? given : Paths().workingFolder + given);
    const ScriptFile file = ScriptFile::Open(path, UINT64_MAX);
    if (!file.IsOpen() && file.GetStatus() != ScriptFile::NotFound) {
        load.error = file.GetStatus() == ScriptFile::NotRegular ? EINVAL : EACCES;
        load.reason = file.Reason();
        return load;
    }
    std::string library = path;
    const std::string extension = Extension(name);
    if (SameIgnoringCase(extension, "pak") || SameIgnoringCase(extension, "qmd")) {
        if (ReadModulePackage(path, library, *this) != kPackageAccepted) {
            load.outcome = NativeLibraryLoad::PackageRejected;
            return load;
        }
    } else if (IsWebScript()) {
        load.outcome = NativeLibraryLoad::WebScript;
        return load;
    }

    std::string reason;
    void* handle = SharedLibrary::Open(library, &reason);
    if (!handle) {
        const int probe = ProbeFileForReading(library);
        if (probe == ENOENT || probe == ENOTDIR) {
            load.error = 2;
            load.reason = std::strerror(ENOENT);
        } else if (probe == 0) {
            load.error = 126;
            load.reason = reason;
        } else {
            load.error = probe;
            load.reason = std::strerror(probe);
        }
        return load;
    }
    if (QemInitProc init = Entry<QemInitProc>(handle, "__QEM_INIT")) init(&HostServices);
    load.outcome = NativeLibraryLoad::Loaded;
    load.handle = handle;
    return load;
}

void CVRMachine::UnloadExternModules() {
    // Registrations first: their code lives in the modules.
    for (const ExternModuleRecord& r : m_externModules) UnregisterClass(r.registration);
    for (const ExternModuleRecord& r : m_externModules) SharedLibrary::Close(r.module);
    m_externModules.clear();
}
