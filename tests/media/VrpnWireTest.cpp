// The VRPN wire format: the exact bytes written, and the reader's answer
// to streams in pieces and to bad framing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "media/VrpnEndpoint.h"
#include "media/VrpnWire.h"
#include "support/VrpnStream.h"

using namespace qemtest;

namespace {

// "0A 1b ..." as bytes.
std::string Hex(const std::string& text) {
    std::string bytes;
    for (size_t at = 0; at < text.size();) {
        if (text[at] == ' ') {
            ++at;
            continue;
        }
        bytes.push_back(static_cast<char>(std::strtol(text.substr(at, 2).c_str(), nullptr, 16)));
        at += 2;
    }
    return bytes;
}

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::vector<uint8_t> Vec(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

VrpnMessageView View(const std::vector<uint8_t>& body) {
    VrpnMessageView m;
    m.body = body.data();
    m.bodySize = body.size();
    return m;
}

}  // namespace

TEST(VrpnWire, WritesTheCookieHeadersDescriptionsAndBodies) {
    std::vector<uint8_t> out;
    VrpnAppendCookie(out);
    EXPECT_EQ(Bytes(out), std::string("vrpn: ver. 07.35  0\0\0\0\0\0", 24));

    out.clear();
    VrpnAppendMessage(out, 3, 7, VrpnTime{0x01020304, 0x000A0B0C}, Vec("abc"));
    EXPECT_EQ(Bytes(out), Hex("00 00 00 1B 01 02 03 04 00 0A 0B 0C 00 00 00 03 00 00 00 07 00 00 00 00"
                              "61 62 63 00 00 00 00 00"));

    out.clear();
    VrpnAppendMessage(out, 5, kVrpnTypeDescription, VrpnTime{0, 9}, VrpnDescriptionBody("Tracker0"));
    EXPECT_EQ(Bytes(out), Hex("00 00 00 25 00 00 00 00 00 00 00 09 00 00 00 05 FF FF FF FE 00 00 00 00"
                              "00 00 00 09 54 72 61 63 6B 65 72 30 00 00 00 00"));

    // A body that is a whole number of 8-byte words gets no padding.
    out.clear();
    VrpnAppendMessage(out, 0, 1, VrpnTime{}, VrpnButtonChangeBody(2, 1));
    EXPECT_EQ(Bytes(out), Hex("00 00 00 20 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 00"
                              "00 00 00 02 00 00 00 01"));

    const double position[3] = {1, 2, 3}, quaternion[4] = {0, 0, -0.5, 1};
    EXPECT_EQ(Bytes(VrpnPosQuatBody(-2, position, quaternion)),
              Hex("FF FF FF FE 00 00 00 00 3F F0 00 00 00 00 00 00 40 00 00 00 00 00 00 00 40 08 00 00 00 00 00 00"
                  "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 BF E0 00 00 00 00 00 00 3F F0 00 00 00 00 00 00"));
    const double values[2] = {0.5, -2};
    EXPECT_EQ(Bytes(VrpnAnalogChannelBody(values, 2)),
              Hex("40 00 00 00 00 00 00 00 3F E0 00 00 00 00 00 00 C0 00 00 00 00 00 00 00"));
}

TEST(VrpnWire, ReadsBodiesOnlyWhenTheyHoldTheirLayout) {
    int32_t sensor = 0, button = 0, state = 0;
    double position[3], quaternion[4];
    const double p[3] = {1, 2, 3}, q[4] = {0.5, 0.5, 0.5, 0.5};
    std::vector<uint8_t> body = VrpnPosQuatBody(4, p, q);
    ASSERT_TRUE(VrpnReadPosQuat(View(body), sensor, position, quaternion));
    EXPECT_EQ(sensor, 4);
    EXPECT_EQ(position[2], 3);
    EXPECT_EQ(quaternion[3], 0.5);
    body.pop_back();
    EXPECT_FALSE(VrpnReadPosQuat(View(body), sensor, position, quaternion));
    EXPECT_FALSE(VrpnReadButtonChange(View(Vec("1234567")), button, state));

    std::string name;
    EXPECT_TRUE(VrpnReadDescription(View(VrpnDescriptionBody("Tracker0")), name));
    EXPECT_EQ(name, "Tracker0");
    EXPECT_FALSE(VrpnReadDescription(View(Vec(Hex("00 00 00 0A") + "short")), name));
    EXPECT_FALSE(VrpnReadDescription(View(Vec(std::string(2, '\0'))), name));

    // The count of an analog report is bounded by the body and by 128.
    struct Case {
        double count;
        size_t valuesSent;
        int32_t read;
    } cases[] = {
        {3, 3, 3},     {1e9, 4, 4},   {200, 200, 128}, {-5, 2, 0}, {std::numeric_limits<double>::quiet_NaN(), 2, 0},
        {2.9, 3, 2},   {0, 0, 0},     {5, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<double> words(1, c.count);
        words.resize(1 + c.valuesSent, 7.0);
        // The count written as one more value, then dropped: the first word
        // is the case's count.
        std::vector<uint8_t> analog = VrpnAnalogChannelBody(words.data(), static_cast<int32_t>(words.size()));
        analog.erase(analog.begin(), analog.begin() + 8);
        double values[kVrpnMaxAnalogChannels + 1];
        values[c.read] = -1;
        EXPECT_EQ(VrpnReadAnalogChannel(View(analog), values), c.read) << c.count;
        EXPECT_EQ(values[c.read], -1) << "written past the count " << c.count;
    }
    EXPECT_EQ(VrpnReadAnalogChannel(View(Vec("1234")), nullptr), -1);
}

TEST(VrpnWire, StreamReaderTakesPiecesAndRefusesBadFraming) {
    VrpnStream s;
    s.Cookie().Sender(0, "Tracker0").Button(0, 1, 2, 1);
    const std::string stream = s.Take();
    // Any split of the stream gives the same pieces.
    for (size_t piece : {size_t(1), size_t(5), size_t(23), stream.size()}) {
        VrpnStreamReader reader;
        std::vector<VrpnStreamReader::Result> results;
        std::string name;
        for (size_t at = 0; at < stream.size(); at += piece) {
            reader.Append(reinterpret_cast<const uint8_t*>(stream.data() + at), std::min(piece, stream.size() - at));
            for (auto r = reader.Next(); r != VrpnStreamReader::Result::NeedMore; r = reader.Next()) {
                results.push_back(r);
                if (r == VrpnStreamReader::Result::Message && reader.Message().type == kVrpnSenderDescription) {
                    EXPECT_TRUE(VrpnReadDescription(reader.Message(), name));
                }
            }
        }
        using R = VrpnStreamReader::Result;
        EXPECT_EQ(results, (std::vector<R>{R::Cookie, R::Message, R::Message})) << piece;
        EXPECT_EQ(name, "Tracker0");
        EXPECT_EQ(reader.Buffered(), 0u);
    }

    struct Case {
        const char* what;
        std::string bytes;
        VrpnStreamReader::Result last;
    } cases[] = {
        {"old cookie", VrpnStream().Cookie("vrpn: ver. 06.00  0").Take(), VrpnStreamReader::Result::Bad},
        {"length 8", VrpnStream().Cookie().Raw(Hex("00 00 00 08") + std::string(20, '\0')).Take(),
         VrpnStreamReader::Result::Bad},
        {"length past 1 MB", VrpnStream().Cookie().Raw(Hex("00 10 00 01") + std::string(20, '\0')).Take(),
         VrpnStreamReader::Result::Bad},
        {"length of 1 MB waits", VrpnStream().Cookie().Raw(Hex("00 10 00 00") + std::string(20, '\0')).Take(),
         VrpnStreamReader::Result::NeedMore},
    };
    for (const Case& c : cases) {
        VrpnStreamReader reader;
        reader.Append(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size());
        VrpnStreamReader::Result r;
        while ((r = reader.Next()) == VrpnStreamReader::Result::Cookie) {
        }
        EXPECT_EQ(r, c.last) << c.what;
        // Bad stays bad whatever follows.
        if (r == VrpnStreamReader::Result::Bad) {
            const std::string more = VrpnStream().Button(0, 0, 0, 0).Take();
            reader.Append(reinterpret_cast<const uint8_t*>(more.data()), more.size());
            EXPECT_EQ(reader.Next(), VrpnStreamReader::Result::Bad) << c.what;
        }
    }
}

// Messages reach the handler only once both their ids are named; system
// messages other than the descriptions are passed over.
TEST(VrpnWire, EndpointNamesIdsBeforeHandingMessagesOn) {
    VrpnEndpoint peer(-1);
    std::vector<std::string> seen;
    const auto record = [&](const std::string& sender, const std::string& type, const VrpnMessageView& m) {
        seen.push_back(sender + "/" + type + "/" + std::to_string(m.bodySize));
    };
    VrpnStream s;
    s.Cookie().Button(0, 0, 1, 1);  // nothing named yet
    s.Sender(0, "Tracker0").Type(4, "vrpn_Button Change").Button(0, 4, 1, 1);
    s.Message(0, -3, VrpnDescriptionBody("x")).Message(0, -5, {});
    s.Sender(0, "Renamed").Button(0, 4, 1, 1);
    s.Sender(-7, "Negative").Button(-7, 4, 1, 1);
    s.Message(9, kVrpnSenderDescription, Vec(Hex("00 00 00 20") + "past"));  // name past the body
    s.Button(9, 4, 1, 1);
    const std::string bytes = s.Take();
    EXPECT_FALSE(peer.Connected());
    ASSERT_TRUE(peer.Consume(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), record));
    EXPECT_TRUE(peer.Connected());
    EXPECT_EQ(seen, (std::vector<std::string>{"Tracker0/vrpn_Button Change/8", "Renamed/vrpn_Button Change/8"}));

    // Our own names go out described once, before their first use.
    VrpnLocalNames names;
    const int32_t sender = names.senders.Id("QemAnalogServer");
    const int32_t type = names.types.Id(kVrpnAnalogChannel);
    peer.Send(names, sender, type, VrpnTime{}, {});
    peer.Send(names, sender, type, VrpnTime{}, {});
    const std::string sent = Bytes(peer.TakeQueued());
    ASSERT_EQ(sent.substr(0, 24), std::string("vrpn: ver. 07.35  0\0\0\0\0\0", 24));
    std::vector<VrpnReadMessage> messages;
    ASSERT_TRUE(SplitVrpnMessages(sent.substr(24), messages));
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0].type, kVrpnSenderDescription);
    EXPECT_EQ(messages[0].body.substr(4), std::string("QemAnalogServer", 16));
    EXPECT_EQ(messages[1].type, kVrpnTypeDescription);
    EXPECT_EQ(messages[1].body.substr(4), std::string("vrpn_Analog Channel", 20));
    EXPECT_EQ(messages[2].type, type);
    EXPECT_EQ(messages[3].type, type);
}
