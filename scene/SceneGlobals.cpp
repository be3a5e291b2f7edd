#include "SceneGlobals.h"

int32_t TextureQuality = 2;
int32_t MaxTextureSize = 1024;
float TextureRoundingTolerance = 1.0f;
float MaxTextureAnisotropy = 1.0f;
float SceneFrameTextureLoad = 0.0f;
