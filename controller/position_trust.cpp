#include "controller/position_trust.h"

#include "controller/motion_report.h"

namespace tessaro {

namespace {
constexpr const char* kWayOut = "; set the origin or search the limits";
}

void LosePositionTrust(const char* drive, std::initializer_list<CTessaroAxis*> axes,
                       const std::string& why) {
    for (CTessaroAxis* axis : axes)
        if (axis) axis->positionTrusted = false;
    ReportMotionEnding(drive, "position cannot be trusted: " + why + kWayOut);
}

void RegainPositionTrust(const char* drive, std::initializer_list<CTessaroAxis*> axes,
                         const char* how) {
    bool was = true;
    for (CTessaroAxis* axis : axes) {
        if (!axis) continue;
        was = was && axis->positionTrusted;
        axis->positionTrusted = true;
    }
    if (!was) ReportMotionEnding(drive, std::string("position is trusted again: ") + how);
}

void SetOriginOfLostFrame(const char* drive, std::initializer_list<CTessaroAxis*> axes) {
    bool lost = false;
    for (CTessaroAxis* axis : axes) lost = lost || (axis && !axis->positionTrusted);
    if (lost) {
        for (CTessaroAxis* axis : axes) {
            if (!axis) continue;
            axis->minPos_step = -2147483647 - 1;
            axis->maxPos_step = 2147483647;
            axis->lowerLimitAtSwitch = false;
        }
        ReportMotionEnding(drive,
                           "limits cleared (the whole travel): they were set where its "
                           "position could not be trusted; set or search them again");
    }
    RegainPositionTrust(drive, axes, "the origin was set");
}

bool TrustedForAbsoluteMove(const char* drive, std::initializer_list<const CTessaroAxis*> axes) {
    for (const CTessaroAxis* axis : axes) {
        if (axis && !axis->positionTrusted) {
            ReportMotionEnding(drive,
                               std::string("refused an absolute move: its position cannot be "
                                           "trusted") +
                                   kWayOut);
            return false;
        }
    }
    return true;
}

}  // namespace tessaro
