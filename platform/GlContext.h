// What the engine asks of its window and GL context.
#pragma once

#include <cstdint>

// Whether the GLUT window has the keyboard focus (window 0: none).
bool WindowHasFocus(int window);
// The client size of the GLUT window in pixels (0 x 0 for window 0).
void WindowClientSize(int window, int32_t& width, int32_t& height);
// Sets the swap interval of the current context when the display reports
// GLX_EXT_swap_control or GLX_MESA_swap_control; false otherwise.
bool SetGlSwapInterval(int interval);

// The address of a GL entry point of the current GL library. GLX answers
// for any name (with a stub for unknown ones), so a feature is present only
// when its extension or GL version is reported, never because an address
// came back.
void* GlEntryPoint(const char* name);

// An entry point of the network-renderer plug-in: present only when the GL
// extension string names "Qem_network_renderer" and the process has the
// symbol; null otherwise (a GL entry-point lookup always answers on GLX).
void* NetworkRendererEntry(const char* name);
