// The capture's conversion to YV12 and the VP8 encoder: colours by the
// integer formulas, chroma from each block's first pixel, the capture's
// bottom row on top, and frames a decoder reads back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Streamer/StreamCaptureBuffer.h"
#include "Streamer/StreamerState.h"
#include "Streamer/StreamerVideoEncoder.h"
#include "support/StreamTestServer.h"

namespace {

struct Rgb {
    uint8_t r, g, b;
};

void Fill(std::vector<uint8_t>& capture, int fromRow, int toRow, Rgb c) {
    for (int row = fromRow; row < toRow; ++row)
        for (int col = 0; col < 640; ++col) {
            uint8_t* p = &capture[(static_cast<size_t>(row) * 640 + col) * 3];
            p[0] = c.b, p[1] = c.g, p[2] = c.r;
        }
}

int Y(const vpx_image_t& image, int x, int y) { return image.planes[VPX_PLANE_Y][y * image.stride[VPX_PLANE_Y] + x]; }
int U(const vpx_image_t& image, int x, int y) { return image.planes[VPX_PLANE_U][y * image.stride[VPX_PLANE_U] + x]; }
int V(const vpx_image_t& image, int x, int y) { return image.planes[VPX_PLANE_V][y * image.stride[VPX_PLANE_V] + x]; }

// Bottom half of the window green, top half red: capture rows 0-239 green.
std::vector<uint8_t> GreenUnderRed() {
    std::vector<uint8_t> capture(StreamCaptureBuffer::kBytes);
    Fill(capture, 0, 240, {0, 255, 0});
    Fill(capture, 240, 480, {255, 0, 0});
    return capture;
}

}  // namespace

TEST(StreamerVideo, ConvertsColoursByTheIntegerFormulas) {
    struct Case {
        const char* name;
        Rgb colour;
        int y, u, v;
    };
    const Case cases[] = {
        {"grey", {128, 128, 128}, 125, 125, 125}, {"white", {255, 255, 255}, 249, 125, 125},
        {"black", {0, 0, 0}, 0, 125, 125},       {"red", {255, 0, 0}, 74, 82, 249},
        {"green", {0, 255, 0}, 146, 42, 20},     {"blue", {0, 0, 255}, 28, 249, 104},
    };
    StreamerVideoEncoder encoder;
    ASSERT_TRUE(encoder.Init());
    vpx_image_t& image = *encoder.Image();
    EXPECT_EQ(image.stride[VPX_PLANE_Y], 640);
    EXPECT_EQ(image.stride[VPX_PLANE_U], 320);
    std::vector<uint8_t> capture(StreamCaptureBuffer::kBytes);
    for (const Case& c : cases) {
        Fill(capture, 0, 480, c.colour);
        EXPECT_EQ(StreamerConvertYUV(capture.data(), image), 1);
        EXPECT_EQ(Y(image, 639, 479), c.y) << c.name;
        EXPECT_EQ(U(image, 319, 239), c.u) << c.name;
        EXPECT_EQ(V(image, 319, 239), c.v) << c.name;
    }

    // Chroma comes from each block's first pixel only; capture row 0 is
    // picture row 0.
    Fill(capture, 0, 480, {255, 255, 255});
    capture[0] = 0, capture[1] = 0, capture[2] = 255;  // pixel (0, 0) red
    StreamerConvertYUV(capture.data(), image);
    EXPECT_EQ(Y(image, 0, 0), 74);
    EXPECT_EQ(Y(image, 1, 0), 249);
    EXPECT_EQ(U(image, 0, 0), 82);
    EXPECT_EQ(V(image, 0, 0), 249);
    EXPECT_EQ(U(image, 1, 0), 125);
}

TEST(StreamerVideo, EncodedFramesDecodeUpsideDownAndNumbersWaitForTheStream) {
    StreamerVideoEncoder encoder;
    ASSERT_TRUE(encoder.Init());
    const std::vector<uint8_t> capture = GreenUnderRed();
    qemtest::Vp8Decoder decoder;
    StreamerConvertYUV(capture.data(), *encoder.Image());
    for (int i = 0; i < 15; ++i) {
        ASSERT_TRUE(encoder.Encode(i));
        const uint8_t* frame;
        size_t size;
        ASSERT_TRUE(encoder.NextFrame(frame, size));
        EXPECT_LE(size, 64000u - 20u);
        ASSERT_TRUE(decoder.Decode(std::string(reinterpret_cast<const char*>(frame), size))) << i;
        EXPECT_FALSE(encoder.NextFrame(frame, size));
    }
    // Not streaming: frames are encoded, none is numbered.
    const uint32_t counter = StreamFrameCounter;
    StreamerState idle;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(StreamerEncodeFrame(idle, encoder, capture.data()), 0);
    EXPECT_EQ(StreamFrameCounter, counter);
    ASSERT_EQ(decoder.Width(), 640);
    ASSERT_EQ(decoder.Height(), 480);
    for (const auto& [y, expected] : std::vector<std::pair<int, std::vector<int>>>{{100, {146, 42, 20}},
                                                                                   {380, {74, 82, 249}}}) {
        for (int plane = 0; plane < 3; ++plane)
            EXPECT_NEAR(decoder.Sample(plane, 320, y), expected[plane], 3) << "plane " << plane << " row " << y;
    }
}

TEST(StreamerVideo, ACaptureNeverLandsInTheFrameBeingConverted) {
    StreamCaptureBuffer buffer;
    const uint8_t* initial = buffer.BeginConvert();
    EXPECT_EQ(initial[0], 0);
    buffer.EndConvert();

    uint8_t* first = buffer.BeginCapture();
    first[0] = 1;
    buffer.EndCapture();
    const uint8_t* converting = buffer.BeginConvert();
    EXPECT_EQ(converting[0], 1);
    // Two captures while the first is converted: neither writes into it,
    // and the converter gets the latest next.
    for (uint8_t mark : {2, 3}) {
        uint8_t* into = buffer.BeginCapture();
        EXPECT_NE(into, converting);
        into[0] = mark;
        buffer.EndCapture();
    }
    EXPECT_EQ(converting[0], 1);
    buffer.EndConvert();
    EXPECT_EQ(buffer.BeginConvert()[0], 3);
    buffer.EndConvert();
}

TEST(StreamerVideo, AnEncoderThatIsNotSetUpEncodesAndSendsNothing) {
    StreamerVideoEncoder encoder;  // never initialised
    EXPECT_EQ(encoder.Image(), nullptr);
    EXPECT_FALSE(encoder.Encode(0));
    const uint8_t* frame;
    size_t size;
    EXPECT_FALSE(encoder.NextFrame(frame, size));
    StreamerState state;
    state.streamingState = 2;
    const uint32_t counter = StreamFrameCounter;
    const std::vector<uint8_t> capture(StreamCaptureBuffer::kBytes);
    EXPECT_EQ(StreamerEncodeFrame(state, encoder, capture.data()), 0);
    EXPECT_EQ(StreamFrameCounter, counter);
}
