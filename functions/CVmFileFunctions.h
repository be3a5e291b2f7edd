// The global functions of files, folders, downloads, cookies and modules.
#pragma once

#include <string>

#include "functions/FunctionTable.h"

class CVmFileFunctions : public CVmFunctionGroup {
public:
    CVmFileFunctions() : CVmFunctionGroup(FunctionGroup::File) {}

protected:
    void AddFunctions() override;

private:
    void FileDownload(CVmClassBase* object, int mode);
    void EraseCache(CVmClassBase* object, int mode);
    void ProgressDownload(CVmClassBase* object, int mode);
    void PendingDownload(CVmClassBase* object, int mode);
    void LoadFile(CVmClassBase* object, int mode);
    void FileRead(CVmClassBase* object, int mode);
    void FileExist(CVmClassBase* object, int mode);
    void LoadModule(CVmClassBase* object, int mode);
    void GetScriptUrl(CVmClassBase* object, int mode);
    void GetScriptDir(CVmClassBase* object, int mode);
    void GetCurrentDir(CVmClassBase* object, int mode);
    void SetLocalDir(CVmClassBase* object, int mode);
    void SetCurrentDir(CVmClassBase* object, int mode);
    void SaveCookie(CVmClassBase* object, int mode);
    void LoadCookie(CVmClassBase* object, int mode);

    // The script's location, which tells its cookie from others.
    static std::string CookieKey();
    // The script's cookie folder, made when missing (with its parents).
    static std::string MakeCookieFolder();
};
