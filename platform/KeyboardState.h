// The state of a virtual key as scripts ask for it: down now, or pressed
// since the previous query of that key. "Down now" is the X server's
// keyboard and pointer state, so it answers even while another window has
// the focus; the "pressed since" latch is fed by the window's key and button
// presses, so that a tap between two queries is not missed.
#pragma once

#include <cstdint>

// Records a press of the virtual key.
void NoteKeyPressed(int vk);
// Records the press that a window message reports (key and button downs).
void NoteInputMessage(uint32_t message, uintptr_t wParam);

// Whether the key is down now or was pressed since its previous query; the
// query clears the latch. Keys without an X key symbol (and every key when
// no display can be opened) answer from the latch alone.
bool QueryKeyState(int vk);
