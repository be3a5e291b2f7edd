// Image sizes read from the files' headers before any decoding, and
// pictures too large to read refused from them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "scene/EngineServices.h"
#include "scene/ImageLimits.h"
#include "scene/VRTextureManager.h"
#include "support/ImageFiles.h"
#include "support/PeakMemory.h"
#include "support/ScratchFolder.h"
#include "support/ZipWriter.h"

using namespace qemtest;

namespace {

std::vector<std::string> g_warnings;
int KeepWarning(const char* text) {
    g_warnings.emplace_back(text);
    return 0;
}

std::vector<uint8_t> Of(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// A baseline JPEG's start: SOI, an APP0 segment, then the frame header.
std::string JpegStart(uint16_t width, uint16_t height, uint8_t marker = 0xC0) {
    std::string j = "\xFF\xD8\xFF\xE0";
    j += std::string("\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 16);
    j += "\xFF";
    j += static_cast<char>(marker);
    j += std::string("\x00\x11\x08", 3);
    j += static_cast<char>(height >> 8);
    j += static_cast<char>(height);
    j += static_cast<char>(width >> 8);
    j += static_cast<char>(width);
    j += std::string("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10);
    return j;
}

// A little-endian classic TIFF with one directory per size, chained.
std::string Tiff(const std::vector<std::pair<uint32_t, uint32_t>>& sizes, bool loop = false) {
    std::string t = "II*";
    t += '\0';
    auto le32 = [](std::string& s, uint32_t v) {
        for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i));
    };
    auto le16 = [](std::string& s, uint16_t v) {
        s += static_cast<char>(v);
        s += static_cast<char>(v >> 8);
    };
    le32(t, 8);
    for (size_t i = 0; i < sizes.size(); ++i) {
        le16(t, 3);
        for (const auto& [tag, value] : {std::pair<uint16_t, uint32_t>{256, sizes[i].first}, {257, sizes[i].second},
                                         {277, 3}}) {
            le16(t, tag);
            le16(t, 4);  // LONG
            le32(t, 1);
            le32(t, value);
        }
        const bool last = i + 1 == sizes.size();
        le32(t, last ? (loop ? 8 : 0) : static_cast<uint32_t>(t.size() + 4));
    }
    return t;
}

}  // namespace

TEST(ImageLimits, HeadersGiveTheSizeBeforeAnyDecoding) {
    const struct {
        const char* name;
        std::string bytes;
        ImageFileType type;
        bool read;
        int64_t width, height;
        bool fits;
    } cases[] = {
        {"png grey", PngBytes(3, 2, 1, std::vector<uint8_t>(6)), ImageFileType::Png, true, 3, 2, true},
        {"png 20000 square", UniformPngBytes(20000, 20000, 1, 0), ImageFileType::Png, true, 20000, 20000, false},
        {"png 1-bit grey over the budget", UniformPngBytes(11000, 11000, 1, 0), ImageFileType::Png, true, 11000, 11000,
         false},
        {"png of no height", UniformPngBytes(4, 0, 8, 0), ImageFileType::Png, false, 0, 0, false},
        {"png cut short", PngBytes(3, 2, 1, std::vector<uint8_t>(6)).substr(0, 30), ImageFileType::Png, false, 0, 0,
         false},
        {"jpeg", JpegStart(640, 480), ImageFileType::Jpeg, true, 640, 480, true},
        {"progressive jpeg", JpegStart(16000, 16000, 0xC2), ImageFileType::Jpeg, true, 16000, 16000, false},
        {"jpeg without a frame", JpegStart(640, 480).substr(0, 24), ImageFileType::Jpeg, false, 0, 0, false},
        {"tiff", Tiff({{100, 50}}), ImageFileType::Tiff, true, 100, 50, true},
        // A small first page does not hide a huge second one.
        {"tiff pages", Tiff({{10, 10}, {16000, 16000}}), ImageFileType::Tiff, true, 16000, 16000, false},
        {"tiff loop", Tiff({{10, 10}}, true), ImageFileType::Tiff, false, 0, 0, false},
    };
    for (const auto& c : cases) {
        ImageHeader h;
        const std::vector<uint8_t> bytes = Of(c.bytes);
        EXPECT_EQ(ReadImageHeader(bytes.data(), bytes.size(), c.type, h), c.read) << c.name;
        if (!c.read) continue;
        EXPECT_EQ(h.width, c.width) << c.name;
        EXPECT_EQ(h.height, c.height) << c.name;
        EXPECT_EQ(ImageFits(h), c.fits) << c.name << " " << h.decodedBytes;
    }
}

TEST(ImageLimits, AHugePictureInASmallFileIsRefusedBeforeDecoding) {
    ScratchFolder scratch;
    const std::string png = UniformPngBytes(20000, 20000, 8, 0);
    EXPECT_LT(png.size(), 1u << 20);
    const std::string path = scratch.Make("huge.png");
    ASSERT_TRUE(WriteFile(path, png));
    g_warnings.clear();
    SetEngineWarningHandler(KeepWarning);
    const PeakMemory peak;
    int32_t w = 0, h = 0, channels = 0;
    uint8_t* pixels = VRTextureManager::LoadImageLibrary(path.c_str(), &w, &h, &channels);
    const int64_t growth = peak.Growth();
    SetEngineWarningHandler(nullptr);
    EXPECT_EQ(pixels, nullptr);
    std::free(pixels);
    ASSERT_EQ(g_warnings.size(), 1u);
    EXPECT_NE(g_warnings[0].find("VRTextureManager : Unsupported format:"), std::string::npos) << g_warnings[0];
    EXPECT_NE(g_warnings[0].find("20000 x 20000"), std::string::npos) << g_warnings[0];
    if (peak.Available()) {
        std::cout << png.size() << "-byte PNG of 20000 x 20000: peak memory +" << growth << " bytes\n";
        EXPECT_LT(growth, int64_t{256} << 20);
    }
    // A picture that fits is still read.
    ASSERT_TRUE(WriteFile(path, PngBytes(2, 2, 3, std::vector<uint8_t>(12, 7))));
    pixels = VRTextureManager::LoadImageLibrary(path.c_str(), &w, &h, &channels);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(channels, 3);
    std::free(pixels);
}
