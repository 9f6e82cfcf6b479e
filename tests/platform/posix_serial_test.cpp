// POSIX back-end behaviour that only a real terminal shows: signals during a
// wait, and a line that disappears. An in-process pseudo-terminal with nobody
// answering stands behind COM7.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "cmotion/link_commands.h"
#include "cmotion/link_serial.h"
#include "platform/posix/pty_pair.h"

namespace cmotion {
namespace {

constexpr int kPort = 7;

void IgnoreSignal(int) {}

class PosixSerial : public ::testing::Test {
  protected:
    void SetUp() override {
        pty = std::make_unique<platform::PtyPair>();
        std::string error;
        ASSERT_TRUE(pty->Open(&error)) << error;
        platform::SetComPortPath(kPort, pty->slavePath());
        ASSERT_EQ(OpenSerialInterface(&handle, 0, kPort), kLinkOk);
    }
    void TearDown() override {
        if (handle.m_pfnClose) handle.m_pfnClose(handle.m_pPort);
        platform::ClearComPortPaths();
    }

    std::unique_ptr<platform::PtyPair> pty;
    CLinkAxisHandle handle{};
};

TEST_F(PosixSerial, SignalsDoNotCutTheReadTimeoutShort) {
    struct sigaction sa {};
    sa.sa_handler = IgnoreSignal;  // no SA_RESTART: poll() returns EINTR
    struct sigaction old {};
    ASSERT_EQ(sigaction(SIGUSR1, &sa, &old), 0);

    std::atomic<bool> done{false};
    const pthread_t reader = pthread_self();
    std::thread pester([&] {
        while (!done) {
            pthread_kill(reader, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    const auto start = std::chrono::steady_clock::now();
    const LinkError code = Update(&handle);  // nobody answers: 2 bytes, 120 ms
    const auto elapsed = std::chrono::steady_clock::now() - start;
    done = true;
    pester.join();
    sigaction(SIGUSR1, &old, nullptr);

    EXPECT_EQ(code, kLinkCommPortRead);  // a time-out with nothing, not a failure
    // A silent far side is no lost line.
    EXPECT_FALSE(platform::CurrentSerialApi().LineLost(handle.m_pPort->m_hPort, nullptr));
    EXPECT_GE(elapsed, std::chrono::milliseconds(115));
    EXPECT_LT(elapsed, std::chrono::seconds(3));
}

TEST_F(PosixSerial, ALineThatDisappearsFailsAtOnce) {
    pty.reset();  // the far side closes: the terminal hangs up
    const auto start = std::chrono::steady_clock::now();
    // The packet can no longer be written: the first step that touches the
    // line reports it.
    std::uint16_t events = 0;
    EXPECT_EQ(GetEventStatus(&handle, &events), kLinkCommPortWrite);
    EXPECT_EQ(SyncSerialPort(handle.m_pPort), kLinkCommPortWrite);
    // Failures at once, not fifteen time-outs of 110 ms.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    // The system's word for it, until the handle is closed.
    std::string why;
    EXPECT_TRUE(platform::CurrentSerialApi().LineLost(handle.m_pPort->m_hPort, &why));
    EXPECT_NE(why.find("Input/output error"), std::string::npos) << why;
}

}  // namespace
}  // namespace cmotion
