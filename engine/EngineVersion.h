// The program's own version text (its "file version": four numbers, comma
// separated); the engine number is string 2 of the string table.
#pragma once

inline const char* ProgramFileVersion() { return "1,0,0,1"; }
