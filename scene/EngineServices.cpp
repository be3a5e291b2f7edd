#include "EngineServices.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int32_t SilentFlag = 0;
int32_t GLExtensionFlags = 0;

namespace {

EngineMessageHandler g_errorHandler = DefaultErrorHandler;
std::string g_baseFolder;
std::string g_moduleFolder;
EngineMessageHandler g_warningHandler = DefaultWarningHandler;

}  // namespace

int ReportMessage(const char* message, const char* detail, EngineMessageHandler handler) {
    std::string text = message ? message : "";
    text += ' ';
    text += detail ? detail : "";
    return handler ? handler(text.c_str()) : 0;
}

int ReportError(const char* message, const char* detail) { return ReportMessage(message, detail, g_errorHandler); }

int ReportWarning(const char* message, const char* detail) {
    return ReportMessage(message, detail, g_warningHandler);
}

int DefaultErrorHandler(const char* text) {
    if (SilentFlag) return 0;
    std::fprintf(stderr, "E R R O R !\n%s\n", text ? text : "");
    std::fflush(stderr);
    std::exit(-1);
}

int DefaultWarningHandler(const char* text) {
    if (SilentFlag) return 0;
    std::fprintf(stderr, "Warning...\n%s\n", text ? text : "");
    return 0;
}

void SetEngineErrorHandler(EngineMessageHandler handler) {
    g_errorHandler = handler ? handler : DefaultErrorHandler;
}

void SetEngineWarningHandler(EngineMessageHandler handler) {
    g_warningHandler = handler ? handler : DefaultWarningHandler;
}

void SetBaseDirectory(const char* folder) { g_baseFolder = folder ? folder : ""; }
void SetModuleDirectory(const char* folder) { g_moduleFolder = folder ? folder : ""; }
const char* BaseDirectory() { return g_baseFolder.c_str(); }
const char* ModuleDirectory() { return g_moduleFolder.c_str(); }
