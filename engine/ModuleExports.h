/* The engine as a module of another host (a browser plug-in, an editor):
 * nine C functions of libqemengine.so through which the host creates an
 * engine module for its own window, runs frames, forwards window messages,
 * reports the downloads it performs itself, calls script functions and
 * installs engine files. The host's GLUT window must be current, with its
 * GL context, whenever it calls in.
 *
 * Every function but Install takes the module OnCreate made; a null module
 * makes it do nothing and answer 0 (GetInfo(any, 1) excepted). Texts are
 * single-byte and NUL-terminated; the engine copies what it keeps.
 *
 * X11's X.h defines GenericEvent as a macro: a host that needs both includes
 * this header after the X headers and undefines it first. */
#ifndef QEM_MODULE_EXPORTS_H
#define QEM_MODULE_EXPORTS_H

#include <stdint.h>

#ifdef GenericEvent
#error "X11's GenericEvent macro hides the engine's GenericEvent: #undef GenericEvent before including this header"
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define QEM_EXPORT __attribute__((visibility("default")))

typedef struct QemModule QemModule;

/* container: the host's CVmContainer (engine/VmContainer.h) or null;
 * window: the GLUT window id; colour: red in bits 0-7, green 8-15, blue
 * 16-23; flags 1 shows the loading screen. Null when it cannot be made. */
QEM_EXPORT QemModule* OnCreate(void* container, intptr_t window, uintptr_t colour, const char* scriptName,
                               const char* userParam, intptr_t flags, const char* engineParam);
/* Ends the module (its OnExit runs). 0. */
QEM_EXPORT intptr_t OnDestroy(QemModule* module);
/* A data text that is not empty becomes the data-in text first; then one
 * frame. 0. */
QEM_EXPORT intptr_t GenericFrame(QemModule* module, intptr_t unused1, intptr_t unused2, const char* data);
/* A window message of the engine's window (Windows numbering); 1 when
 * handled, with the window procedure's result in *result, else 0. */
QEM_EXPORT intptr_t GenericEvent(QemModule* module, intptr_t unused, uintptr_t message, uintptr_t wParam,
                                 intptr_t lParam, intptr_t* result);
/* what 1: the constant "Versione 1". what 2: queues the engine archive (url
 * "engine" into "vr.pak") and starts it; null. Other: null. */
QEM_EXPORT const char* GetInfo(QemModule* module, intptr_t what);
/* A notice about a download the host performs itself. 0. */
QEM_EXPORT intptr_t OnDownload(QemModule* module, intptr_t code, intptr_t value, const char* text);
QEM_EXPORT intptr_t OnDownload2(QemModule* module, intptr_t code, intptr_t value, intptr_t total, const char* text);
/* Calls the named script function with the text as its one String. 0. */
QEM_EXPORT intptr_t CallFunction(QemModule* module, const char* functionName, const char* text);
/* Makes the local engine folder and records the installation; with a path,
 * moves that file into the folder. 1 on success, 0 on failure (a file that
 * could not be copied stays where it was). */
QEM_EXPORT intptr_t Install(const char* path);

#ifdef __cplusplus
}
#endif

#endif
