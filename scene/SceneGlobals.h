// Process-wide settings of the scene that the texture manager reads. The
// scene sets them from the GL at start-up and from its parameters; until
// then they hold the values below.
#pragma once

#include <cstdint>

// Internal formats chosen for byte textures: 0 16-bit formats, 1 compressed
// formats where the GL compresses, other values 8-bit formats.
extern int32_t TextureQuality;  // 2
// Longest side of a texture; larger pictures are reduced to it.
extern int32_t MaxTextureSize;  // 1024
// A side rounded up to a power of two whose padding fraction exceeds this
// is rounded down instead.
extern float TextureRoundingTolerance;  // 1.0
// Anisotropy applied to new 2D textures when the GL filters anisotropically.
extern float MaxTextureAnisotropy;  // 1.0
// Texels bound in the current frame, in millions (the scene clears it at
// every frame begin).
extern float SceneFrameTextureLoad;  // 0.0
