#include "functions/AamFileKind.h"

#include <cstring>

#include "scene/EngineServices.h"

namespace {

struct NamedKind {
    const char* token;
    int32_t kind;
};

constexpr NamedKind kHeaders[] = {{"AAM_MESH", 1}, {"AAM_CHARACTER", 2}, {"AAM_MESH_MULTIFRAME", 3}, {"AAM_AVATAR", 4}};
constexpr NamedKind kAnimationModes[] = {{"None", 1}, {"Keyframe", 2}, {"Full", 3}};
constexpr const char* kAnimationMode = "Animation_mode:";
constexpr const char* kFrame = "Frame:";

template <size_t N>
int32_t KindOf(const char* token, const NamedKind (&table)[N]) {
    for (const NamedKind& k : table)
        if (std::strcmp(token, k.token) == 0) return k.kind;
    return -1;
}

}  // namespace

int32_t AamFileKind(FILE* file) {
    TokenizerReset();
    const char* token = TokenizerNextToken(file, 0);
    const int32_t header = KindOf(token, kHeaders);
    if (header > 0) return header;
    // A first token that is one of the keywords is where the search stops.
    const bool keyword = std::strcmp(token, kAnimationMode) == 0 || std::strcmp(token, kFrame) == 0;
    const char* found = keyword ? token : TokenizerSkipTo(file, kAnimationMode, kFrame, nullptr, 0);
    if (found && std::strcmp(found, kFrame) == 0) return 1;
    return KindOf(TokenizerNextToken(file, 0), kAnimationModes);
}
