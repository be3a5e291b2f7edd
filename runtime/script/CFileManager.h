// The script class CFileManager: file dialogs, a one-line text input and
// value files for scripts. It holds nothing; every method works on its
// parameters.
//
// A value file holds one script value: a 16-byte header, then the value in
// its byte encoding (CVmValue::WriteTo). Relative file names are taken
// against the process's current folder. File problems are never script
// errors: a file that cannot be written is left alone, one that cannot be
// read gives no result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vm/VmRegister.h"

class CFileManager : public CVmClassBase {
public:
    static constexpr const char* kClassName = "CFileManager";
    const char* ClassName() override { return kClassName; }

    static constexpr size_t kHeaderSize = 16;
    static const uint8_t kHeader[kHeaderSize];

    // Writes the header and the value's encoding, replacing the file; false
    // when the file cannot be written. A value too large to encode (an array
    // that holds itself) leaves the file alone: false, with the reason in
    // *error when error is given.
    static bool WriteValueFile(const std::string& path, const CVmValue& value, std::string* error = nullptr);
    // The value of a file's bytes: false (value Void) when they do not begin
    // with the header; otherwise true, with Void when the rest holds no
    // readable value.
    static bool DecodeValueFile(const uint8_t* data, size_t size, CVmValue& value);
    // The same for a file; false when it is missing, or when the rules of
    // script files refuse it (then with the reason in `refused`).
    static bool ReadValueFile(const std::string& path, CVmValue& value, std::string* refused = nullptr);
    // The largest value file read.
    static constexpr uint64_t kMaxFileSize = 64u << 20;

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;
        bool AfterBinding() override { return true; }

    private:
        void Create(CVmClassBase* object, int mode);
        void FileBrowseOpen(CVmClassBase* object, int mode);
        void FileBrowseSave(CVmClassBase* object, int mode);
        void ReadVar(CVmClassBase* object, int mode);
        void WriteVar(CVmClassBase* object, int mode);
        void MessageInput(CVmClassBase* object, int mode);

        void FileBrowse(bool save, int mode);
        // One warning line: the dialog could not be shown, and why.
        void DialogUnavailable(const std::string& why);
    };
};
