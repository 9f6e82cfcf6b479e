// The device's diagnostic lines, read once as they arrive: which drive a
// line is about and what it tells. The plug-in answers the host's calls with
// a few result codes; why a move or a setting went as it did it says only in
// these lines. So this is the one place where their words are read: the
// session, tessaro-host and libtessaro work on the kind.
#pragma once

#include <string>
#include <vector>

namespace tessaro_host {

enum class LineDrive { kNone, kXY, kZ, kRotary };

struct DeviceLine {
    std::string text;
    LineDrive drive = LineDrive::kNone;
    // A failure, a loss, a doubt or a value not taken (a log's warning)
    // rather than something that went as asked.
    bool warning = false;
    // Why an operation failed: the processor's error, a refusal, a stop or a
    // move past its bound.
    bool explainsFailure = false;
    // A move or a search that answered but did not end as asked (short of
    // its target, at a limit switch, past its bound, no switch found).
    bool endedBadly = false;
    bool stopped = false;            // ended by the user's stop
    bool valueRefused = false;       // a value or target outside what the drive takes
    bool settingKept = false;        // ... a setting's, which the drive kept as it was
    bool failedForLostLine = false;  // the operation failed because the line is away
    bool positionDoubted = false, positionTrustedAgain = false;
    bool reportsLineLost = false, reportsLineBack = false;  // the device's word on its line
};

DeviceLine ReadDeviceLine(const std::string& text);

// The first of `lines` that says why an operation of `drive` failed (any
// drive's for kNone); nullptr when there is none.
const DeviceLine* WhyFailed(const std::vector<DeviceLine>& lines, LineDrive drive);

}  // namespace tessaro_host
