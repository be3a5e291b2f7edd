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

std::string UniformPngBytes(uint32_t width, uint32_t height, int bitDepth, int colourType) {
    static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    PutBe32(ihdr, width);
    PutBe32(ihdr, height);
    ihdr += static_cast<char>(bitDepth);
    ihdr += static_cast<char>(colourType);
    ihdr += std::string(3, '\0');
    PngChunk(out, "IHDR", ihdr);
    // Row by row through the compressor: the picture itself never exists.
    const size_t rowBytes = (static_cast<size_t>(width) * kChannels[colourType] * bitDepth + 7) / 8 + 1;
    std::vector<uint8_t> row(rowBytes, 0);
    std::string packed;
    z_stream z{};
    deflateInit(&z, 9);
    std::vector<uint8_t> chunk(1 << 16);
    auto drain = [&](int flush) {
        do {
            z.next_out = chunk.data();
            z.avail_out = static_cast<uInt>(chunk.size());
            deflate(&z, flush);
            packed.append(reinterpret_cast<const char*>(chunk.data()), chunk.size() - z.avail_out);
        } while (z.avail_out == 0);
    };
    for (uint32_t y = 0; y < height; ++y) {
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        drain(Z_NO_FLUSH);
    }
    drain(Z_FINISH);
    deflateEnd(&z);
    PngChunk(out, "IDAT", packed);
    PngChunk(out, "IEND", "");
    return out;
}

std::vector<uint8_t> GlyphGridPixels(int cell, int height, const std::function<int(int)>& opaque) {
    const int width = 16 * cell;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 255);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int k = (y / cell) * 16 + x / cell;
            pixels[(static_cast<size_t>(y) * width + x) * 4 + 3] = x % cell < opaque(k) ? 255 : 0;
        }
    return pixels;
}

std::string GlyphGridPng(int cell, int height, const std::function<int(int)>& opaque) {
    return PngBytes(16 * cell, height, 4, GlyphGridPixels(cell, height, opaque));
}

std::string PpmBytes(int width, int height, const std::vector<uint8_t>& rgb) {
    std::string s = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    s.append(reinterpret_cast<const char*>(rgb.data()), rgb.size());
    return s;
}

}  // namespace qemtest

namespace qemtest {

namespace {

std::string FourCC(const char* code) { return std::string(code, 4); }

std::string RiffChunk(const char* id, const std::string& data) {
    std::string s = FourCC(id);
    PutLe32(s, static_cast<uint32_t>(data.size()));
    s += data;
    if (data.size() % 2) s += '\0';
    return s;
}

std::string RiffList(const char* type, const char* id, const std::string& data) {
    return RiffChunk(type, FourCC(id) + data);
}

}  // namespace

std::vector<uint8_t> SolidFrame(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> out;
    for (int i = 0; i < width * height; ++i) out.insert(out.end(), {r, g, b});
    return out;
}

std::string AviBytes(int width, int height, int fps, const std::vector<std::vector<uint8_t>>& frames, bool index) {
    const uint32_t rowBytes = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t frameBytes = rowBytes * static_cast<uint32_t>(height);
    const uint32_t count = static_cast<uint32_t>(frames.size());

    std::string avih;
    for (uint32_t v : {1000000u / fps, frameBytes * fps, 0u, index ? 0x10u : 0u, count, 0u, 1u, frameBytes,
                       uint32_t(width), uint32_t(height), 0u, 0u, 0u, 0u})
        PutLe32(avih, v);
    std::string strh = FourCC("vids") + FourCC("DIB ");
    for (uint32_t v : {0u, 0u, 0u, 1u, uint32_t(fps), 0u, count, frameBytes, 0xFFFFFFFFu, 0u}) PutLe32(strh, v);
    for (uint16_t v : {uint16_t(0), uint16_t(0), uint16_t(width), uint16_t(height)}) PutLe16(strh, v);
    std::string strf;  // BITMAPINFOHEADER: bottom-up rows, 24 bits, no compression
    for (uint32_t v : {40u, uint32_t(width), uint32_t(height)}) PutLe32(strf, v);
    PutLe16(strf, 1);
    PutLe16(strf, 24);
    for (uint32_t v : {0u, frameBytes, 0u, 0u, 0u, 0u}) PutLe32(strf, v);
    const std::string hdrl = RiffList("LIST", "hdrl",
                                      RiffChunk("avih", avih) +
                                          RiffList("LIST", "strl", RiffChunk("strh", strh) + RiffChunk("strf", strf)));

    std::string movi, idx1;
    uint32_t offset = 4;  // from the "movi" type
    for (const auto& rgb : frames) {
        std::string dib(frameBytes, '\0');
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* from = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
                char* to = &dib[(height - 1 - y) * rowBytes + x * 3];
                to[0] = static_cast<char>(from[2]);
                to[1] = static_cast<char>(from[1]);
                to[2] = static_cast<char>(from[0]);
            }
        idx1 += FourCC("00db");
        PutLe32(idx1, 0x10);  // key frame
        PutLe32(idx1, offset);
        PutLe32(idx1, frameBytes);
        const std::string chunk = RiffChunk("00db", dib);
        movi += chunk;
        offset += static_cast<uint32_t>(chunk.size());
    }
    std::string body = FourCC("AVI ") + hdrl + RiffList("LIST", "movi", movi);
    if (index) body += RiffChunk("idx1", idx1);
    return RiffChunk("RIFF", body);
}

std::string EmfRecord(uint32_t type, const std::vector<uint32_t>& params) {
    std::string s;
    PutLe32(s, type);
    PutLe32(s, static_cast<uint32_t>(8 + 4 * params.size()));
    for (uint32_t v : params) PutLe32(s, v);
    return s;
}

std::string EmfBytes(int32_t left, int32_t top, int32_t right, int32_t bottom, const std::string& records) {
    const std::string end = EmfRecord(14, {0, 16, 20});  // EMR_EOF
    constexpr uint32_t kHeaderBytes = 108;
    // A 96 dots-per-inch reference device of 1024 x 768 pixels.
    const auto hundredthsOfMm = [](int32_t pixels) { return static_cast<uint32_t>(pixels * 2540 / 96); };
    std::string h;
    for (uint32_t v : {1u, kHeaderBytes, uint32_t(left), uint32_t(top), uint32_t(right), uint32_t(bottom),
                       hundredthsOfMm(left), hundredthsOfMm(top), hundredthsOfMm(right), hundredthsOfMm(bottom),
                       0x464D4520u, 0x10000u, uint32_t(kHeaderBytes + records.size() + end.size()), 0u,
                       8u /* handles, and the reserved half */, 0u, 0u, 0u, 1024u, 768u, 270u, 203u, 0u, 0u, 0u,
                       270000u, 203000u})
        PutLe32(h, v);
    // The record count counts the header and the end too.
    uint32_t count = 2;
    for (size_t at = 0; at + 8 <= records.size(); ++count) {
        const auto* p = reinterpret_cast<const uint8_t*>(records.data() + at + 4);
        at += uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    }
    for (int i = 0; i < 4; ++i) h[52 + i] = static_cast<char>((count >> (8 * i)) & 0xFF);
    return h + records + end;
}

std::string EmfFilledRectangle(uint32_t colour, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return EmfRecord(39, {1, 0, colour, 0}) +  // EMR_CREATEBRUSHINDIRECT: object 1, solid
           EmfRecord(37, {1}) +                // EMR_SELECTOBJECT
           EmfRecord(37, {0x80000008}) +       // EMR_SELECTOBJECT of the stock null pen
           EmfRecord(43, {uint32_t(left), uint32_t(top), uint32_t(right), uint32_t(bottom)});  // EMR_RECTANGLE
}

std::string WmfRecord(uint16_t function, const std::vector<uint16_t>& params) {
    std::string s;
    PutLe32(s, static_cast<uint32_t>(3 + params.size()));
    PutLe16(s, function);
    for (uint16_t v : params) PutLe16(s, v);
    return s;
}

std::string WmfBytes(uint16_t left, uint16_t top, uint16_t right, uint16_t bottom, uint16_t inch,
                     const std::string& records) {
    const std::string body = WmfRecord(0x020B, {top, left}) +                                  // META_SETWINDOWORG
                             WmfRecord(0x020C, {uint16_t(bottom - top), uint16_t(right - left)}) +  // META_SETWINDOWEXT
                             records + WmfRecord(0, {});
    std::string placeable;
    PutLe32(placeable, 0x9AC6CDD7);
    for (uint16_t v : {uint16_t(0), left, top, right, bottom, inch}) PutLe16(placeable, v);
    PutLe32(placeable, 0);
    uint16_t sum = 0;
    for (size_t i = 0; i < placeable.size(); i += 2)
        sum ^= static_cast<uint16_t>(static_cast<uint8_t>(placeable[i]) | static_cast<uint8_t>(placeable[i + 1]) << 8);
    PutLe16(placeable, sum);
    std::string header;
    for (uint16_t v : {uint16_t(1), uint16_t(9), uint16_t(0x300)}) PutLe16(header, v);
    PutLe32(header, static_cast<uint32_t>((18 + body.size()) / 2));
    PutLe16(header, 2);   // objects
    PutLe32(header, 16);  // longest record, in words
    PutLe16(header, 0);
    return placeable + header + body;
}

std::string WmfFilledRectangle(uint32_t colour, int16_t left, int16_t top, int16_t right, int16_t bottom) {
    return WmfRecord(0x02FC, {0, uint16_t(colour & 0xFFFF), uint16_t(colour >> 16), 0}) +  // META_CREATEBRUSHINDIRECT
           WmfRecord(0x012D, {0}) +                                                     // META_SELECTOBJECT
           WmfRecord(0x02FA, {5, 0, 0, 0, 0}) +  // META_CREATEPENINDIRECT: the null pen
           WmfRecord(0x012D, {1}) +
           WmfRecord(0x041B, {uint16_t(bottom), uint16_t(right), uint16_t(top), uint16_t(left)}) +  // META_RECTANGLE
           WmfRecord(0x01F0, {0}) + WmfRecord(0x01F0, {1});  // META_DELETEOBJECT: the slots are free again
}

}  // namespace qemtest
