// The kind of an AAM model file, told by its first tokens.
#pragma once

#include <cstdint>
#include <cstdio>

// 1 a mesh, 2 a character, 3 a multi-frame mesh, 4 an avatar, from the
// header token; a file without one is a mesh when it names a "Frame:",
// otherwise its "Animation_mode:" tells (None 1, Keyframe 2, Full 3). -1
// for anything else. Tokens are compared whole and with their case. Reads
// from the file's position with the engine's tokenizer, which it resets.
int32_t AamFileKind(FILE* file);
