#include "functions/CVmFileFunctions.h"

#include <algorithm>
#include <cstdint>

#include "state/EngineState.h"
#include "state/MachineServices.h"
#include "functions/CookieStore.h"
#include "platform/FileSystem.h"
#include "platform/PathResolver.h"
#include "platform/ScriptFile.h"
#include "vm/VirtualMachine.h"

namespace {

// Message ids of the machine's string table.
constexpr int32_t kMsgLocalFolder = 4;     // the engine's folder in the temporary folder
constexpr int32_t kMsgNotAString = 2013;   // "Param n. %i must be a string."
constexpr int32_t kMsgCannotLoad = 2032;   // "Cannot load the '%s' file."

MachineServices* Services() { return g_engineState ? g_engineState->Services() : nullptr; }

// The machine's services for a function that cannot work without them.
MachineServices* RequireServices() {
    MachineServices* services = Services();
    if (!services) VmErrorStream() << "The engine is not running.";
    return services;
}

const PathState* Paths() { return g_engineState ? &g_engineState->Paths() : nullptr; }

// A name relative to the working folder, found the way script names are
// (any separators, letter case only where it tells files apart). The
// working folder is joined to the name rather than made the process's
// current folder: other threads resolve relative paths meanwhile.
std::string InWorkingFolder(const std::string& name) {
    const PathState* paths = Paths();
    return PathResolver::Shared().Resolve((paths ? paths->workingFolder : std::string()) + name);
}

// The most a script reads of one file with FileRead, and with LoadFile,
// whose lines each become a value of their own (an empty line costs tens of
// bytes), so their count is bounded too.
constexpr uint64_t kFileReadLimit = 64u << 20;
constexpr uint64_t kLoadFileLimit = 16u << 20;
constexpr size_t kLoadFileLines = 1u << 20;

// The whole file. NotFound when it cannot be opened (a folder cannot);
// another status, with the reason on the error stream, for a file the rules
// of script files refuse.
ScriptFile::Status ReadWholeFile(const std::string& path, uint64_t limit, std::string& bytes) {
    ScriptFile file = ScriptFile::Open(path, limit);
    if (file.GetStatus() == ScriptFile::NotFound) return ScriptFile::NotFound;
    if (file.IsOpen() && file.ReadAll(bytes)) return ScriptFile::Opened;
    if (file.IsOpen()) return ScriptFile::NotFound;
    VmErrorStream() << "Cannot read the file: " << file.Reason() << ".";
    return file.GetStatus();
}

// Text mode: a CR directly before an LF is dropped.
std::string TextMode(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != '\r' || i + 1 >= bytes.size() || bytes[i + 1] != '\n') text += bytes[i];
    return text;
}

void ReturnString(const std::string& text) { VmReturnString(text.data(), static_cast<int32_t>(text.size())); }

}  // namespace

void CVmFileFunctions::AddFunctions() {
    AddFunction("EraseCache", &CVmFileFunctions::EraseCache);
    AddFunction("FileDownload", &CVmFileFunctions::FileDownload);
    AddFunction("FileExist", &CVmFileFunctions::FileExist);
    AddFunction("FileRead", &CVmFileFunctions::FileRead);
    AddFunction("GetScriptDir", &CVmFileFunctions::GetScriptDir);
    AddFunction("GetScriptUrl", &CVmFileFunctions::GetScriptUrl);
    AddFunction("LoadCookie", &CVmFileFunctions::LoadCookie);
    AddFunction("LoadFile", &CVmFileFunctions::LoadFile);
    AddFunction("LoadModule", &CVmFileFunctions::LoadModule);
    AddFunction("PendingDownload", &CVmFileFunctions::PendingDownload);
    AddFunction("ProgressDownload", &CVmFileFunctions::ProgressDownload);
    AddFunction("SaveCookie", &CVmFileFunctions::SaveCookie);
    AddFunction("SetLocalDir", &CVmFileFunctions::SetLocalDir);
    AddFunction("SetCurrentDir", &CVmFileFunctions::SetCurrentDir);
    AddFunction("GetCurrentDir", &CVmFileFunctions::GetCurrentDir);
    AddFunction("DefaultDir", &CVmFileFunctions::GetCurrentDir);
}

// ---------------------------------------------------------------------------
// Downloads

void CVmFileFunctions::FileDownload(CVmClassBase*, int) {
    const char* url = nullptr;
    if (!ReadParam(1, url, false)) return;  // without a url there is nothing to fetch
    const char* localName = nullptr;
    int32_t priority = 0;
    if (!ReadParam(2, Optional(localName, nullptr)) || !ReadParam(3, Optional(priority, 0))) return;
    if (MachineServices* services = RequireServices())
        VmReturnInteger(services->QueueDownload(url, localName, priority));
}

void CVmFileFunctions::EraseCache(CVmClassBase*, int) {
    if (MachineServices* services = RequireServices()) services->RefreshDownloads();
}

void CVmFileFunctions::ProgressDownload(CVmClassBase*, int) {
    MachineServices* services = Services();
    VmReturnInteger(services ? services->DownloadProgress() : 0);
}

void CVmFileFunctions::PendingDownload(CVmClassBase*, int) {
    MachineServices* services = Services();
    VmReturnInteger(services ? services->PendingDownloads() : 0);
}

// ---------------------------------------------------------------------------
// Files and modules

void CVmFileFunctions::LoadFile(CVmClassBase*, int) {
    const char* name = nullptr;
    if (!ReadParam(1, name, false)) return VmErrorMsg(kMsgNotAString, 1);
    std::string bytes;
    if (ReadWholeFile(InWorkingFolder(name), kLoadFileLimit, bytes) != ScriptFile::Opened) return;  // no result
    const std::string text = TextMode(bytes);
    if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) +
            static_cast<size_t>(std::count(text.begin(), text.end(), '\r')) +
            static_cast<size_t>(std::count(text.begin(), text.end(), '\xFF')) >=
        kLoadFileLines) {
        VmErrorStream() << "Cannot read the file: '" << name << "' has more than " << kLoadFileLines << " lines.";
        return;
    }
    CVmArray* lines = new CVmArray();
    CVmValue line;
    // LF, CR and the byte 0xFF end a line; whatever follows the last end is
    // one more line, empty when the file ends with a line end.
    size_t start = 0;
    for (size_t i = 0; !text.empty() && i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\n' && text[i] != '\r' && text[i] != '\xFF') continue;
        line.SetString(text.data() + start, static_cast<int32_t>(i - start));
        lines->Append(line);
        start = i + 1;
    }
    VmReturnArray(lines);
}

void CVmFileFunctions::FileRead(CVmClassBase*, int) {
    std::string name;
    bool textMode = false;
    if (!ReadParams(name, Optional(textMode, false))) return;
    // Only the name's last part counts, found in the working folder.
    const std::string last = name.substr(name.find_last_of("/\\:") + 1);
    std::string bytes;
    const ScriptFile::Status read = ReadWholeFile(InWorkingFolder(last), kFileReadLimit, bytes);
    if (read == ScriptFile::NotFound) return VmErrorMsg(kMsgCannotLoad, last.c_str());
    if (read != ScriptFile::Opened) return;
    ReturnString(textMode ? TextMode(bytes) : bytes);
}

void CVmFileFunctions::FileExist(CVmClassBase*, int) {
    std::string name;
    if (!ReadParams(name)) return;
    // Only a regular file counts: a FIFO would wait for a writer.
    VmReturnBool(ScriptFile::Open(InWorkingFolder(name), UINT64_MAX).IsOpen());
}

void CVmFileFunctions::LoadModule(CVmClassBase*, int) {
    const char* name = nullptr;
    if (!ReadParam(1, name, false)) return;
    // The loader reports its own errors.
    if (MachineServices* services = RequireServices()) services->LoadExternModule(name);
}

// ---------------------------------------------------------------------------
// Locations

void CVmFileFunctions::GetScriptUrl(CVmClassBase*, int) {
    const PathState* paths = Paths();
    ReturnString(paths ? paths->scriptLocation : std::string());
}

void CVmFileFunctions::GetScriptDir(CVmClassBase*, int) {
    const PathState* paths = Paths();
    ReturnString(paths ? paths->scriptFolder : std::string());
}

void CVmFileFunctions::GetCurrentDir(CVmClassBase*, int) {
    const PathState* paths = Paths();
    ReturnString(paths ? paths->workingFolder : std::string());
}

void CVmFileFunctions::SetLocalDir(CVmClassBase*, int) {
    std::string sub;
    if (!ReadParams(Optional(sub, std::string()))) return;
    MachineServices* services = RequireServices();
    if (!services) return;
    if (services->IsWebScript()) {
        VmErrorStream() << "Cannot use SETLOCALDIR in a web based script application.";
        return;
    }
    std::string folder = g_engineState->Paths().scriptFolder + sub;
    if (!sub.empty()) {
        if (sub.back() != '/' && sub.back() != '\\') folder += '/';
        folder = ToSlashes(folder);
    }
    services->SetWorkingFolder(folder);
}

void CVmFileFunctions::SetCurrentDir(CVmClassBase*, int) {
    const char* folder = nullptr;
    if (!ReadParam(1, folder, false)) return;  // without a String the folder stays
    MachineServices* services = RequireServices();
    if (!services) return;
    if (services->IsWebScript()) {
        VmErrorStream() << "Cannot use SETCURRENTDIR in a web based script application";
        return;
    }
    services->SetWorkingFolder(folder);
}

// ---------------------------------------------------------------------------
// The cookie

std::string CVmFileFunctions::CookieKey() {
    const PathState* paths = Paths();
    return paths ? paths->scriptLocation : std::string();
}

std::string CVmFileFunctions::MakeCookieFolder() {
    const char* local = g_currentVM->StringForId(kMsgLocalFolder);
    const std::string folder = CookieFolder(TempFolder(), local ? local : "", CookieKey());
    // Nothing else makes the engine's folder in the temporary folder.
    MakeFolders(folder);
    return folder;
}

void CVmFileFunctions::SaveCookie(CVmClassBase*, int) {
    CVmValue* value = GetParam(1);
    if (!value) return;
    if (value->type == VmValueType::Object) {
        VmErrorStream() << "Param 1 cannot be a Object.";
        return;
    }
    if (!CookieStoreRun(MakeCookieFolder(), CookieKey(), *value, true, g_currentVM))
        WarningStream() << "Cannot write cookie info.";
}

void CVmFileFunctions::LoadCookie(CVmClassBase*, int) {
    CVmValue value;
    if (CookieStoreRun(MakeCookieFolder(), CookieKey(), value, false, g_currentVM))
        if (CVmValue* slot = VmGetReturnSlot()) *slot = std::move(value);
}
