// How large a picture the texture readers decode, and the sizes image files
// say they have, read from their headers before anything decodes them. A
// small file can announce a huge picture (a PNG of a few hundred kilobytes
// can hold 20000 x 20000 texels of one colour): every reader asks
// ImageFits first and refuses what does not, so no file makes a decoder
// take more memory than this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The longest side of a picture read (the largest texture any GL here
// takes), and the most bytes the decoded texels of one file may take.
constexpr int64_t kMaxImageSide = 16384;
constexpr int64_t kMaxImageBytes = int64_t{512} << 20;
// The largest image file read (a texture, a terrain picture, a video is
// streamed and has none).
constexpr uint64_t kMaxImageFileBytes = uint64_t{256} << 20;

// Whether `images` pictures of width x height texels of bytesPerTexel bytes
// each may be decoded.
bool ImageFits(int64_t width, int64_t height, int64_t bytesPerTexel, int64_t images = 1);

// The detail of the warning for a picture that does not fit: the name and
// the size it says it has.
std::string ImageTooLargeDetail(const std::string& name, int64_t width, int64_t height);

// What an image file's header says: the size of its (largest) picture and
// the bytes all its pictures take once decoded, counting the decoder's own
// texels and the copy of 8-bit RGB(A) texels made from them.
struct ImageHeader {
    int64_t width = 0;
    int64_t height = 0;
    int64_t decodedBytes = 0;  // INT64_MAX when past counting
};

// Whether the pictures of a file with that header may be decoded.
bool ImageFits(const ImageHeader& header);

enum class ImageFileType { Png, Jpeg, Tiff };

// Reads the header of a PNG (IHDR), JPEG (the first frame header) or TIFF
// file (every image directory, classic or big); false when the bytes are no
// such file or the header is cut short.
bool ReadImageHeader(const uint8_t* data, size_t size, ImageFileType type, ImageHeader& header);
