// Opening and closing the controller against the simulated board: the
// command sequence, the axes and motion objects by position, failures.
#include <gtest/gtest.h>

#include <algorithm>

#include "cmotion/link_opcodes.h"
#include "controller/controller_clock.h"
#include "controller/tessaro_axis.h"
#include "controller/tessaro_controller.h"
#include "controller/tessaro_motion.h"
#include "tests/support/sim_board.h"

namespace tessaro {
namespace {

using testing_support::SimBoard;
using testing_support::SimCommand;
using testing_support::Words32;
using Cmds = std::vector<SimCommand>;

constexpr int kPort = 21;

// A board just reset: one probe of what it holds, then the set-up.
Cmds InitializeSequence(std::uint8_t axis) {
    return {{axis, "GetOperatingMode", {}, 0},    {axis, "SetPWMFrequency", {5000}, 0},
            {axis, "GetSampleTime", {}, 0},       {axis, "SetMotorType", {3}, 0},
            {axis, "SetOutputMode", {1}, 0},      {axis, "SetOperatingMode", {0x37}, 0},
            {axis, "SetPhaseCounts", {1020}, 0},  {axis, "SetActualPositionUnits", {1}, 0},
            {axis, "SetEventAction", {1, 2}, 0},  {axis, "SetEventAction", {2, 2}, 0},
            {axis, "SetEventAction", {3, 2}, 0},  {axis, "Update", {}, 0},
            {axis, "GetCommandedPosition", {}, 0}};
}

// Current, holding current and delay, phase counts, jerk, start velocity,
// position, acceleration, deceleration, stop mode, signal sense, events,
// Update; with the values the defaults give on a 100 us cycle.
Cmds ApplySequence(std::uint8_t axis, std::uint16_t current, std::uint16_t holding,
                   std::uint16_t delay, std::uint32_t acceleration) {
    const std::uint16_t accHigh = static_cast<std::uint16_t>(acceleration >> 16);
    const std::uint16_t accLow = static_cast<std::uint16_t>(acceleration & 0xFFFF);
    return {{axis, "SetMotorCommand", {current}, 0},
            {axis, "SetHoldingCurrent", {0, holding}, 0},
            {axis, "SetHoldingCurrent", {1, delay}, 0},
            {axis, "SetPhaseCounts", {1020}, 0},
            {axis, "SetJerk", {0x1999, 0x9999}, 0},
            {axis, "SetStartVelocity", {0, 0}, 0},
            {axis, "SetPosition", {0, 0}, 0},
            {axis, "SetAcceleration", {accHigh, accLow}, 0},
            {axis, "SetDeceleration", {accHigh, accLow}, 0},
            {axis, "SetStopMode", {2}, 0},
            {axis, "GetSignalSense", {}, 0},
            {axis, "SetSignalSense", {0}, 0},
            {axis, "ResetEventStatus", {0}, 0},
            {axis, "Update", {}, 0}};
}

Cmds Join(std::initializer_list<Cmds> parts) {
    Cmds all;
    for (const Cmds& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(ControllerOpen, FourAxesCommandSequenceAndDefaults) {
    SimBoard board(kPort, 4);
    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    const Cmds seen = board.Commands();
    // Linear axes: 80 % -> 26214, 15 % -> 4915, 2 ms -> 20 cycles,
    // 51000 steps/rev at 10 kHz and 4.5 rev/s^2 -> 15040.
    // Rotary: 60 % -> 19660, 10 % -> 3276, 0 ms, 800 poles -> 204000
    // steps/rev -> 60162.
    const Cmds expected = Join({{{0, "Nop", {}, 0}, {0, "GetVersion", {}, 0}},
                                InitializeSequence(0),
                                InitializeSequence(1),
                                InitializeSequence(2),
                                InitializeSequence(3),
                                ApplySequence(0, 26214, 4915, 20, 15040),
                                ApplySequence(1, 26214, 4915, 20, 15040),
                                ApplySequence(2, 26214, 4915, 20, 15040),
                                ApplySequence(3, 19660, 3276, 0, 60162)});
    ASSERT_GE(seen.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(seen[i], expected[i]) << "command " << i;

    EXPECT_FALSE(controller.m_bStopped);
    ASSERT_EQ(controller.m_axes.size(), 4u);
    EXPECT_EQ((std::vector<long long>{
                  controller.m_uFamily, controller.m_uNumberOfAxes, controller.m_uBoardVersionMajor,
                  controller.m_uBoardVersionMinor, controller.m_axes[0]->m_uSampleTime_us,
                  controller.m_pXYMotion->m_pAxisY->axisNumber(),
                  controller.m_pZMotion->m_pAxis->axisNumber(),
                  controller.m_pRotaryMotion->m_pAxis->poleCount}),
              (std::vector<long long>{5, 4, 3, 5, 100, 1, 2, 800}));
    controller.Close();
    EXPECT_EQ(board.Commands().back(), (SimCommand{0, "Reset", {}, 0}));
}

// A board an earlier session set up and then left without a disconnect (it
// died): X stopped with a jog still buffered, Z still jogging. Connect
// stops Z smoothly and waits for it, clears the events and buffers a
// velocity move of 0 before the set-up's Update: X never moves, Z ends at
// rest.
TEST(ControllerOpen, AdoptsABoardLeftAsItWas) {
    SimBoard board(kPort, 4);
    sim::MotionProcessor& processor = board.endpoint.processor();
    const auto exec = [&](std::uint8_t axis, cmotion::Opcode op, std::vector<std::uint16_t> data) {
        processor.Execute(axis, static_cast<std::uint8_t>(op), data.data(), data.size(), 2);
    };
    using cmotion::Opcode;
    for (std::uint8_t axis : {0, 2}) {
        exec(axis, Opcode::SetOperatingMode, {0x37});
        exec(axis, Opcode::SetAcceleration, Words32(15040));
        exec(axis, Opcode::SetDeceleration, Words32(15040));
        exec(axis, Opcode::SetProfileMode, {1});
        exec(axis, Opcode::SetVelocity, Words32(-200000));
        exec(axis, Opcode::Update, {});
    }
    exec(0, Opcode::SetStopMode, {2});
    exec(0, Opcode::Update, {});
    while (processor.Axis(0).moving) SleepHostMs(5);
    const std::int32_t xBefore = processor.Axis(0).CommandedSteps();

    CTessaroController controller(kPort);
    ASSERT_TRUE(controller.Open());
    EXPECT_EQ(processor.Axis(0).CommandedSteps(), xBefore);
    EXPECT_FALSE(processor.Axis(2).moving);
    const auto adopted = [](std::uint8_t axis) {
        return Cmds{{axis, "SetProfileMode", {1}, 0},
                    {axis, "SetVelocity", {0, 0}, 0},
                    {axis, "ResetEventStatus", {0}, 0},
                    {axis, "SetPWMFrequency", {5000}, 0}};
    };
    const Cmds x = board.Commands(0, 0), z = board.Commands(0, 2);
    // X: the probe, at rest, a velocity move of 0 buffered, then the set-up.
    const Cmds xExpected = Join({{{0, "Nop", {}, 0},
                                  {0, "GetVersion", {}, 0},
                                  {0, "GetOperatingMode", {}, 0},
                                  {0, "GetActivityStatus", {}, 0}},
                                 adopted(0)});
    ASSERT_GE(x.size(), xExpected.size());
    EXPECT_EQ(Cmds(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(xExpected.size())),
              xExpected);
    // Z: stopped smoothly, polled until at rest, then the same.
    ASSERT_GE(z.size(), 6u);
    EXPECT_EQ(Cmds(z.begin(), z.begin() + 4), (Cmds{{2, "GetOperatingMode", {}, 0},
                                                    {2, "GetActivityStatus", {}, 0},
                                                    {2, "SetStopMode", {2}, 0},
                                                    {2, "Update", {}, 0}}));
    const auto setUp = std::find(z.begin(), z.end(), SimCommand{2, "SetPWMFrequency", {5000}, 0});
    ASSERT_GE(setUp - z.begin(), 8);
    EXPECT_EQ(Cmds(setUp - 4, setUp + 1), Join({{{2, "GetActivityStatus", {}, 0}}, adopted(2)}));
}

TEST(ControllerOpen, FailuresLeaveItStoppedAndClosed) {
    // No such port; a processor that never answers the synchronisation;
    // GetVersion refused. Each leaves no axes and the port free again.
    for (const char* fault : {"", "silence:from=1", "badsum:op=GetVersion"}) {
        SCOPED_TRACE(fault);
        SimBoard board(kPort, 4);
        if (*fault) board.Fault(fault);
        CTessaroController controller(*fault ? kPort : kPort + 1);
        EXPECT_FALSE(controller.Open());
        EXPECT_TRUE(controller.m_bStopped);
        EXPECT_EQ(controller.m_board.m_pPort, nullptr);
        EXPECT_TRUE(controller.m_axes.empty());
        cmotion::CLinkAxisHandle handle{};
        EXPECT_EQ(cmotion::OpenSerialInterface(&handle, 0, kPort), cmotion::kLinkOk);
        handle.m_pfnClose(handle.m_pPort);
    }
}

}  // namespace
}  // namespace tessaro
