// The module interface for outside hosts over CVRModule3D.
#include "engine/ModuleExports.h"

#include <memory>
#include <new>
#include <string>

#include "engine/DownloadManager.h"
#include "engine/EngineModule.h"
#include "engine/InstallEngine.h"

// What a host holds: the module with its own copies of the host's texts,
// which the module reads for its whole life (the copies are declared first,
// so they outlive it).
struct QemModule {
    std::string scriptName;
    std::string userParam;
    std::string engineParam;
    bool hasUserParam = false;
    std::unique_ptr<CVRModule3D> module;
};

namespace {

CVRModule3D* Module(QemModule* m) { return m ? m->module.get() : nullptr; }

}  // namespace

extern "C" {

QemModule* OnCreate(void* container, intptr_t window, uintptr_t colour, const char* scriptName, const char* userParam,
                    intptr_t flags, const char* engineParam) {
    try {
        std::unique_ptr<QemModule> m(new QemModule());
        m->scriptName = scriptName ? scriptName : "";
        m->hasUserParam = userParam != nullptr;
        m->userParam = userParam ? userParam : "";
        m->engineParam = engineParam ? engineParam : "";
        m->module.reset(new CVRModule3D(m->scriptName.c_str(), m->engineParam.c_str(),
                                        static_cast<CVmContainer*>(container), static_cast<int>(window),
                                        static_cast<uint32_t>(colour),
                                        m->hasUserParam ? m->userParam.c_str() : nullptr, static_cast<int32_t>(flags)));
        return m.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

intptr_t OnDestroy(QemModule* module) {
    delete module;
    return 0;
}

intptr_t GenericFrame(QemModule* module, intptr_t, intptr_t, const char* data) {
    CVRModule3D* m = Module(module);
    if (!m) return 0;
    if (data && *data) m->Machine()->SetDataIn(data);
    m->Frame();
    return 0;
}

intptr_t GenericEvent(QemModule* module, intptr_t, uintptr_t message, uintptr_t wParam, intptr_t lParam,
                      intptr_t* result) {
    CVRModule3D* m = Module(module);
    if (!m) return 0;
    return m->HandleMessage(static_cast<uint32_t>(message), wParam, lParam, result);
}

const char* GetInfo(QemModule* module, intptr_t what) {
    static const char kVersion[] = "Versione 1";
    if (what == 1) return kVersion;
    CVRModule3D* m = Module(module);
    if (what == 2 && m) {
        CDownloadManager& downloads = m->Machine()->Downloads();
        downloads.Enqueue("vr.pak", "engine", 0, 0);
        downloads.Start();
    }
    return nullptr;
}

intptr_t OnDownload(QemModule* module, intptr_t code, intptr_t value, const char* text) {
    return OnDownload2(module, code, value, 0, text);
}

intptr_t OnDownload2(QemModule* module, intptr_t code, intptr_t value, intptr_t total, const char* text) {
    if (CVRModule3D* m = Module(module))
        m->Machine()->Downloads().Notify(static_cast<int>(code), static_cast<int>(value), static_cast<int>(total),
                                         text ? text : "");
    return 0;
}

intptr_t CallFunction(QemModule* module, const char* functionName, const char* text) {
    CVRModule3D* m = Module(module);
    if (m && functionName) m->CallFunction(functionName, text);
    return 0;
}

intptr_t Install(const char* path) { return InstallEngine(path); }

}  // extern "C"
