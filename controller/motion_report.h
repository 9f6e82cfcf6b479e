// What the host should hear about how a move or a limit search ended when
// the operation's answer cannot say it (a move that stopped at a limit
// switch or ran out its 60 s wait still answers success): one line through
// the host's diagnostics, "Tessaro device <drive> drive <what>".
#pragma once

#include <string>

namespace tessaro {

void ReportMotionEnding(const char* drive, const std::string& what);
// The same for the controller as a whole: "Tessaro device <what>".
void ReportControllerEvent(const std::string& what);

}  // namespace tessaro
