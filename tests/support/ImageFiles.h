// Image files written byte by byte for texture tests and fuzz seeds: DDS
// headers, Radiance RGBE files, PNG and PPM pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qemtest {

// DDS pixel-format flags and second capability bits as the reader knows them.
constexpr uint32_t kDdsFourCC = 0x4;
constexpr uint32_t kDdsRgb = 0x40;
constexpr uint32_t kDdsRgba = 0x41;
constexpr uint32_t kDdsAlpha = 0x2;
constexpr uint32_t kDdsLuminanceAlpha = 0x20001;
constexpr uint32_t kDdsCubemap = 0x200 | 0xFC00;  // with the six face bits writers set
constexpr uint32_t kDdsVolume = 0x200000;

struct DdsHeader {
    uint32_t width = 0, height = 0, depth = 0, mipMapCount = 0;
    uint32_t pixelFlags = kDdsFourCC;
    std::string fourCC = "DXT1";
    uint32_t bitCount = 0;
    uint32_t caps2 = 0;
};

// The 128 bytes before the pixels: "DDS " and the 124-byte header.
std::string DdsHeaderBytes(const DdsHeader& h);

// One DXT1 block of two RGB565 colours with 2-bit indices, one byte per row.
std::string Dxt1Block(uint16_t c0, uint16_t c1, const uint8_t rows[4]);
// One DXT1 block of a single colour (every index 0).
std::string Dxt1Solid(uint16_t colour);

// A Radiance file: the header lines for width x height, then `pixels`.
std::string RgbeHeaderBytes(int width, int height);
// One scanline run-length encoded channel by channel, each channel as runs
// of identical bytes (count > 128) where three or more repeat, literals
// (count <= 128) otherwise.
std::string RgbeRleScanline(const std::vector<uint8_t>& rgbe);  // 4 bytes per texel

// A PNG of 8-bit samples: channels 1 (grey), 2 (grey, alpha), 3 (RGB) or 4 (RGBA).
std::string PngBytes(int width, int height, int channels, const std::vector<uint8_t>& samples);

// A raw PPM ("P6") of RGB bytes.
std::string PpmBytes(int width, int height, const std::vector<uint8_t>& rgb);

// Little-endian helpers.
void PutLe32(std::string& s, uint32_t v);
void PutLe16(std::string& s, uint16_t v);

}  // namespace qemtest
