// The texture manager's picture readers: the image library for JPEG, PNG
// and TIFF, and its own PPM reader.
#include <IL/il.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ScriptFile.h"
#include "scene/EngineServices.h"
#include "scene/ImageLimits.h"
#include "scene/VRTextureManager.h"

namespace {

// The decoder's type for a file, by its extension.
bool ImageLibraryType(const std::string& ext, ImageFileType& type, ILenum& ilType) {
    if (ext == "PNG") {
        type = ImageFileType::Png;
        ilType = IL_PNG;
    } else if (ext == "JPG" || ext == "JPEG") {
        type = ImageFileType::Jpeg;
        ilType = IL_JPG;
    } else if (ext == "TIF" || ext == "TIFF") {
        type = ImageFileType::Tiff;
        ilType = IL_TIF;
    } else {
        return false;
    }
    return true;
}

std::string UpperExtension(const char* path) {
    std::string ext;
    if (const char* dot = std::strrchr(path, '.'))
        for (const char* c = dot + 1; *c; ++c) ext += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    return ext;
}

}  // namespace

uint8_t* VRTextureManager::LoadImageLibrary(const char* path, int32_t* width, int32_t* height, int32_t* channels) {
    static const bool initialised = [] {
        ilInit();
        return true;
    }();
    (void)initialised;
    ImageFileType type;
    ILenum ilType;
    if (!ImageLibraryType(UpperExtension(path), type, ilType)) return nullptr;
    std::vector<uint8_t> bytes;
    if (!ScriptFile::ReadAll(path, kMaxImageFileBytes, bytes, nullptr) || bytes.size() > UINT32_MAX) return nullptr;
    // The size comes from the header, before the decoder allocates for it.
    ImageHeader header;
    if (!ReadImageHeader(bytes.data(), bytes.size(), type, header)) return nullptr;
    if (!ImageFits(header)) {
        ReportWarning("VRTextureManager : Unsupported format:",
                      ImageTooLargeDetail(path, header.width, header.height).c_str());
        return nullptr;
    }
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    // The library leaves a 1 x 1 default picture behind a failed load:
    // nothing was read, so there is no texture.
    if (!ilLoadL(ilType, bytes.data(), static_cast<ILuint>(bytes.size()))) {
        ilDeleteImages(1, &image);
        return nullptr;
    }
    bytes = std::vector<uint8_t>();
    const ILint w = ilGetInteger(IL_IMAGE_WIDTH);
    const ILint h = ilGetInteger(IL_IMAGE_HEIGHT);
    ILint bpp = ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL);
    if (bpp != 3 && bpp != 4) {
        const ILint format = ilGetInteger(IL_IMAGE_FORMAT);
        const bool bytes = ilGetInteger(IL_IMAGE_TYPE) == IL_UNSIGNED_BYTE;
        switch (format) {
        case IL_ALPHA:
        case IL_LUMINANCE_ALPHA: ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE); break;
        case IL_COLOUR_INDEX:
        case IL_LUMINANCE: ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE); break;
        case IL_RGBA:
        case IL_BGRA:
            if (!bytes) ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE);
            break;
        case IL_RGB:
        case IL_BGR:
            if (!bytes) ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE);
            break;
        default: break;
        }
        bpp = ilGetInteger(IL_IMAGE_BYTES_PER_PIXEL);
    }
    uint8_t* copy = nullptr;
    const ILubyte* data = ilGetData();
    if (data && w > 0 && h > 0 && bpp >= 1 && bpp <= 4) {
        const size_t size = static_cast<size_t>(w) * static_cast<size_t>(h) * static_cast<size_t>(bpp);
        copy = static_cast<uint8_t*>(std::malloc(size));
        if (copy) {
            std::memcpy(copy, data, size);
            *width = w;
            *height = h;
            *channels = bpp;
        }
    }
    ilDeleteImages(1, &image);
    return copy;
}

namespace {

// The next blank-separated word, at most 63 characters of it (the rest of a
// longer word is skipped). False at the end of the file.
bool ReadWord(FILE* file, std::string& word) {
    word.clear();
    int c;
    do {
        c = std::fgetc(file);
    } while (c != EOF && std::isspace(c));
    if (c == EOF) return false;
    for (; c != EOF && !std::isspace(c); c = std::fgetc(file))
        if (word.size() < 63) word += static_cast<char>(c);
    return true;
}

// The decimal number a word begins with, 0 when there is none.
long long LeadingNumber(const std::string& word) {
    errno = 0;
    const long long v = std::strtoll(word.c_str(), nullptr, 10);
    return errno == ERANGE ? -1 : v;
}

}  // namespace

uint8_t* ReadPpm(FILE* file, int32_t* width, int32_t* height, int32_t* channels) {
    *channels = 3;
    std::string word;
    if (!ReadWord(file, word)) return nullptr;
    const bool decimal = word == "P3";
    // Comment words convert to 0 and are passed over; the first number is the width.
    long long w = 0;
    while (w == 0) {
        if (!ReadWord(file, word)) return nullptr;
        w = LeadingNumber(word);
    }
    int h = 0, maxValue = 0;
    if (std::fscanf(file, "%i %i", &h, &maxValue) != 2) return nullptr;
    std::fgetc(file);
    if (w <= 0 || w > INT32_MAX || h <= 0) return nullptr;

    // Every sample takes at least one byte of the file.
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return nullptr;
    const long end = std::ftell(file);
    if (end < here || std::fseek(file, here, SEEK_SET) != 0) return nullptr;
    if (w > (end - here) / 3 / h) return nullptr;
    const long long bytes = w * h * 3;

    auto* pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
    if (!pixels) return nullptr;
    if (decimal) {
        for (long long i = 0; i < bytes; i += 3) {
            int r = 0, g = 0, b = 0;
            if (std::fscanf(file, "%i %i %i", &r, &g, &b) != 3) {
                std::free(pixels);
                return nullptr;
            }
            pixels[i] = static_cast<uint8_t>(r);
            pixels[i + 1] = static_cast<uint8_t>(g);
            pixels[i + 2] = static_cast<uint8_t>(b);
        }
    } else if (std::fread(pixels, 1, static_cast<size_t>(bytes), file) != static_cast<size_t>(bytes)) {
        std::free(pixels);
        return nullptr;
    }
    *width = static_cast<int32_t>(w);
    *height = h;
    return pixels;
}

uint8_t* VRTextureManager::LoadPpm(const char* path, int32_t* width, int32_t* height, int32_t* channels) {
    // Every sample takes a byte of the file at least: the file's cap bounds
    // the picture.
    FILE* file = ScriptFile::Open(path, kMaxImageFileBytes).TakeStdio();
    if (!file) return nullptr;
    uint8_t* pixels = ReadPpm(file, width, height, channels);
    std::fclose(file);
    return pixels;
}
