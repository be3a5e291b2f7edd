#include "support/ImageFiles.h"

#include <zlib.h>

#include <cstring>

namespace qemtest {

void PutLe32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PutLe16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

std::string DdsHeaderBytes(const DdsHeader& h) {
    std::string s = "DDS ";
    std::string header(124, '\0');
    auto put = [&header](size_t fileOffset, uint32_t v) {
        for (int i = 0; i < 4; ++i) header[fileOffset - 4 + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(4, 124);                   // header size
    put(8, 0x1 | 0x2 | 0x4 | 0x1000);  // caps, height, width, pixel format
    put(12, h.height);
    put(16, h.width);
    put(24, h.depth);
    put(28, h.mipMapCount);
    put(76, 32);  // pixel-format size
    put(80, h.pixelFlags);
    uint32_t cc = 0;
    for (size_t i = 0; i < 4 && i < h.fourCC.size(); ++i) cc |= static_cast<uint32_t>(static_cast<uint8_t>(h.fourCC[i])) << (8 * i);
    put(84, cc);
    put(88, h.bitCount);
    put(108, 0x1000);  // caps: texture
    put(112, h.caps2);
    return s + header;
}

std::string Dxt1Block(uint16_t c0, uint16_t c1, const uint8_t rows[4]) {
    std::string s;
    PutLe16(s, c0);
    PutLe16(s, c1);
    for (int i = 0; i < 4; ++i) s += static_cast<char>(rows[i]);
    return s;
}

std::string Dxt1Solid(uint16_t colour) {
    const uint8_t rows[4] = {0, 0, 0, 0};
    return Dxt1Block(colour, 0, rows);
}

std::string RgbeHeaderBytes(int width, int height) {
    return "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(height) + " +X " + std::to_string(width) +
           "\n";
}

std::string RgbeRleScanline(const std::vector<uint8_t>& rgbe) {
    const size_t width = rgbe.size() / 4;
    std::string s;
    s += '\x02';
    s += '\x02';
    s += static_cast<char>(width >> 8);
    s += static_cast<char>(width & 0xFF);
    for (size_t c = 0; c < 4; ++c) {
        std::vector<uint8_t> ch(width);
        for (size_t i = 0; i < width; ++i) ch[i] = rgbe[i * 4 + c];
        size_t i = 0;
        while (i < width) {
            size_t run = 1;
            while (i + run < width && run < 127 && ch[i + run] == ch[i]) ++run;
            if (run >= 3) {
                s += static_cast<char>(128 + run);
                s += static_cast<char>(ch[i]);
                i += run;
                continue;
            }
            size_t lit = 0;
            while (i + lit < width && lit < 128) {
                if (i + lit + 2 < width && ch[i + lit] == ch[i + lit + 1] && ch[i + lit] == ch[i + lit + 2]) break;
                ++lit;
            }
            s += static_cast<char>(lit);
            for (size_t k = 0; k < lit; ++k) s += static_cast<char>(ch[i + k]);
            i += lit;
        }
    }
    return s;
}

namespace {

void PutBe32(std::string& s, uint32_t v) {
    for (int i = 3; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void PngChunk(std::string& out, const char* type, const std::string& data) {
    PutBe32(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    PutBe32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

std::string PngBytes(int width, int height, int channels, const std::vector<uint8_t>& samples) {
    static const uint8_t colourType[5] = {0, 0, 4, 2, 6};
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    PutBe32(ihdr, static_cast<uint32_t>(width));
    PutBe32(ihdr, static_cast<uint32_t>(height));
    ihdr += '\x08';
    ihdr += static_cast<char>(colourType[channels]);
    ihdr += std::string(3, '\0');
    PngChunk(out, "IHDR", ihdr);
    std::string raw;
    const size_t row = static_cast<size_t>(width) * static_cast<size_t>(channels);
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // no filter
        raw.append(reinterpret_cast<const char*>(samples.data()) + static_cast<size_t>(y) * row, row);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 6);
    packed.resize(packedSize);
    PngChunk(out, "IDAT", packed);
    PngChunk(out, "IEND", "");
    return out;
}

std::string PpmBytes(int width, int height, const std::vector<uint8_t>& rgb) {
    std::string s = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    s.append(reinterpret_cast<const char*>(rgb.data()), rgb.size());
    return s;
}

}  // namespace qemtest
