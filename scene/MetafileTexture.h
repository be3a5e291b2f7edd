// Metafile pictures for textures: enhanced metafiles (EMF) and placeable
// Windows metafiles (WMF) drawn into a bitmap of texture size.
#pragma once

#include <cstddef>
#include <cstdint>

// The longest side a metafile's texture is drawn at, whatever the scene's
// maximum: a GL that takes 16384 would otherwise get 800 MB pictures.
constexpr int32_t kMetafileMaxSide = 4096;

enum class MetafileKind {
    kEnhanced,   // " EMF" at 40, bounds at 8 to 20
    kPlaceable,  // key 0x9AC6CDD7, bounding box at 6 to 12, 22-byte header
};

// The texture for a w x h picture (both above 0): the longer side becomes
// `maxSide` (the width when both are equal), the other the smallest power of
// two that is not below its share of it.
void MetafileTextureSize(int64_t w, int64_t h, int32_t maxSide, int32_t* width, int32_t* height);

// Draws the metafile in `data` into a new buffer (malloc) of *width x *height
// texels sized as above, 3 bytes each (blue, green, red), the bottom row
// first, over black. Null for bytes that are no metafile of that kind, a
// picture with empty bounds, or one the drawing libraries refuse.
uint8_t* RenderMetafile(const uint8_t* data, size_t size, MetafileKind kind, int32_t maxSide, int32_t* width,
                        int32_t* height);
