#include "CFileManager.h"

#include <cstring>
#include <fstream>
#include <ostream>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/PathResolver.h"
#include "platform/ScriptFile.h"
#include "vm/ByteStream.h"
#include "vm/VirtualMachine.h"

// The opening of a network variable packet with no length and no name,
// then a zero byte.
const uint8_t CFileManager::kHeader[kHeaderSize] = {0xFF, 'Q', 'E', 'M', '_', '0', '2', 0xFF,
                                                    0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00};

bool CFileManager::WriteValueFile(const std::string& path, const CVmValue& value, std::string* error) {
    std::vector<uint8_t> bytes(kHeader, kHeader + kHeaderSize);
    ByteWriter out(bytes);
    std::string why;
    if (!value.WriteTo(out, &why) && !why.empty()) {
        if (error) *error = why;
        return false;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

bool CFileManager::DecodeValueFile(const uint8_t* data, size_t size, CVmValue& value) {
    value.SetVoid();
    if (size < kHeaderSize || std::memcmp(data, kHeader, kHeaderSize) != 0) return false;
    // The reader ends with the bytes: a count or length that runs past them
    // fails the value (Void) before anything that large is made.
    ByteReader in(data + kHeaderSize, size - kHeaderSize);
    value.ReadFrom(in);
    return true;
}

bool CFileManager::ReadValueFile(const std::string& path, CVmValue& value, std::string* refused) {
    value.SetVoid();
    ScriptFile file = ScriptFile::Open(path, kMaxFileSize);
    std::vector<uint8_t> bytes;
    if (!file.IsOpen() || !file.ReadAll(bytes)) {
        if (refused && file.GetStatus() != ScriptFile::NotFound) *refused = file.Reason();
        return false;
    }
    return DecodeValueFile(bytes.data(), bytes.size(), value);
}

bool CFileManager::CRegister::RegisterMethods(int32_t n) {
    CVmRegisterClass::RegisterMethods(n);
    AddMethod("FileBrowseOpen", &CRegister::FileBrowseOpen);
    AddMethod("FileBrowseSave", &CRegister::FileBrowseSave);
    AddMethod("ReadVar", &CRegister::ReadVar);
    AddMethod("WriteVar", &CRegister::WriteVar);
    AddMethod("MessageInput", &CRegister::MessageInput);
    return true;
}

void CFileManager::CRegister::Create(CVmClassBase*, int) { ReturnObject(new CFileManager()); }

void CFileManager::CRegister::DialogUnavailable(const std::string& why) {
    WarningStream() << "the dialog cannot be shown: " << why << "; it answers as cancelled.";
}

// (title, initial file name, filter): the chosen path, or "".
void CFileManager::CRegister::FileBrowse(bool save, int mode) {
    if (!RequireMethodCall(mode)) return;
    std::string title, fileName, filter;
    if (!ReadParams(Optional(title), Optional(fileName), Optional(filter))) return;
    FileDialogRequest request;
    request.save = save;
    request.title = title;
    request.fileName = fileName.empty() ? fileName : PathResolver::Shared().Resolve(fileName);
    request.filters = ParseFileFilters(filter);
    const DialogAnswer answer = ShowFileDialog(request);
    if (answer.outcome == DialogAnswer::kUnavailable) DialogUnavailable(answer.text);
    const std::string path = answer.outcome == DialogAnswer::kOk ? answer.text : std::string();
    VmReturnString(path.c_str(), static_cast<int32_t>(path.size()));
}

void CFileManager::CRegister::FileBrowseOpen(CVmClassBase*, int mode) { FileBrowse(false, mode); }
void CFileManager::CRegister::FileBrowseSave(CVmClassBase*, int mode) { FileBrowse(true, mode); }

// (file name): the value the file holds; no result when it cannot be read
// or does not begin with the header.
void CFileManager::CRegister::ReadVar(CVmClassBase*, int mode) {
    if (!RequireMethodCall(mode)) return;
    std::string name;
    if (!ReadParams(name)) return;
    CVmValue value;
    std::string refused;
    if (ReadValueFile(PathResolver::Shared().Resolve(name), value, &refused))
        VmGetReturnSlot()->Move(value);
    else if (!refused.empty())
        VmErrorStream() << "Cannot read the file: " << refused << ".";
}

// (file name, value): no result, and nothing said when the file cannot be
// written.
void CFileManager::CRegister::WriteVar(CVmClassBase*, int mode) {
    if (!RequireMethodCall(mode)) return;
    std::string name;
    CVmValue* value = nullptr;
    if (!ReadParams(name, Optional(value))) return;
    std::string why;
    if (!WriteValueFile(PathResolver::Shared().Resolve(name), value ? *value : CVmValue(), &why) && !why.empty())
        WarningStream() << "'" << name << "' is not written: " << why;
}

// (title, prompt): the text typed when the user presses OK; no result after
// Cancel or closing.
void CFileManager::CRegister::MessageInput(CVmClassBase*, int mode) {
    if (!RequireMethodCall(mode, true)) return;
    std::string title, prompt;
    if (!ReadParams(Optional(title), Optional(prompt))) return;
    const DialogAnswer answer = ShowTextInputDialog(title, prompt);
    if (answer.outcome == DialogAnswer::kUnavailable) DialogUnavailable(answer.text);
    if (answer.outcome == DialogAnswer::kOk)
        VmReturnString(answer.text.c_str(), static_cast<int32_t>(answer.text.size()));
}
