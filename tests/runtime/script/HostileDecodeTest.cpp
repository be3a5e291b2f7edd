// Inputs made to exhaust memory or read past their bytes, through each
// decoder that meets them: every one fails, and the memory it takes stays
// within a small multiple of its input.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "functions/NetworkPacket.h"
#include "media/VRNetManager.h"
#include "runtime/script/CFileManager.h"
#include "runtime/script/sharedByteBuffer.h"
#include "scene/MetafileTexture.h"
#include "support/ChunkedStream.h"
#include "support/PeakMemory.h"
#include "vm/VmValue.h"

using namespace qemtest;

namespace {

using Bytes = std::vector<uint8_t>;

void PutBe32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// Arrays in arrays, each as long as the bytes left after it: a reader that
// reserves every count it is given reserves the input's size at every level.
Bytes NestedArrays(size_t size) {
    Bytes b(size, 0);
    for (size_t at = 0; at + 5 <= size; at += 5) {
        b[at] = 7;
        PutBe32(b, at + 1, static_cast<uint32_t>(size - at - 5));
    }
    return b;
}

Bytes Packet(const Bytes& value) {
    Bytes p = {0xFF, 'Q', 'E', 'M', '_', '0', '2', 0xFF, 0, 0, 0, 0, 0xFF, 0, 0xFF};
    p.insert(p.end(), value.begin(), value.end());
    PutBe32(p, 8, static_cast<uint32_t>(p.size()));
    return p;
}

// An enhanced metafile's header record whose description (1000 UTF-16
// characters at offset 88) runs far past its 128 bytes.
Bytes EmfWithLongDescription() {
    Bytes b(128, 0);
    auto le = [&b](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    };
    le(0, 1);     // EMR_HEADER
    le(4, 108);   // its size
    le(16, 100);  // bounds right
    le(20, 100);  // bounds bottom
    le(40, 0x464D4520);
    le(48, 128);
    le(60, 1000);  // nDescription
    le(64, 88);    // offDescription
    le(108, 14);   // EMR_EOF
    le(112, 20);
    return b;
}

struct Case {
    const char* name;
    Bytes input;
    std::function<bool(const Bytes&)> decodes;  // true when it (wrongly) gave a value
};

}  // namespace

TEST(HostileDecode, EveryDecoderFailsWithinASmallMultipleOfItsInput) {
    const Bytes nested = NestedArrays(1 << 20);
    Bytes block(16 << 20, 0);
    PutBe32(block, 0, static_cast<uint32_t>((block.size() - 4) / 2));  // as many items as could fit
    Bytes hugeCount(64, 0);
    PutBe32(hugeCount, 0, 1u << 28);
    Bytes valueFile(CFileManager::kHeader, CFileManager::kHeader + CFileManager::kHeaderSize);
    valueFile.insert(valueFile.end(), nested.begin(), nested.end());

    const Case cases[] = {
        {"nested arrays, UDP packet", Packet(nested),
         [](const Bytes& in) {
             CVmValue v;
             std::string name;
             return ReadNetworkPacket(in.data(), in.size(), nullptr, v, name);
         }},
        {"nested arrays, TCP stream", Packet(nested),
         [](const Bytes& in) {
             NetSocketNode node;
             ChunkedStream stream;
             stream.Arrive(std::string(in.begin(), in.end()));
             std::vector<uint8_t> scratch(262144);
             CVmValue v;
             std::string name;
             StreamPacket got = StreamPacket::None;
             for (int i = 0; i < 4 && got == StreamPacket::None; ++i)
                 got = ReceiveStreamPacket(node, stream, scratch, nullptr, v, name);
             return got != StreamPacket::Invalid;
         }},
        {"nested arrays, value file", valueFile,
         [](const Bytes& in) {
             CVmValue v;
             return CFileManager::DecodeValueFile(in.data(), in.size(), v) && !v.IsVoid();
         }},
        {"shared block counting every item it could hold", block,
         [](const Bytes& in) {
             SharedBlockCodec codec(const_cast<uint8_t*>(in.data()), static_cast<int32_t>(in.size()));
             CVmValue v;
             return codec.Decode(v) || codec.LastFailure() != SharedBlockCodec::Failure::BadData;
         }},
        {"shared block counting 2^28 items", hugeCount,
         [](const Bytes& in) {
             SharedBlockCodec codec(const_cast<uint8_t*>(in.data()), static_cast<int32_t>(in.size()));
             CVmValue v;
             return codec.Decode(v) || codec.LastFailure() != SharedBlockCodec::Failure::BadData;
         }},
        {"EMF description past its header", EmfWithLongDescription(),
         [](const Bytes& in) {
             int32_t w = 0, h = 0;
             uint8_t* pixels = RenderMetafile(in.data(), in.size(), MetafileKind::kEnhanced, 64, &w, &h);
             std::free(pixels);
             return pixels != nullptr;
         }},
    };
    for (const Case& c : cases) {
        const PeakMemory peak;
        EXPECT_FALSE(c.decodes(c.input)) << c.name;
        const int64_t growth = peak.Growth();
        if (!peak.Available()) continue;
        std::cout << c.name << ": " << c.input.size() << " bytes in, peak memory +" << growth << " bytes\n";
        // A value takes a few dozen bytes, and an element a byte of input.
        EXPECT_LT(growth, 48 * static_cast<int64_t>(c.input.size()) + (4 << 20)) << c.name;
    }
}
