// Image files written byte by byte for texture tests and fuzz seeds: DDS
// headers, Radiance RGBE files, PNG and PPM pictures.
#pragma once

#include <cstdint>
#include <functional>
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

// A PNG of width x height texels that are all 0, of the bit depth and PNG
// colour type given: tiny files of huge pictures (20000 x 20000 grey takes
// a few hundred kilobytes).
std::string UniformPngBytes(uint32_t width, uint32_t height, int bitDepth, int colourType);

// The RGBA pixels of a glyph grid, the top row first: 16 square white cells
// of `cell` pixels across, `height` pixels high, of which the first
// opaque(k) columns of cell k (counted row by row) have alpha 255 and the
// others alpha 0.
std::vector<uint8_t> GlyphGridPixels(int cell, int height, const std::function<int(int)>& opaque);
// The same grid as a PNG.
std::string GlyphGridPng(int cell, int height, const std::function<int(int)>& opaque);

// A raw PPM ("P6") of RGB bytes.
std::string PpmBytes(int width, int height, const std::vector<uint8_t>& rgb);

// An uncompressed AVI of one 24-bit video stream at `fps` frames a second:
// each frame top row first, width x height x 3 bytes red, green, blue. With
// `index` the file ends with its frame index (key frames all).
std::string AviBytes(int width, int height, int fps, const std::vector<std::vector<uint8_t>>& frames,
                     bool index = true);
// A frame of one colour.
std::vector<uint8_t> SolidFrame(int width, int height, uint8_t r, uint8_t g, uint8_t b);

// Enhanced metafiles: a record of `type` with 32-bit parameters; a whole file
// of a header with bounds (left, top, right, bottom) in pixels, the records
// and the end record.
std::string EmfRecord(uint32_t type, const std::vector<uint32_t>& params);
std::string EmfBytes(int32_t left, int32_t top, int32_t right, int32_t bottom, const std::string& records);
// Records that fill (left, top, right, bottom) with a solid brush of 0x00BBGGRR.
std::string EmfFilledRectangle(uint32_t colour, int32_t left, int32_t top, int32_t right, int32_t bottom);

// Placeable Windows metafiles: a record of `function` with 16-bit
// parameters; a whole file with its box (left, top, right, bottom) in units
// of which `inch` make an inch, the window set to the box, the records and
// the end record.
std::string WmfRecord(uint16_t function, const std::vector<uint16_t>& params);
std::string WmfBytes(uint16_t left, uint16_t top, uint16_t right, uint16_t bottom, uint16_t inch,
                     const std::string& records);
// Records that fill (left, top, right, bottom) with a solid brush of
// 0x00BBGGRR, using object slots 0 and 1 and freeing them again.
std::string WmfFilledRectangle(uint32_t colour, int16_t left, int16_t top, int16_t right, int16_t bottom);

// Little-endian helpers.
void PutLe32(std::string& s, uint32_t v);
void PutLe16(std::string& s, uint16_t v);

}  // namespace qemtest
