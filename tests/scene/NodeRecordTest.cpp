// The 288-byte node record of object dumps: where each field lands, the
// round trip, and records that are short or forged.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "scene/VRObj.h"

namespace {

template <class T>
T At(const std::string& bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// A node whose every recorded value differs from the others.
void Fill(VRObj& node) {
    for (int k = 0; k < 10; ++k) node.lodThresholds[k] = 1.0f + float(k);
    node.lodCount = 3;
    node.currentLod = 2;
    node.reserved1 = 77;
    for (int k = 0; k < 16; ++k) {
        node.rotation[k] = 100.0f + float(k);
        node.drawMatrix[k] = 200.0f + float(k);
        node.worldMatrix[k] = 300.0f + float(k);
    }
    for (int k = 0; k < 3; ++k) {
        node.pivot[k] = 400.0f + float(k);
        node.position[k] = 500.0f + float(k);
        node.scale[k] = 600.0f + float(k);
    }
    node.reserved2 = 88;
    node.hidden = 1;
}

std::string DumpOf(const VRObj& node) {
    std::ostringstream out(std::ios::binary);
    EXPECT_TRUE(node.Dump(out));
    return out.str();
}

}  // namespace

TEST(NodeRecord, FieldsLandAtTheirOffsetsAndRestore) {
    VRObj node;
    Fill(node);
    const std::string bytes = DumpOf(node);
    ASSERT_EQ(size_t(kNodeRecordSize), bytes.size());
    EXPECT_EQ(1.0f, At<float>(bytes, 0));
    EXPECT_EQ(3, At<int32_t>(bytes, 40));
    EXPECT_EQ(2, At<int32_t>(bytes, 44));
    EXPECT_EQ(77, At<int32_t>(bytes, 48));
    EXPECT_EQ(100.0f, At<float>(bytes, 52));
    EXPECT_EQ(200.0f, At<float>(bytes, 116));
    EXPECT_EQ(300.0f, At<float>(bytes, 180));
    EXPECT_EQ(400.0f, At<float>(bytes, 244));
    EXPECT_EQ(500.0f, At<float>(bytes, 256));
    EXPECT_EQ(600.0f, At<float>(bytes, 268));
    EXPECT_EQ(88, At<int32_t>(bytes, 280));
    EXPECT_EQ(std::string("\x01\0\0\0", 4), bytes.substr(284));

    // Links, children, ID and callbacks are not part of the record.
    VRObj back, child;
    back.id = 5;
    back.AddChild(&child, 0, 0, 0);
    std::istringstream in(bytes, std::ios::binary);
    ASSERT_TRUE(back.Restore(in));
    EXPECT_EQ(-1, back.id);
    EXPECT_EQ(0, back.childCount);
    EXPECT_EQ(bytes, DumpOf(back));
}

TEST(NodeRecord, ShortOrForgedRecordsFailAndLeaveTheNodeReset) {
    VRObj source;
    Fill(source);
    const std::string bytes = DumpOf(source);
    std::string forged = bytes;
    const int32_t levels = 11;
    std::memcpy(&forged[40], &levels, sizeof levels);
    for (const std::string& record : {bytes.substr(0, 0), bytes.substr(0, 52), bytes.substr(0, 287), forged}) {
        VRObj node;
        node.SetPosition(9, 9, 9);
        node.hidden = 1;
        std::istringstream in(record, std::ios::binary);
        EXPECT_FALSE(node.Restore(in)) << record.size();
        EXPECT_EQ(0.0f, node.position[0]);
        EXPECT_EQ(1.0f, node.scale[2]);
        EXPECT_EQ(0, node.hidden);
        EXPECT_EQ(0, node.lodCount);
    }
}
