// The physical device as the host uses it: factory and references,
// connection from either port key with its diagnostic lines and states, the
// COM-port choice, the drive list by axis count, the position callback,
// collected moves, and dropping a device that is still open.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "device/module_export.h"
#include "host/kx_class.h"
#include "host/kx_diag.h"
#include "host/kx_ui.h"
#include "tests/support/diagnostic_capture.h"
#include "tests/support/plugin_fixture.h"

namespace {

using testing_support::DiagnosticCapture;
using testing_support::PluginFixture;
using testing_support::PortText;
using testing_support::SimBoard;

TEST(PhysicalDevice, FactoryRegistrationQueryInterfaceAndReferences) {
    EXPECT_EQ(KX_FindClass("CNothing"), nullptr);
    EXPECT_EQ(KX_FindClass(nullptr), nullptr);
    const CKxClassInfo* info = KX_FindClass("CKxTessaroDevice");
    ASSERT_NE(info, nullptr);
    EXPECT_GT(info->m_objectSize, sizeof(void*));
    EXPECT_STREQ(info->m_interfaceName, "IKxPhysicalDevice");
    EXPECT_EQ(info->m_factory, &KX_ConstructorForCKxTessaroDevice);
    for (const char* parent : info->m_parents) EXPECT_STREQ(parent, "");

    const long live = KX_LiveObjectCount();
    IKxInterface* object = info->m_factory(__FILE__, __LINE__);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(KX_LiveObjectCount(), live + 1);
    CKxClass* kx = object->GetKxClass();
    EXPECT_EQ(kx->GetClassInfo(), info);
    EXPECT_EQ(kx->GetRefCount(), 1);
    EXPECT_EQ(kx->QueryInterface("IKxPhysicalDevice"), object);
    EXPECT_EQ(kx->GetRefCount(), 2);
    EXPECT_EQ(kx->QueryInterface("IKxDeviceZ"), nullptr);
    EXPECT_EQ(kx->QueryInterface(""), nullptr);
    EXPECT_EQ(kx->QueryInterface(nullptr), nullptr);
    EXPECT_EQ(kx->GetRefCount(), 2);

    auto* device = dynamic_cast<IKxPhysicalDevice*>(object);
    ASSERT_NE(device, nullptr);
    CKxStringW name;
    EXPECT_EQ(device->GetDeviceName(name), CKxStringW(u"Orva-Tessaro Motor Controller"));
    EXPECT_EQ(name, CKxStringW(u"Orva-Tessaro Motor Controller"));
    // A fresh device has no controller (state 3) and no drives; collecting
    // and executing reach nothing.
    CKxLogicalDeviceList list{nullptr};
    bool collect = true;
    testing_support::ExpectAnswers({{"state", device->GetConnectionState(), 3},
                                    {"query", device->QueryConnection(), 1},
                                    {"dialog", device->ShowDeviceDialog(0, nullptr), 10},
                                    {"drives", device->CreateLogicalDevices(0, 0, list), 0},
                                    {"collecting", device->GetCollectMoves(&collect), 0},
                                    {"collecting to null", device->GetCollectMoves(nullptr), 0},
                                    {"collect", device->SetCollectMoves(true), 0},
                                    {"execute", device->ExecuteCollectedMoves(0), 0}});
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(collect);

    EXPECT_EQ(kx->Release(), 1);
    EXPECT_EQ(kx->Release(), 0);
    EXPECT_EQ(KX_LiveObjectCount(), live);
}

TEST(PhysicalDevice, ConnectsFromEitherPortKeyAndReportsItsState) {
    constexpr int kPort = 41;
    SimBoard board(kPort, 4);
    testing_support::PluginHost plugin;
    IKxPhysicalDevice* device = plugin.device;
    {
        // Neither key: nothing happens, nothing is written.
        DiagnosticCapture diag;
        EXPECT_EQ(device->ConnectDevice(PortText(u"m_port", kPort).GetString()), 1);
        EXPECT_TRUE(diag.lines.empty());
        EXPECT_EQ(board.CommandCount(), 0u);
    }
    {
        // Only the old key.
        DiagnosticCapture diag;
        EXPECT_EQ(device->ConnectDevice(PortText(u"m_COMiPort", kPort).GetString()), 1);
        ASSERT_EQ(diag.lines.size(), 1u);
        EXPECT_EQ(diag.lines[0].source, "TessaroDevice");
        EXPECT_EQ(diag.lines[0].line, 82);
        EXPECT_EQ(diag.Messages(),
                  std::vector<std::u16string>{u"Tessaro device board id 1 connected"});
        EXPECT_EQ(diag.scopes, std::vector<std::u16string>{u"CKxTessaroDevice::ConnectDevice"});
    }
    // Disconnecting closes the hardware but leaves the state to the next
    // connect.
    for (bool connected : {true, false}) {
        EXPECT_EQ(device->GetConnectionState(), 2u);
        EXPECT_EQ(device->QueryConnection(), 10);
        if (connected) device->DisconnectDevice();
    }
    EXPECT_EQ(board.Commands().back().name, "Reset");
    {
        // The new key, on a port where no board answers.
        DiagnosticCapture diag;
        CKxStringW text = PortText(u"m_iPort", kPort + 1);
        SetIntToKey(text, u"m_COMiPort", kPort);  // only a fallback
        EXPECT_EQ(device->ConnectDevice(text.GetString()), 1);
        ASSERT_EQ(diag.lines.size(), 1u);
        EXPECT_EQ(diag.lines[0].line, 87);
        EXPECT_EQ(diag.lines[0].message, u"Tessaro device failed to connect board id 1");
    }
    EXPECT_EQ(device->QueryConnection(), 1);
    EXPECT_EQ(device->GetConnectionState(), 3u);
    // And back on the board's port, named by a number whose low eight bits
    // are the port's.
    EXPECT_EQ(device->ConnectDevice(PortText(u"m_iPort", kPort + 256).GetString()), 1);
    EXPECT_EQ(device->GetConnectionState(), 2u);
    // An axis whose set-up fails twice over is left out, and a line says
    // which command failed and how.
    board.Fault("badsum:op=SetMotorType:count=2");
    DiagnosticCapture diag;
    device->ConnectDevice(PortText(u"m_iPort", kPort).GetString());
    EXPECT_EQ(diag.Messages(),
              (std::vector<std::u16string>{
                  u"Tessaro device axis 0 left out: SetMotorType failed, Checksum Error",
                  u"Tessaro device board id 1 connected"}));
}

TEST(PhysicalDevice, EndingsThatTheAnswerCannotTellAreTold) {
    // The clocks sped up: 60-s waits pass in 60 ms.
    PluginFixture plugin(46, 4, 1000.0);
    ASSERT_NE(plugin.z, nullptr);
    {
        // A move that ends where it was sent says nothing.
        DiagnosticCapture diag;
        EXPECT_EQ(plugin.z->MoveAbsolute(100), 0);
        EXPECT_TRUE(diag.lines.empty());
    }
    {
        // Z counts the other way round: moving up runs into the processor's
        // negative switch, 5000 steps from where it stands.
        sim::LimitSwitches limits;
        limits.hasNegative = true;
        limits.negative = -5100 - 5000;
        plugin.board->endpoint.processor().SetLimitSwitches(2, limits);
        DiagnosticCapture diag;
        EXPECT_EQ(plugin.z->MoveAbsolute(1000), 0);  // the answer stays success
        const auto lines = diag.Messages();
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0], u"Tessaro device Z drive stopped at a limit switch");
        EXPECT_EQ(lines[1].rfind(u"Tessaro device Z drive ended ", 0), 0u);
        plugin.board->endpoint.processor().SetLimitSwitches(2, sim::LimitSwitches{});
    }
    {
        // Speed 0: a move would never end; the setter refuses it.
        DiagnosticCapture diag;
        EXPECT_EQ(plugin.z->SetSpeed(0), 12);
        EXPECT_TRUE(
            diag.Has(u"Z drive kept speed_revolutionPerSecond at 10: 0 from SetSpeed lies "
                     u"outside 2.99e-06 to 100"));
    }
    {
        // A move that fails on the line names the processor's error (the
        // command is repeated once, so two spoiled replies fail it).
        plugin.board->Fault("badsum:op=SetPosition:count=2");
        DiagnosticCapture diag;
        EXPECT_EQ(plugin.z->MoveRelative(5), 21);
        EXPECT_EQ(diag.Messages(), std::vector<std::u16string>{u"Tessaro device Z drive move "
                                                               u"failed: Checksum Error (error "
                                                               u"32766)"});
    }
    {
        // No switches at all: the search stores where the axis happened to be.
        DiagnosticCapture diag;
        EXPECT_EQ(plugin.z->FindLowerLimit(), 0);
        EXPECT_EQ(diag.Messages(),
                  std::vector<std::u16string>{u"Tessaro device Z drive found no limit switch on "
                                              u"the lower side within 60 s; the position of "
                                              u"that moment was stored"});
    }
}

TEST(PhysicalDevice, DisconnectWhileOtherThreadsMoveJogAndPoll) {
    // Under AddressSanitizer this also shows that nothing freed is used.
    PluginFixture plugin(45, 4);
    ASSERT_EQ(plugin.drives.size(), 3u);
    static std::atomic<bool> s_bDisconnecting{false};
    static std::atomic<int> s_lateCallbacks{0};
    s_bDisconnecting = false;
    s_lateCallbacks = 0;
    plugin.device->SetPositionCallback(
        [](std::uint32_t, SKxDevicePosition*, std::uint64_t) {
            if (s_bDisconnecting) ++s_lateCallbacks;
        },
        0);
    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; !stop; ++i, ++started) plugin.xy->MoveRelative(i % 2 ? 40 : -40, 20);
    });
    threads.emplace_back([&] {
        for (; !stop; ++started) {
            plugin.z->MoveJoystick(2);
            plugin.z->MoveJoystick(0);
        }
    });
    threads.emplace_back([&] {
        for (int i = 0; !stop; ++i, ++started) plugin.rotary->MoveRelative(i % 2 ? 5 : -5);
    });
    while (started < 6) std::this_thread::yield();
    // The callback may be running now, but none starts after this point.
    s_bDisconnecting = true;
    EXPECT_EQ(plugin.device->DisconnectDevice(), 0);
    const int lateAtReturn = s_lateCallbacks;
    stop = true;
    for (std::thread& t : threads) t.join();
    EXPECT_LE(lateAtReturn, 1);  // at most one that had begun before
    EXPECT_EQ(s_lateCallbacks, lateAtReturn);

    // Every drive operation now answers its failure value, sending nothing.
    const std::size_t sent = plugin.board->CommandCount();
    testing_support::ExpectAnswers({{"xy abs", plugin.xy->MoveAbsolute(10, 10), 21},
                                    {"xy rel", plugin.xy->MoveRelative(10, 10), 21},
                                    {"xy jog", plugin.xy->MoveVelocity(1, 1), 21},
                                    {"xy stop", plugin.xy->MoveVelocity(0, 0), 21},
                                    {"xy search", plugin.xy->FindLimits(), 1},
                                    {"z abs", plugin.z->MoveAbsolute(10), 21},
                                    {"z rel", plugin.z->MoveRelative(10), 21},
                                    {"z jog", plugin.z->MoveJoystick(1), 21},
                                    {"z stop", plugin.z->MoveVelocity(0), 21},
                                    {"z search", plugin.z->FindLimits(), 1},
                                    {"r abs", plugin.rotary->MoveAbsolute(10), 21},
                                    {"r rel", plugin.rotary->MoveRelative(10), 21},
                                    {"r jog", plugin.rotary->MoveVelocity(1), 21},
                                    {"r stop", plugin.rotary->MoveVelocity(0), 21}});
    EXPECT_EQ(plugin.board->CommandCount(), sent);
    EXPECT_EQ(s_lateCallbacks, lateAtReturn);
}

TEST(PhysicalDevice, ConnectionDialogCancelledOrChosen) {
    testing_support::PluginHost plugin;
    IKxPhysicalDevice* device = plugin.device;
    CKxStringW text = PortText(u"m_iPort", 4);
    SetIntToKey(text, u"m_other", 9);
    const CKxStringW original = text;
    // The chooser is offered the text's port (0 without one); a cancel (0)
    // or nonsense (-3) keeps the text, a port replaces it.
    int offered = -1, answer = 0;
    host::SetConnectionChooser([&](int port) {
        offered = port;
        return answer;
    });
    EXPECT_EQ(device->ShowConnectionDialog(text, nullptr), 7);
    EXPECT_EQ(offered, 4);
    answer = -3;
    EXPECT_EQ(device->ShowConnectionDialog(text, nullptr), 7);
    EXPECT_EQ(text, original);
    answer = 12;
    EXPECT_EQ(device->ShowConnectionDialog(text, nullptr), 0);
    EXPECT_EQ(text, PortText(u"m_iPort", 12));
    CKxStringW empty;
    answer = 0;
    EXPECT_EQ(device->ShowConnectionDialog(empty, nullptr), 7);
    EXPECT_EQ(offered, 0);
    host::SetConnectionChooser(nullptr);
}

TEST(PhysicalDevice, DriveListFollowsTheAxesTheBoardReports) {
    const std::vector<std::vector<std::u16string>> expected = {
        {u"IDeviceXY"}, {u"IDeviceXY", u"IDeviceZ"}, {u"IDeviceXY", u"IDeviceZ", u"IDeviceRotary"}};
    for (std::uint16_t axes = 2; axes <= 4; ++axes) {
        PluginFixture plugin(42, axes);
        ASSERT_EQ(plugin.device->GetConnectionState(), 2u) << axes << " axes";
        std::vector<std::u16string> names;
        for (IKxLogicalDevice* d : plugin.drives) names.push_back(d->GetInterfaceName().str());
        EXPECT_EQ(names, expected[axes - 2]) << axes << " axes";
        // A second call makes the list anew.
        CKxLogicalDeviceList again{nullptr, nullptr};
        plugin.device->CreateLogicalDevices(0, 0, again);
        EXPECT_EQ(again.size(), plugin.drives.size());
        for (IKxLogicalDevice* d : again) delete d;
    }
}

TEST(PhysicalDevice, EachDriveKeepsItsOwnAxesWhenOneFails) {
    PluginFixture plugin(48, 4);
    plugin.board->Fault("refuse:op=SetMotorType:axis=1:status=4:count=1");
    // Axis 1's set-up refused: the stage is left out, Z and the rotary drive
    // keep axes 2 and 3.
    ASSERT_TRUE(plugin.Connect(48) && plugin.z && plugin.rotary);
    EXPECT_EQ(plugin.xy, nullptr);
    const std::size_t from = plugin.board->CommandCount();
    EXPECT_EQ(plugin.z->MoveRelative(100.0) + plugin.rotary->MoveRelative(10.0), 0);
    for (int axis = 0; axis < 4; ++axis)
        EXPECT_EQ(plugin.board->Count("SetPosition", from, axis), axis >= 2) << axis;
    // The parameters' destination is where the axis stands, not count 0.
    plugin.z->LoadSettings(u"", 2);
    EXPECT_EQ(plugin.board->Args("SetPosition", from, 2, true), testing_support::Words32(-5100));
}

TEST(PhysicalDevice, CollectedMoveStartsEveryAxisBeforeTheFirstWait) {
    PluginFixture plugin(43, 4, 4.0);
    ASSERT_NE(plugin.rotary, nullptr);

    EXPECT_EQ(plugin.device->SetCollectMoves(true), 0);
    bool collect = false;
    plugin.device->GetCollectMoves(&collect);
    EXPECT_TRUE(collect);
    const std::size_t before = plugin.board->CommandCount();
    // Stored, not sent; a second move of a drive replaces its first.
    EXPECT_EQ(plugin.xy->MoveAbsolute(100.0, 200.0), 0);
    EXPECT_EQ(plugin.z->MoveAbsolute(10.0), 0);
    EXPECT_EQ(plugin.z->MoveRelative(50.0), 0);
    EXPECT_EQ(plugin.rotary->MoveAbsolute(90.0), 0);
    for (const auto& c : plugin.board->Commands(before))
        EXPECT_TRUE(c.name.rfind("Get", 0) == 0) << "only polling while collecting: " << c;

    const std::size_t start = plugin.board->CommandCount();
    EXPECT_EQ(plugin.device->ExecuteCollectedMoves(0), 0);
    const auto commands = plugin.board->Commands(start);
    // Where each axis was started and where the first wait began.
    std::size_t firstWait = commands.size();
    std::vector<std::size_t> started(4, commands.size());
    for (std::size_t i = 0; i < commands.size(); ++i) {
        const auto& c = commands[i];
        if (c.name == "GetEventStatus" && firstWait == commands.size()) firstWait = i;
        if (c.name == "Update" && c.axis < 4) started[c.axis] = i;
        if (c.name == "MultiUpdate") started[0] = started[1] = i;
    }
    for (std::uint8_t axis = 0; axis < 4; ++axis) {
        ASSERT_LT(started[axis], commands.size()) << "axis " << int(axis) << " never started";
        EXPECT_LT(started[axis], firstWait) << "axis " << int(axis);
    }
    double x = 0, y = 0, z = 0, angle = 0;
    plugin.xy->GetPosition(&x, &y);
    plugin.z->GetPosition(&z);
    plugin.rotary->GetAngle(&angle);
    EXPECT_NEAR(x, 100.0, 1e-9);
    EXPECT_NEAR(y, 200.0, 1e-9);
    EXPECT_NEAR(z, 50.0, 1e-9);  // the relative move that replaced the absolute one
    EXPECT_NEAR(angle, 90.0, 0.01);
    plugin.device->GetCollectMoves(&collect);
    EXPECT_FALSE(collect);  // until the host asks again

    // A start that fails: the answer says so, the drive names itself, the
    // others move.
    DiagnosticCapture told;
    plugin.device->SetCollectMoves(true);
    plugin.xy->MoveRelative(10.0, 10.0);
    plugin.z->MoveRelative(500.0);
    plugin.z->LoadSettings(u"", 2);  // its next move sends its profile mode
    plugin.board->Fault("refuse:op=SetProfileMode:axis=2:status=4:count=1");
    EXPECT_EQ(plugin.device->ExecuteCollectedMoves(0), 21);
    EXPECT_TRUE(told.Has(u"Tessaro device Z drive move failed: "));
    plugin.xy->GetPosition(&x, &y);
    plugin.z->GetPosition(&z);
    EXPECT_NEAR(x, 110.0, 1e-9);
    EXPECT_NEAR(z, 50.0, 1e-9);
}

TEST(PhysicalDevice, DroppingAnOpenDeviceClosesTheController) {
    // (A second connect without a disconnect closing the first controller
    // is in the connection test's reconnects, and the fault matrix's.)
    constexpr int kPort = 44;
    SimBoard board(kPort, 4);
    IKxInterface* object = KX_ConstructorForCKxTessaroDevice(__FILE__, __LINE__);
    auto* device = dynamic_cast<IKxPhysicalDevice*>(object);
    ASSERT_NE(device, nullptr);
    device->ConnectDevice(PortText(u"m_iPort", kPort).GetString());
    ASSERT_EQ(device->GetConnectionState(), 2u);
    object->GetKxClass()->Release();
    EXPECT_EQ(board.Count("Reset"), 1);
}

}  // namespace
