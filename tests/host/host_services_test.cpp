// The stand-in host's services: number texts in both directions, a
// recursive mutex, time with a speed factor that never jumps, and the
// module-file reader on damaged files. (Formatting, languages, the wait
// cursor and posted messages are checked where the dialogs use them.)
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "host/kx_module_file.h"
#include "host/kx_thread.h"
#include "host/kx_time.h"
#include "host/kx_ui.h"

namespace {

std::u16string Text(double value, int decimals, int length = 64) {
    std::vector<char16_t> buffer(static_cast<std::size_t>(length), u'#');
    KX_DoubleToString(value, decimals, buffer.data(), length);
    return buffer.data();
}

TEST(HostUiServices, NumbersToTextAndBack) {
    EXPECT_EQ(Text(12.5, 5), u"12.50000");
    EXPECT_EQ(Text(-0.000004, 5), u"-0.00000");
    EXPECT_EQ(Text(2.0 / 3.0, 0), u"1");
    EXPECT_EQ(Text(1e300, 2, 400).size(), 304u);
    EXPECT_EQ(Text(1e300, 2, 8), u"1000000");  // cut to the buffer, still ended
    EXPECT_EQ(Text(std::nan(""), 3), u"nan");
    EXPECT_EQ(Text(-std::numeric_limits<double>::infinity(), 3), u"-inf");
    EXPECT_EQ(Text(1.5, 99), u"1.50000000000000000000");  // at most 20 decimals
    EXPECT_EQ(KX_DoubleToString(1.0, 2, nullptr, 10), 0);
    char16_t one[1] = {u'#'};
    EXPECT_EQ(KX_DoubleToString(1.0, 2, one, 1), 0);
    EXPECT_EQ(one[0], u'\0');

    double v = -1;
    EXPECT_TRUE(KX_StringToDouble(u" 3.25 ", &v));
    EXPECT_EQ(v, 3.25);
    EXPECT_TRUE(KX_StringToDouble(u"+1e-3", &v));
    EXPECT_EQ(v, 0.001);
    EXPECT_TRUE(KX_StringToDouble(u"-150", &v));
    EXPECT_EQ(v, -150.0);
    // Anything else leaves the value as it was.
    v = 7;
    for (const char16_t* bad :
         {u"", u"  ", u"12abc", u"1,5", u"+", u"\u0661", u"--1", u"nan", u"inf", u"-1e400"})
        EXPECT_FALSE(KX_StringToDouble(bad, &v)) << std::u16string(bad).size();
    EXPECT_FALSE(KX_StringToDouble(nullptr, &v));
    EXPECT_FALSE(KX_StringToDouble(u"1", nullptr));
    EXPECT_EQ(v, 7);
}

TEST(HostThreads, TheOwnerMayLockTheMutexAgain) {
    pthread_mutexCS_t m;
    ASSERT_EQ(pthread_mutexCS_init(&m), 0);
    {
        CKxMutexLock outer(m);
        EXPECT_EQ(pthread_mutexCS_lock(&m), 0);
        EXPECT_EQ(pthread_mutexCS_unlock(&m), 0);
    }
    std::thread([&] { CKxMutexLock free(m); }).join();  // released by both
    EXPECT_EQ(pthread_mutexCS_destroy(&m), 0);
}

TEST(HostTime, SpeedFactorWithoutJumps) {
    const double speed = host::TimeSpeed();
    const double before = KX_GetTimeCounter();
    host::SetTimeSpeed(1000.0);
    const double fast = KX_GetTimeCounter();
    EXPECT_GE(fast, before);
    EXPECT_LT(fast - before, 100.0);  // no jump when the factor changes
    const auto t0 = std::chrono::steady_clock::now();
    host::Sleep(2000);  // 2 s of host time, 2 ms of real time
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_GE(KX_GetTimeCounter() - fast, 2000.0);
    host::SetTimeSpeed(speed);
    const double slow = KX_GetTimeCounter();
    EXPECT_GE(slow, fast + 2000.0);  // never backward
    // Nonsense factors are refused.
    host::SetTimeSpeed(0.0);
    host::SetTimeSpeed(-5.0);
    host::SetTimeSpeed(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(host::TimeSpeed(), speed);
}

TEST(HostModuleFile, DamagedFilesGiveReasonsNotCrashes) {
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(host::FindModuleSection({}, "ver6ID", &bytes, &error));
    EXPECT_EQ(error, "neither a PE nor an ELF file");
    EXPECT_FALSE(host::ReadModuleSection("/no/such/module", "ver6ID", &bytes, &error));
    // Every cut of a small ELF and PE header, and offsets pointing anywhere.
    std::vector<std::uint8_t> elf(64, 0);
    elf[0] = 0x7f, elf[1] = 'E', elf[2] = 'L', elf[3] = 'F', elf[4] = 2, elf[5] = 1;
    elf[0x28] = 0xF0, elf[0x2F] = 0x7F;  // section headers far beyond the end
    elf[0x3A] = 64, elf[0x3C] = 3, elf[0x3E] = 1;
    std::vector<std::uint8_t> pe(0x200, 0);
    pe[0] = 'M', pe[1] = 'Z', pe[0x3C] = 0x40;
    pe[0x40] = 'P', pe[0x41] = 'E', pe[0x46] = 0xFF, pe[0x47] = 0xFF;  // 65535 sections
    for (const auto& file : {elf, pe}) {
        for (std::size_t cut = 0; cut <= file.size(); ++cut) {
            const std::vector<std::uint8_t> part(file.begin(), file.begin() + cut);
            EXPECT_FALSE(host::FindModuleSection(part, "ver6ID", &bytes, &error));
            EXPECT_FALSE(error.empty());
        }
    }
    // A PE section whose data lies outside the file.
    pe[0x46] = 1, pe[0x47] = 0;
    const std::size_t entry = 0x40 + 24;
    const char name[] = "ver6ID";
    for (std::size_t i = 0; i < 6; ++i) pe[entry + i] = static_cast<std::uint8_t>(name[i]);
    pe[entry + 8] = 0x10;                          // virtual size 16
    pe[entry + 16] = 0x10;                         // raw size 16
    pe[entry + 20] = 0xF8, pe[entry + 21] = 0x01;  // at 0x1F8: 8 bytes short
    EXPECT_FALSE(host::FindModuleSection(pe, "ver6ID", &bytes, &error));
    EXPECT_EQ(error, "section lies outside the file");
    pe[entry + 20] = 0xF0;  // at 0x1F0: fits exactly
    ASSERT_TRUE(host::FindModuleSection(pe, "ver6ID", &bytes, &error)) << error;
    EXPECT_EQ(bytes.size(), 16u);
}

}  // namespace
