#include "SystemFonts.h"

#include <fontconfig/fontconfig.h>

#include <mutex>

std::string FontFileForFace(const std::string& face) {
    // Fontconfig's configuration is one for the process; its first load is
    // not safe to race.
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    if (!FcInit()) return std::string();
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return std::string();
    if (!face.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
    // Outline faces only: bitmap fonts have no shapes to tessellate.
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string file;
    FcChar8* path = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
        file = reinterpret_cast<const char*>(path);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return file;
}
