// The mouse cursor over the engine's window and the pointer's position, on
// a connection of their own to the window's display, so that any thread may
// change them (the window's thread and the script's timer thread alike).
#pragma once

#include <cstdint>

// The cursor table: 0 and 1 the arrow, 2 the cross, 3 a hand with the index
// finger raised (hot spot 8, 5), 4 the arrow with a question mark, 5 the
// text beam, 6 "no", 7 the four-way arrow, 8 to 11 the north-east/south-
// west, north/south, north-west/south-east and west/east size arrows, 12
// the up arrow, 13 the watch, 14 an empty cursor (nothing shown).
constexpr int kCursorShapeCount = 15;

// The X window that the calling thread draws into (its current GL
// drawable) and the display it is on, noted for the functions below; 0 when
// the thread draws into no window (no context, or an off-screen surface).
unsigned long NoteDrawingWindow();

// Shows entry `shape` of the cursor table over the window, or no cursor
// when hidden; false (nothing changed) for a shape outside the table or
// when the window or its display cannot be reached.
bool ShowCursorOver(unsigned long window, int32_t shape, bool hidden);

// Moves the pointer within the window's rectangle on the screen (with the
// frame that a window manager reports around it): x from its left edge (0)
// to its right edge (1), y from its bottom edge (0) up to its top edge (1),
// each product truncated to a whole pixel. False when the window cannot be
// reached.
bool MovePointerOver(unsigned long window, float x, float y);

// Whether the pointer lies outside the window's rectangle on the screen
// (with the frame that a window manager reports around it; the right and
// bottom edges are outside), or on another screen. False when the window
// cannot be reached.
bool PointerOutside(unsigned long window);
