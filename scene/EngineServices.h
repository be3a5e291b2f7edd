// Services every engine-library class uses: the error and warning channel
// with its two replaceable handlers.
#pragma once

#include <cstdint>

// A handler receives the whole text of one message.
typedef int (*EngineMessageHandler)(const char* text);

// Non-zero silences the default handlers.
extern int32_t SilentFlag;

// Capabilities of the GL found at start-up (0x1 texture compression, 0x2
// anisotropic filtering, 0x4 multitexture, 0x10 vertex shaders, 0x20
// fragment shaders, 0x40 shader objects, ...); bits are only ever added.
extern int32_t GLExtensionFlags;

// Joins message and detail with one blank (a null part counts as empty) and
// passes the text to the handler.
int ReportMessage(const char* message, const char* detail, EngineMessageHandler handler);
int ReportError(const char* message, const char* detail);
int ReportWarning(const char* message, const char* detail);

// The defaults: the error handler writes "E R R O R !" and the text to
// standard error and ends the process with -1; the warning handler writes
// "Warning..." and the text. Both stay quiet with SilentFlag set (the error
// handler then does not end the process either).
int DefaultErrorHandler(const char* text);
int DefaultWarningHandler(const char* text);

// Replace the handlers (null restores the default).
void SetEngineErrorHandler(EngineMessageHandler handler);
void SetEngineWarningHandler(EngineMessageHandler handler);

// The folder put before relative file names by the loaders and the texture
// manager, and the folder model plug-ins are loaded from.
void SetBaseDirectory(const char* folder);
void SetModuleDirectory(const char* folder);
const char* BaseDirectory();
const char* ModuleDirectory();
