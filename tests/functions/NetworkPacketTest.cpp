// The network variable packet: its exact bytes, the reader's checks of what
// a peer sends, and the reassembly of packets on a stream that delivers
// them in pieces, after garbage or with lengths no packet has.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "functions/NetworkPacket.h"
#include "media/VRNetManager.h"
#include "support/ChunkedStream.h"
#include "support/TestObjects.h"
#include "vm/VmValue.h"

using namespace qemtest;

namespace {

std::string Packet(const CVmValue& value, const char* name = nullptr) {
    std::vector<uint8_t> out;
    const std::string text = name ? name : "";
    EXPECT_TRUE(WriteNetworkPacket(value, name ? &text : nullptr, out));
    return std::string(out.begin(), out.end());
}

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        if (!text.empty()) text += ' ';
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

std::string ValueText(const CVmValue& v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

class Unencodable : public CVmClassBase {
public:
    const char* ClassName() override { return "Unencodable"; }
};

}  // namespace

TEST(NetworkPacket, WriterGivesTheExactBytes) {
    CVmValue vector, text;
    const float xyz[3] = {1, 2, 3};
    vector.SetVector(xyz, 3);
    text.SetString("ab");
    struct Case {
        CVmValue value;
        const char* name;
        const char* bytes;
    } cases[] = {
        {Int(5), nullptr, "FF 51 45 4D 5F 30 32 FF 00 00 00 14 FF 00 FF 02 00 00 00 05"},
        {Int(5), "pos", "FF 51 45 4D 5F 30 32 FF 00 00 00 18 FF 04 70 6F 73 00 FF 02 00 00 00 05"},
        {Int(5), "", "FF 51 45 4D 5F 30 32 FF 00 00 00 15 FF 01 00 FF 02 00 00 00 05"},
        {vector, nullptr,
         "FF 51 45 4D 5F 30 32 FF 00 00 00 20 FF 00 FF 08 00 00 00 03 00 00 80 3F 00 00 00 40 00 00 40 40"},
        {text, nullptr, "FF 51 45 4D 5F 30 32 FF 00 00 00 16 FF 00 FF 05 00 00 00 02 61 62"},
    };
    for (const Case& c : cases) EXPECT_EQ(Hex(Packet(c.value, c.name)), c.bytes) << (c.name ? c.name : "(none)");

    // A name of the longest length still fits its count byte.
    const std::string longest(kPacketNameMax, 'n');
    EXPECT_EQ(static_cast<uint8_t>(Packet(Int(1), longest.c_str())[13]), 255);

    CVmValue object;
    object.SetObject(new Unencodable);
    std::vector<uint8_t> out;
    EXPECT_FALSE(WriteNetworkPacket(object, nullptr, out));
    EXPECT_TRUE(out.empty());
}

TEST(NetworkPacket, ReaderTakesOnlyWhatIsThere) {
    const std::string good = Packet(Int(7), "pos");  // 24 bytes, the value at 19
    auto withLength = [&](int32_t total) {
        std::string p = good;
        for (int k = 0; k < 4; ++k) p[8 + k] = static_cast<char>(static_cast<uint32_t>(total) >> (24 - 8 * k));
        return p;
    };
    std::string badMagic = good, longName = good;
    badMagic[3] = 'X';
    longName[13] = static_cast<char>(200);
    struct Case {
        const char* what;
        std::string bytes;
        const char* value;  // null: invalid
    } cases[] = {
        {"whole", good, "7"},
        {"length 0: as received", withLength(0), "7"},
        {"bytes after the packet", good + "junk", "7"},
        {"cut short", good.substr(0, 23), nullptr},
        {"length past the bytes", withLength(25), nullptr},
        {"length below the header", withLength(10), nullptr},
        {"length ends inside the value", withLength(21), nullptr},
        {"negative length", withLength(-5), nullptr},
        {"name past the end", longName, nullptr},
        {"other magic", badMagic, nullptr},
        {"header only", good.substr(0, 14), nullptr},
        {"hello", "hello", nullptr},
        {"nothing", "", nullptr},
    };
    for (const Case& c : cases) {
        CVmValue value;
        std::string name = "kept";
        const bool valid = ReadNetworkPacket(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(),
                                             nullptr, value, name);
        EXPECT_EQ(valid, c.value != nullptr) << c.what;
        if (!valid) continue;
        EXPECT_EQ(ValueText(value), c.value) << c.what;
        EXPECT_EQ(name, std::string("pos\0", 4)) << c.what;
    }
}

TEST(NetworkPacket, ObjectsComeBackThroughTheFactory) {
    CVmValue object;
    object.SetObject(new CountingObject(9));
    const std::string bytes = Packet(object);
    CountingObjectFactory factory;
    CVmValue value;
    std::string name = "kept";
    ASSERT_TRUE(ReadNetworkPacket(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &factory, value, name));
    ASSERT_EQ(value.type, VmValueType::Object);
    EXPECT_EQ(static_cast<CountingObject*>(value.asObject)->m_id, 9);
    EXPECT_EQ(name, "");
    // A class nobody registered is no value.
    EXPECT_FALSE(ReadNetworkPacket(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), nullptr, value, name));
}

// The reassembly on a stream the test feeds.
class StreamPackets : public ::testing::Test {
protected:
    StreamPacket Step() {
        value.SetVoid();
        name.clear();
        return ReceiveStreamPacket(node, stream, scratch, nullptr, value, name);
    }

    NetSocketNode node;
    ChunkedStream stream;
    std::vector<uint8_t> scratch = std::vector<uint8_t>(4096);
    CVmValue value;
    std::string name;
};

TEST_F(StreamPackets, APacketInPiecesComesWithItsLastByte) {
    const std::string p = Packet(Int(42), "nm");
    stream.Arrive(p.substr(0, 10));
    EXPECT_EQ(Step(), StreamPacket::None);  // less than a header
    stream.Arrive(p.substr(10, 6));
    EXPECT_EQ(Step(), StreamPacket::None);
    EXPECT_EQ(node.received, 16);
    stream.Arrive(p.substr(16));
    ASSERT_EQ(Step(), StreamPacket::Packet);
    EXPECT_EQ(ValueText(value), "42");
    EXPECT_EQ(name, std::string("nm\0", 3));
    EXPECT_EQ(node.expected, -1);

    // Two packets in one piece: one per call.
    stream.Arrive(Packet(Int(1)) + Packet(Int(2)));
    ASSERT_EQ(Step(), StreamPacket::Packet);
    EXPECT_EQ(ValueText(value), "1");
    ASSERT_EQ(Step(), StreamPacket::Packet);
    EXPECT_EQ(ValueText(value), "2");
    EXPECT_EQ(Step(), StreamPacket::None);
}

TEST_F(StreamPackets, GarbageIsSkippedUpToTheNextPacket) {
    const std::string p = Packet(Int(42), "nm");
    stream.Arrive("xxxxx" + p.substr(0, 12));
    EXPECT_EQ(Step(), StreamPacket::Invalid);
    EXPECT_EQ(stream.Left(), 12u);  // the garbage alone went
    stream.Arrive(p.substr(12));
    ASSERT_EQ(Step(), StreamPacket::Packet);
    EXPECT_EQ(ValueText(value), "42");

    // Much garbage ending in the start of a magic: seven bytes stay, as
    // they may begin one, and the garbage among them is one more report.
    stream.Arrive(std::string(5000, 'g') + p.substr(0, 5));
    EXPECT_EQ(Step(), StreamPacket::Invalid);
    EXPECT_EQ(stream.Left(), 7u);
    stream.Arrive(p.substr(5));
    EXPECT_EQ(Step(), StreamPacket::Invalid);
    EXPECT_EQ(stream.Left(), p.size());
    ASSERT_EQ(Step(), StreamPacket::Packet);
    EXPECT_EQ(ValueText(value), "42");
}

TEST_F(StreamPackets, ImpossibleLengthsAreBadDataNotAllocations) {
    for (const int32_t length : {0, 10, 14, kStreamPacketMax + 1, 0x7FFFFFFF, -1}) {
        std::string bad = Packet(Int(3));
        for (int k = 0; k < 4; ++k) bad[8 + k] = static_cast<char>(static_cast<uint32_t>(length) >> (24 - 8 * k));
        stream.Arrive(bad + Packet(Int(4)));
        EXPECT_EQ(Step(), StreamPacket::Invalid) << length;
        EXPECT_LT(node.Capacity(), 64) << length;
        ASSERT_EQ(Step(), StreamPacket::Packet) << length;
        EXPECT_EQ(ValueText(value), "4") << length;
        EXPECT_EQ(stream.Left(), 0u) << length;
    }
}

TEST_F(StreamPackets, AFramedPacketWithABadValueCostsOnlyItself) {
    std::string bad = Packet(Int(3));
    bad[15] = 99;  // no such type
    stream.Arrive(bad + Packet(Int(4)));
    EXPECT_EQ(Step(), StreamPacket::Invalid);
    ASSERT_EQ(Step(), StreamPacket::Packet);
    EXPECT_EQ(ValueText(value), "4");
}

TEST_F(StreamPackets, ANonBlockingConnectionWithoutDataIsNotRead) {
    node.value = kNetNonBlocking;
    EXPECT_EQ(Step(), StreamPacket::None);
    stream.Arrive(Packet(Int(8)));
    ASSERT_EQ(Step(), StreamPacket::Packet);
    EXPECT_EQ(ValueText(value), "8");
}

// A flood of garbage costs each call a bounded piece of work: one call
// drops at most 1 MiB, and later calls go on to the packet after it.
TEST_F(StreamPackets, AGarbageFloodIsSkippedAPieceAPerCall) {
    scratch.resize(262144);  // the machine's network buffer
    const size_t flood = size_t{3} << 20;
    stream.Arrive(std::string(flood, 'g') + Packet(Int(7)));
    int calls = 0;
    StreamPacket got = StreamPacket::Invalid;
    while (got == StreamPacket::Invalid && calls < 10) {
        const size_t before = stream.Left();
        got = Step();
        ++calls;
        if (got == StreamPacket::Invalid) {
            EXPECT_LE(before - stream.Left(), (size_t{1} << 20) + scratch.size()) << "call " << calls;
        }
    }
    ASSERT_EQ(got, StreamPacket::Packet);
    EXPECT_EQ(ValueText(value), "7");
    EXPECT_GE(calls, 4);
}
