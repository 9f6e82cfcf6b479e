// The FTDI latency search against Wine's real registry, holding test keys
// for three adapters (imported by a CTest fixture): "XCOM5" (8 ms), "com3"
// (16 ms) and "COM12" (16 ms), enumerated in that order.
#include <gtest/gtest.h>

#include "controller/serial_latency.h"
#include "platform/registry.h"

namespace tessaro {
namespace {

std::uint32_t LatencyOf(const std::u16string& id) {
    platform::RegistryApi& registry = platform::SystemRegistryApi();
    platform::RegistryKey key = 0;
    const std::u16string path =
        u"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS\\" + id + u"\\0000\\Device Parameters";
    EXPECT_EQ(registry.OpenLocalMachine(path, platform::kKeyQueryValue, &key),
              platform::kRegistrySuccess);
    std::uint32_t value = 0;
    EXPECT_EQ(registry.QueryDword(key, u"LatencyTimer", &value), platform::kRegistrySuccess);
    registry.Close(key);
    return value;
}

TEST(WineRegistryLatency, FoundNotFoundLowerCaseAndContainedCom) {
    ASSERT_TRUE(platform::SystemHasRegistry());
    std::uint8_t previous = 0;
    // Lower-case "com3" is port 3: written, the old value reported.
    EXPECT_TRUE(SetSerialLatencyTimer(3, 2, &previous));
    EXPECT_EQ(previous, 16);
    EXPECT_EQ(LatencyOf(u"VID_0403+PID_6001+BBBB0002"), 2u);
    // COM12, after two others were read.
    EXPECT_TRUE(SetSerialLatencyTimer(12, 2, &previous));
    EXPECT_EQ(previous, 16);
    EXPECT_EQ(LatencyOf(u"VID_0403+PID_6001+CCCC0003"), 2u);
    // "XCOM5" reads as 0 after its first three characters: port 5 is not
    // found; every device was read, the last value stays in previous.
    previous = 0;
    EXPECT_FALSE(SetSerialLatencyTimer(5, 2, &previous));
    EXPECT_EQ(previous, 2);
    EXPECT_EQ(LatencyOf(u"VID_0403+PID_6001+AAAA0001"), 8u);
    // No adapter for port 7 at all.
    EXPECT_FALSE(SetSerialLatencyTimer(7, 2, &previous));
    // Put back what a failed connection would restore.
    EXPECT_TRUE(SetSerialLatencyTimer(3, 16, &previous));
    EXPECT_EQ(previous, 2);
}

}  // namespace
}  // namespace tessaro
