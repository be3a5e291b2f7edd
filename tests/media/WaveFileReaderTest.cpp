// The wave file reader on files built byte by byte: chunk order, padding,
// short format chunks, and files that end or lie about their chunks.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <list>
#include <string>

#include "media/WaveFileReader.h"
#include "support/ScratchFolder.h"
#include "support/SoundFiles.h"

using namespace qemtest;

namespace {

const PcmFormat kMonoFormat{1, 22050, 16};
const std::string kSamples = "\x01\x02\x03\x04\x05\x06";

// Opens the bytes as a stream (the bytes stay for the test program's life).
bool OpenBytes(WaveFileReader& reader, const std::string& bytes) {
    static std::list<std::string> kept;
    std::string& keep = kept.emplace_back(bytes);
    return reader.Open(keep.empty() ? nullptr : fmemopen(keep.data(), keep.size(), "rb"));
}

std::string Fmt() { return RiffChunkBytes("fmt ", PcmFormatData(kMonoFormat)); }
std::string Data() { return RiffChunkBytes("data", kSamples); }

TEST(WaveFileReader, OpensAndReadsTheFormatAndTheData) {
    ScratchFolder folder;
    WriteBytes(folder.Path() + "Tone.WAV", WaveBytes(kMonoFormat, kSamples));
    WaveFileReader reader;
    // The resolver finds the file without regard to case.
    ASSERT_TRUE(reader.Open((folder.Path() + "tone.wav").c_str()));
    WaveFormat format;
    ASSERT_TRUE(reader.GetFormat(&format));
    EXPECT_EQ(format.formatTag, 1);
    EXPECT_EQ(format.channels, 1);
    EXPECT_EQ(format.samplesPerSec, 22050u);
    EXPECT_EQ(format.avgBytesPerSec, 44100u);
    EXPECT_EQ(format.blockAlign, 2);
    EXPECT_EQ(format.bitsPerSample, 16);
    EXPECT_EQ(format.extraSize, 0);  // not the first bytes of the next chunk
    ASSERT_EQ(reader.DataSize(), kSamples.size());
    std::string got(4, '\0');
    EXPECT_TRUE(reader.Read(got.data(), 4));
    EXPECT_EQ(got, kSamples.substr(0, 4));
    // Two bytes remain: three are refused, and nothing is read.
    EXPECT_FALSE(reader.Read(got.data(), 3));
    EXPECT_TRUE(reader.Read(got.data(), 2));
    EXPECT_EQ(got.substr(0, 2), kSamples.substr(4));
    EXPECT_TRUE(reader.Close());
    EXPECT_EQ(reader.DataSize(), 0u);
    EXPECT_FALSE(reader.GetFormat(&format));
    EXPECT_FALSE(reader.Read(got.data(), 1));
}

TEST(WaveFileReader, FindsItsChunksInAnyOrderPastOthers) {
    const std::string odd = RiffChunkBytes("LIST", std::string("INFOx", 5));  // odd size: a pad byte follows
    const std::string eighteen = RiffChunkBytes("fmt ", PcmFormatData(kMonoFormat) + std::string("\x07\x00", 2));
    const struct {
        const char* name;
        std::string chunks;
        uint16_t extra;
    } cases[] = {
        {"data before fmt", Data() + Fmt(), 0},
        {"odd chunk before both", odd + Fmt() + Data(), 0},
        {"odd chunk between", Fmt() + odd + Data(), 0},
        {"18-byte fmt", eighteen + Data(), 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WaveFileReader reader;
        ASSERT_TRUE(OpenBytes(reader, RiffBytes("WAVE", c.chunks)));
        WaveFormat format;
        ASSERT_TRUE(reader.GetFormat(&format));
        EXPECT_EQ(format.samplesPerSec, 22050u);
        EXPECT_EQ(format.extraSize, c.extra);
        std::string got(kSamples.size(), '\0');
        ASSERT_TRUE(reader.Read(got.data(), static_cast<uint32_t>(got.size())));
        EXPECT_EQ(got, kSamples);
    }
}

TEST(WaveFileReader, RefusesWhatIsNoCompleteWaveFile) {
    const std::string whole = WaveBytes(kMonoFormat, kSamples);
    std::string dataTooLong = whole;
    dataTooLong[whole.size() - kSamples.size() - 4] = 50;  // the data chunk's size
    std::string riffTooShort = whole;
    riffTooShort[4] = 20;  // "fmt " ends inside, "data" past the RIFF chunk
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"AVI form", RiffBytes("AVI ", Fmt() + Data())},
        {"RIFX", "RIFX" + whole.substr(4)},
        {"12-byte fmt", RiffBytes("WAVE", RiffChunkBytes("fmt ", PcmFormatData(kMonoFormat).substr(0, 12)) + Data())},
        {"no fmt", RiffBytes("WAVE", Data())},
        {"no data", RiffBytes("WAVE", Fmt())},
        {"data past the file", dataTooLong},
        {"truncated data", whole.substr(0, whole.size() - 1)},
        {"data past the RIFF chunk", riffTooShort},
        {"cut in a header", whole.substr(0, 14)},
        {"text", "This is a text file, not a sound.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WaveFileReader reader;
        EXPECT_FALSE(OpenBytes(reader, c.bytes));
        EXPECT_EQ(reader.DataSize(), 0u);
    }
    WaveFileReader reader;
    EXPECT_FALSE(reader.Open("/nonexistent/tone.wav"));
    EXPECT_FALSE(reader.Open(static_cast<const char*>(nullptr)));
}

TEST(WaveFileReader, AcceptsARiffSizePastTheFile) {
    // Writers that stream leave the RIFF size at its largest.
    std::string bytes = WaveBytes(kMonoFormat, kSamples);
    bytes.replace(4, 4, "\xFF\xFF\xFF\xFF");
    WaveFileReader reader;
    ASSERT_TRUE(OpenBytes(reader, bytes));
    EXPECT_EQ(reader.DataSize(), kSamples.size());
}

TEST(WaveFileReader, ReopeningClosesTheFirstFile) {
    WaveFileReader reader;
    ASSERT_TRUE(OpenBytes(reader, WaveBytes(kMonoFormat, kSamples)));
    ASSERT_TRUE(OpenBytes(reader, WaveBytes(PcmFormat{2, 8000, 8}, "ab")));
    WaveFormat format;
    ASSERT_TRUE(reader.GetFormat(&format));
    EXPECT_EQ(format.samplesPerSec, 8000u);
    EXPECT_EQ(reader.DataSize(), 2u);
}

}  // namespace

// A sound a script names is a regular file: a FIFO would hold the reader
// for ever, a device never end.
TEST(WaveFileReader, OpensRegularFilesOnly) {
    ScratchFolder folder;
    const std::string fifo = folder.Path() + "pipe.wav";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        WaveFileReader reader;
        EXPECT_FALSE(reader.Open(path.c_str())) << path;
    }
}
