#include "scene/DdsImage.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/ImageFiles.h"

using qemtest::DdsHeader;
using qemtest::DdsHeaderBytes;

namespace {

bool LoadBytes(DDSImage& image, const std::string& file, bool flip = false) {
    return image.LoadFromMemory(reinterpret_cast<const uint8_t*>(file.data()), file.size(), flip);
}

std::string Contiguous(const DDSImage& image) {
    std::unique_ptr<uint8_t, decltype(&std::free)> data(image.GetContiguousData(), &std::free);
    if (!data) return {};
    return std::string(reinterpret_cast<const char*>(data.get()), image.GetContiguousSize());
}

std::string Bytes(const nv_dds::CSurface& s) {
    return std::string(reinterpret_cast<const char*>(s.GetPixels()), static_cast<size_t>(s.GetSize()));
}

// Distinct bytes 0, 1, 2, ... so that any misplaced byte shows.
std::string Counting(size_t n, int start = 0) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(start + static_cast<int>(i));
    return s;
}

TEST(DdsImage, CubeMapWithMipsIsLaidOutFaceAfterFace) {
    DdsHeader h;
    h.width = h.height = 4;
    h.mipMapCount = 3;
    h.caps2 = qemtest::kDdsCubemap;
    // Per face: 4x4, 2x2 and 1x1, one 8-byte DXT1 block each.
    const std::string pixels = Counting(6 * 3 * 8);
    DDSImage image;
    ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + pixels));
    EXPECT_TRUE(image.IsValid());
    EXPECT_TRUE(image.IsCubemap());
    EXPECT_TRUE(image.IsCompressed());
    EXPECT_FALSE(image.IsVolume());
    EXPECT_EQ(image.GetFormat(), static_cast<uint32_t>(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT));
    EXPECT_EQ(image.GetComponents(), 3);
    ASSERT_EQ(image.GetImageCount(), 6);
    EXPECT_EQ(image.GetMipCount(), 2);
    EXPECT_EQ(image.GetImage(5).GetMipmap(1).GetWidth(), 1);
    // The layout the upload reads: face 0 levels 0-2, face 1 levels 0-2, ...
    EXPECT_EQ(Contiguous(image), pixels);
}

TEST(DdsImage, UncompressedFormats) {
    struct Case {
        const char* name;
        uint32_t flags, bits;
        uint32_t format;
        int32_t components;
    } cases[] = {
        {"BGRA with alpha flag", qemtest::kDdsRgba, 32, GL_BGRA, 4},
        {"BGRA without alpha flag", qemtest::kDdsRgb, 32, GL_BGRA, 4},
        {"BGR", qemtest::kDdsRgb, 24, GL_BGR, 3},
        {"alpha", qemtest::kDdsAlpha, 8, GL_ALPHA, 1},
        {"luminance alpha", qemtest::kDdsLuminanceAlpha, 16, GL_LUMINANCE_ALPHA, 2},
    };
    for (const Case& c : cases) {
        DdsHeader h;
        h.width = 4;
        h.height = 2;
        h.pixelFlags = c.flags;
        h.bitCount = c.bits;
        DDSImage image;
        ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + Counting(8 * static_cast<size_t>(c.components)))) << c.name;
        EXPECT_EQ(image.GetFormat(), c.format) << c.name;
        EXPECT_EQ(image.GetComponents(), c.components) << c.name;
        EXPECT_FALSE(image.IsCompressed()) << c.name;
        EXPECT_EQ(image.GetMipCount(), 0) << c.name;
    }
}

TEST(DdsImage, RowsOf2DLevelZeroArePaddedToFourBytes) {
    DdsHeader h;
    h.width = 5;
    h.height = 3;
    h.mipMapCount = 2;
    h.pixelFlags = qemtest::kDdsRgb;
    h.bitCount = 24;
    const std::string level0 = Counting(45, 1);
    const std::string level1 = Counting(2 * 1 * 3, 100);  // 2x1, not padded
    DDSImage image;
    ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + level0 + level1));
    const nv_dds::CSurface& s = image.GetImage(0);
    ASSERT_EQ(s.GetSize(), 48);
    std::string expected;
    for (int row = 0; row < 3; ++row) expected += level0.substr(static_cast<size_t>(row) * 15, 15) + '\0';
    EXPECT_EQ(Bytes(s), expected);
    EXPECT_EQ(Bytes(image.GetImage(0).GetMipmap(0)), level1);
    EXPECT_EQ(image.GetContiguousSize(), 54u);

    // Rows of 4 x 3 bytes already have that length, and cube faces are not padded.
    h.width = 4;
    h.mipMapCount = 0;
    ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + Counting(36)));
    EXPECT_EQ(image.GetImage(0).GetSize(), 36);
    h.width = 5;
    h.height = 1;
    h.caps2 = qemtest::kDdsCubemap;
    ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + Counting(6 * 15)));
    EXPECT_EQ(image.GetImage(3).GetSize(), 15);
}

TEST(DdsImage, VolumeKeepsItsDepthAndLevelChain) {
    DdsHeader h;
    h.width = h.height = 2;
    h.depth = 2;
    h.mipMapCount = 2;
    h.pixelFlags = qemtest::kDdsRgba;
    h.bitCount = 32;
    h.caps2 = qemtest::kDdsVolume;
    const std::string pixels = Counting(2 * 2 * 2 * 4 + 4);
    DDSImage image;
    ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + pixels));
    EXPECT_TRUE(image.IsVolume());
    EXPECT_EQ(image.GetDepth(), 2);
    EXPECT_EQ(image.GetImage(0).GetSize(), 32);  // not padded
    EXPECT_EQ(image.GetImage(0).GetMipmap(0).GetDepth(), 1);
    EXPECT_EQ(Contiguous(image), pixels);

    // A depth without the volume bit reads the slices but is no volume.
    h.caps2 = 0;
    h.mipMapCount = 0;
    ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + Counting(32)));
    EXPECT_FALSE(image.IsVolume());
    EXPECT_EQ(image.GetImage(0).GetSize(), 32);
}

TEST(DdsImage, FlipReversesRowsAndBlocks) {
    // Uncompressed: 1 x 3 of one byte per texel, rows reversed.
    DdsHeader h;
    h.width = 4;
    h.height = 3;
    h.pixelFlags = qemtest::kDdsAlpha;
    h.bitCount = 8;
    DDSImage image;
    ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + "aaaabbbbcccc", true));
    EXPECT_EQ(Bytes(image.GetImage(0)), "ccccbbbbaaaa");

    // Compressed 4 x 12: three block rows; the outer two are exchanged with
    // their texel rows reversed, the middle one stays as it is.
    struct Case {
        const char* fourCC;
        std::string block, flipped;
    } cases[] = {
        {"DXT1", std::string("\x01\x02\x03\x04" "ABCD", 8), std::string("\x01\x02\x03\x04" "DCBA", 8)},
        {"DXT3", std::string("aabbccdd" "\x01\x02\x03\x04" "ABCD", 16),
         std::string("ddccbbaa" "\x01\x02\x03\x04" "DCBA", 16)},
        {"DXT5", std::string("\xF0\x0F" "\x01\x30\x02\x56\x94\x78" "\x01\x02\x03\x04" "ABCD", 16),
         std::string("\xF0\x0F" "\x89\x67\x45\x23\x10\x00" "\x01\x02\x03\x04" "DCBA", 16)},
    };
    for (const Case& c : cases) {
        h = DdsHeader();
        h.width = 4;
        h.height = 12;
        h.fourCC = c.fourCC;
        const std::string middle(c.block.size(), 'm');
        ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + c.block + middle + c.block, true)) << c.fourCC;
        const std::string got = Bytes(image.GetImage(0));
        EXPECT_EQ(got.substr(0, c.block.size()), c.flipped) << c.fourCC;
        EXPECT_EQ(got.substr(c.block.size(), c.block.size()), middle) << c.fourCC;
        EXPECT_EQ(got.substr(2 * c.block.size()), c.flipped) << c.fourCC;
        // A single block row stays as it is.
        h.height = 4;
        ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + c.block, true)) << c.fourCC;
        EXPECT_EQ(Bytes(image.GetImage(0)), c.block) << c.fourCC;
    }
}

TEST(DdsImage, FlipExchangesCubeFacesTwoAndThree) {
    DdsHeader h;
    h.width = h.height = 1;
    h.pixelFlags = qemtest::kDdsAlpha;
    h.bitCount = 8;
    h.caps2 = qemtest::kDdsCubemap;
    DDSImage image;
    ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + "012345", true));
    std::string faces;
    for (int i = 0; i < 6; ++i) faces += Bytes(image.GetImage(i)).substr(0, 1);
    EXPECT_EQ(faces, "013245");
    EXPECT_EQ(Contiguous(image), "013245");
    ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + "012345", false));
    EXPECT_EQ(Contiguous(image), "012345");
}

TEST(DdsImage, RefusesWhatItCannotReadWhole) {
    DdsHeader dxt1;
    dxt1.width = dxt1.height = 8;
    DdsHeader dxt2 = dxt1;
    dxt2.fourCC = "DXT2";
    DdsHeader huge = dxt1;
    huge.width = huge.height = 64;
    DdsHeader zero = dxt1;
    zero.width = 0;
    DdsHeader giant = dxt1;
    giant.width = giant.height = 0xFFFFFFFFu;
    DdsHeader deep = dxt1;
    deep.depth = 0x7FFFFFFF;
    deep.caps2 = qemtest::kDdsVolume;
    DdsHeader mips = dxt1;
    mips.mipMapCount = 4;  // 8x8, 4x4, 2x2, 1x1: 4 blocks + 3 blocks
    DdsHeader rgb16;
    rgb16.width = rgb16.height = 2;
    rgb16.pixelFlags = qemtest::kDdsRgb;
    rgb16.bitCount = 16;
    DdsHeader cube = dxt1;
    cube.caps2 = qemtest::kDdsCubemap;

    struct Case {
        const char* name;
        std::string file;
    } cases[] = {
        {"empty", ""},
        {"wrong magic", "DDS_" + DdsHeaderBytes(dxt1).substr(4) + std::string(32, 'x')},
        {"header cut short", DdsHeaderBytes(dxt1).substr(0, 100)},
        {"FourCC DXT2", DdsHeaderBytes(dxt2) + std::string(32, 'x')},
        {"16-bit RGB", DdsHeaderBytes(rgb16) + std::string(8, 'x')},
        {"64x64 DXT1 with 10 data bytes", DdsHeaderBytes(huge) + std::string(10, 'x')},
        {"level 0 one byte short", DdsHeaderBytes(dxt1) + std::string(31, 'x')},
        {"mip chain one byte short", DdsHeaderBytes(mips) + std::string(4 * 8 + 3 * 8 - 1, 'x')},
        {"cube with one face", DdsHeaderBytes(cube) + std::string(32, 'x')},
        {"zero width", DdsHeaderBytes(zero) + std::string(32, 'x')},
        {"sides of 2^32 - 1", DdsHeaderBytes(giant) + std::string(64, 'x')},
        {"depth of 2^31 - 1", DdsHeaderBytes(deep) + std::string(64, 'x')},
    };
    for (const Case& c : cases) {
        DDSImage image;
        EXPECT_FALSE(LoadBytes(image, c.file)) << c.name;
        EXPECT_FALSE(image.IsValid()) << c.name;
        EXPECT_EQ(image.GetImageCount(), 0) << c.name;
        EXPECT_EQ(image.GetContiguousData(), nullptr) << c.name;
    }
    DDSImage image;
    EXPECT_FALSE(image.Load("/nonexistent/folder/file.dds"));
    // The chain that is there loads.
    EXPECT_TRUE(LoadBytes(image, DdsHeaderBytes(mips) + std::string(7 * 8, 'x')));
    EXPECT_EQ(image.GetMipCount(), 3);
}

TEST(DdsImage, MipCountBeyondTheFullChainStopsAtOneTexel) {
    DdsHeader h;
    h.width = h.height = 4;
    h.mipMapCount = 0xFFFFFFFFu;
    DDSImage image;
    ASSERT_TRUE(LoadBytes(image, DdsHeaderBytes(h) + std::string(3 * 8, 'x')));
    EXPECT_EQ(image.GetMipCount(), 2);
    EXPECT_EQ(image.GetContiguousSize(), 24u);
}

}  // namespace
