// The adapter latency setup: the FTDI driver's registry keys (an in-memory
// registry, every platform) and the USB-serial latency_timer attribute (a
// sysfs tree of the test's own, POSIX).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "controller/serial_latency.h"
#include "controller/tessaro_controller.h"
#include "platform/registry.h"
#include "platform/serial_port.h"
#include "tests/support/fake_registry.h"

namespace tessaro {
namespace {

using testing_support::FakeRegistry;

const std::u16string kBus = u"SYSTEM\\CurrentControlSet\\Enum\\FTDIBUS";

void AddAdapter(FakeRegistry& registry, const std::u16string& id, const std::u16string& portName,
                std::uint32_t latency) {
    FakeRegistry::Key& parameters = registry.Add(kBus + u"\\" + id + u"\\0000\\Device Parameters");
    parameters.dwords[u"LatencyTimer"] = latency;
    parameters.strings[u"PortName"] = portName;
}

std::uint32_t LatencyOf(FakeRegistry& registry, const std::u16string& id) {
    return registry.Find(kBus + u"\\" + id + u"\\0000\\Device Parameters")->dwords[u"LatencyTimer"];
}

TEST(FtdiRegistryLatency, SearchAsTheDriverKeysSay) {
    std::uint8_t previous = 0;
    {
        // No adapter ever installed: false at once, previous untouched.
        FakeRegistry registry;
        platform::ScopedRegistryApi scoped(registry);
        EXPECT_FALSE(SetFtdiRegistryLatency(3, 2, &previous));
        EXPECT_EQ(previous, 0);
    }
    {
        FakeRegistry registry;
        AddAdapter(registry, u"VID_0403+PID_6001+A1B2C3D4A", u"COM12", 16);
        platform::ScopedRegistryApi scoped(registry);
        // Port 1 does not match COM12; the value was read on the way.
        EXPECT_FALSE(SetFtdiRegistryLatency(1, 2, &previous));
        EXPECT_EQ(previous, 16);
        EXPECT_EQ(registry.writes, 0);
        previous = 0;
        EXPECT_TRUE(SetFtdiRegistryLatency(12, 2, &previous));
        EXPECT_EQ(previous, 16);
        EXPECT_EQ(LatencyOf(registry, u"VID_0403+PID_6001+A1B2C3D4A"), 2u);
        EXPECT_EQ(registry.openKeys, 0);  // every key closed again
        // Without the rights to write: false, the old value read.
        registry.refuseWrites = true;
        EXPECT_FALSE(SetFtdiRegistryLatency(12, 16, &previous));
        EXPECT_EQ(previous, 2);
    }
    {
        // Two adapters, the wanted one second; a lower-case name; a name
        // that contains COM further in reads as 0 and matches nothing.
        FakeRegistry registry;
        AddAdapter(registry, u"A", u"XCOM5", 8);
        AddAdapter(registry, u"B", u"com3", 16);
        platform::ScopedRegistryApi scoped(registry);
        // Read alone: the matching key's value, nothing written.
        std::uint8_t read = 0;
        EXPECT_FALSE(ReadFtdiRegistryLatency(5, &read));
        EXPECT_TRUE(ReadFtdiRegistryLatency(3, &read));
        EXPECT_EQ((std::vector<int>{read, registry.writes}), (std::vector<int>{16, 0}));
        EXPECT_FALSE(SetFtdiRegistryLatency(5, 2, &previous));
        EXPECT_EQ(previous, 16);  // both were read, the last one stays
        EXPECT_TRUE(SetFtdiRegistryLatency(3, 2, &previous));
        EXPECT_EQ((std::vector<std::uint32_t>{previous, LatencyOf(registry, u"A"),
                                              LatencyOf(registry, u"B"),
                                              std::uint32_t(registry.openKeys)}),
                  (std::vector<std::uint32_t>{16, 8, 2, 0}));
    }
    {
        // A first device without its parameters key ends the search, even
        // though a later one would match.
        FakeRegistry registry;
        registry.Add(kBus + u"\\Broken");
        AddAdapter(registry, u"Good", u"COM4", 16);
        platform::ScopedRegistryApi scoped(registry);
        previous = 0;
        EXPECT_FALSE(SetFtdiRegistryLatency(4, 2, &previous));
        EXPECT_EQ((std::vector<std::uint32_t>{previous, LatencyOf(registry, u"Good"),
                                              std::uint32_t(registry.openKeys)}),
                  (std::vector<std::uint32_t>{0, 16, 0}));
    }
}

#ifndef _WIN32
class UsbSerialLatency : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tessaro-sysfs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_EQ(std::system(("mkdir -p " + dir + "/sys/class/tty/ttyFAKE0/device").c_str()), 0);
        std::ofstream(dir + "/ttyFAKE0") << "";
        WriteAttribute("16\n");
        platform::SetSysfsRoot(dir + "/sys");
    }
    void TearDown() override {
        platform::SetSysfsRoot("/sys");
        platform::ClearComPortPaths();
        std::system(("rm -rf " + dir).c_str());
    }
    void WriteAttribute(const std::string& text) {
        std::ofstream(dir + "/sys/class/tty/ttyFAKE0/device/latency_timer") << text;
    }
    int ReadAttribute() {
        int value = -1;
        std::ifstream(dir + "/sys/class/tty/ttyFAKE0/device/latency_timer") >> value;
        return value;
    }
    std::string dir;
};

TEST_F(UsbSerialLatency, SetsReportsAndRestoresAfterAFailedOpen) {
    std::uint8_t previous = 0;
    EXPECT_TRUE(platform::SetUsbSerialLatency(dir + "/ttyFAKE0", 2, &previous));
    EXPECT_EQ(previous, 16);
    EXPECT_EQ(ReadAttribute(), 2);
    // No such device, or no such attribute: false, previous untouched.
    previous = 0;
    EXPECT_FALSE(platform::SetUsbSerialLatency(dir + "/ttyNONE", 2, &previous));
    EXPECT_EQ(previous, 0);

    // Through the COM port table; a connection that fails (the device is no
    // terminal) writes the previous value back.
    WriteAttribute("16\n");
    platform::SetComPortPath(30, dir + "/ttyFAKE0");
    CTessaroController controller(30);
    EXPECT_FALSE(controller.Open());
    EXPECT_EQ(ReadAttribute(), 16);
    EXPECT_TRUE(SetSerialLatencyTimer(30, 2, &previous));
    EXPECT_EQ(ReadAttribute(), 2);
}
#endif

}  // namespace
}  // namespace tessaro
