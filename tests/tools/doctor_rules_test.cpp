// Which findings of `tessaro-host doctor` make which problems.
#include "tools/tessaro-host/doctor_rules.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace tessaro_host {
namespace {

// A pattern's literal pieces, in order; ".*" between them, "^" and "$" to
// tie the first and the last to the ends (std::regex trips GCC 12's
// uninitialised-use warning in the sanitizer builds).
bool Matches(const std::string& text, std::string pattern) {
    const bool atStart = !pattern.empty() && pattern.front() == '^';
    const bool atEnd = !pattern.empty() && pattern.back() == '$';
    pattern = pattern.substr(atStart, pattern.size() - atStart - atEnd);
    std::size_t from = 0, piece = 0;
    std::string literal;
    for (bool first = true; piece != std::string::npos; first = false) {
        const std::size_t gap = pattern.find(".*", piece);
        literal = pattern.substr(piece, gap == std::string::npos ? gap : gap - piece);
        const std::size_t at = text.find(literal, from);
        if (at == std::string::npos || (first && atStart && at != 0)) return false;
        from = at + literal.size();
        piece = gap == std::string::npos ? gap : gap + 2;
    }
    return !atEnd || (text.size() >= literal.size() &&
                      text.compare(text.size() - literal.size(), literal.size(), literal) == 0);
}

TEST(doctor, RoundTripFigures) {
    const RoundTrips r = Summarise({5, 1, 3, 2});
    EXPECT_EQ((std::vector<double>{r.minimum, r.median, r.worst}),
              (std::vector<double>{1, 2.5, 5}));
    EXPECT_EQ(Summarise({4, 9, 1}).median, 4);
    EXPECT_NEAR(WireTimeMs(10, 57600), 1.736, 0.001);
}

TEST(doctor, ProblemsAndTheirFixes) {
    struct Row {
        const char* what;
        std::function<void(LineFindings&)> change;
        std::vector<const char*> problems;  // patterns, in order
    };
    const Row rows[] = {
        {"healthy", [](LineFindings&) {}, {}},
        {"slow by less than 3 ms", [](LineFindings& f) { f.roundTrip.median = 4.6; }, {}},
        {"timer 16 ms",
         [](LineFindings& f) { f.latencyTimerMs = 16, f.roundTrip.median = 17.8; },
         {"latency timer is 16 ms .*set it to 2 ms: FIX$",
          "^replies come 16.1 ms later .*timer above is the likely cause$"}},
        {"timer 3 ms", [](LineFindings& f) { f.latencyTimerMs = 3; }, {"latency timer is 3 ms"}},
        {"timer unknown",
         [](LineFindings& f) { f.latencyTimerMs = -1, f.roundTrip.median = 9.8; },
         {"^replies come 8.1 ms later .*about 8 ms; set it to 2 ms: FIX$"}},
        {"timer short", [](LineFindings& f) { f.roundTrip.median = 9.8; }, {"USB hub"}},
        {"nothing timed", [](LineFindings& f) { f.timed = 0, f.roundTrip.median = 0; }, {}},
        {"repeats",
         [](LineFindings& f) { f.repeats = 2, f.failures = 1; },
         {"^2 of 53 exchanges needed a repeat and 1 failed even so: .*cable"}},
        {"switches",
         [](LineFindings& f) {
             f.axes = {{0, 0x20}, {1, 0x10}, {2, 0}};
         },
         {"^axis 0: the positive limit switch reads active: the stage rests",
          "^axis 1: the negative", "^axis 2: both .*positive-limit-switches setting off$"}},
    };
    for (const Row& row : rows) {
        LineFindings f;
        f.latencyTimerMs = 2;
        f.latencyFix = "FIX";
        f.roundTrip = {1.8, 1.9, 3.0};
        f.timed = 40;
        f.wireMs = 1.7;
        f.exchanges = 53;
        f.axes = {{0, 0x30}, {3, 0xFFFF}};
        row.change(f);
        const std::vector<std::string> problems = FindProblems(f);
        ASSERT_EQ(problems.size(), row.problems.size()) << row.what;
        for (std::size_t i = 0; i < problems.size(); ++i)
            EXPECT_TRUE(Matches(problems[i], row.problems[i])) << row.what << ": " << problems[i];
    }
}

}  // namespace
}  // namespace tessaro_host
