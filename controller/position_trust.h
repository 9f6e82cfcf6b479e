// Whether an axis's counts still belong to the frame its origin and limits
// were set in. A board that was not reset when its last host went away
// (a crash, a kill, a power cut on the PC side) keeps counting from its old
// origin and may have moved since; when the settings loaded at the next
// connect cannot tell where it stands, its drive says so, and absolute
// moves (which would go to a place worked out in the wrong frame) are
// refused until the origin is set or the limits are searched again, or
// settings that fit the board are loaded. Relative moves, jogs and stops
// stay allowed: they need no frame.
//
// The state goes to the host as diagnostic lines, "Tessaro device <drive>
// drive position cannot be trusted: ..." and "... position is trusted
// again: ...", the only channel the host's interfaces have for it.
#pragma once

#include <initializer_list>
#include <string>

#include "controller/tessaro_axis.h"

namespace tessaro {

// An absolute move refused while the position cannot be trusted (this
// side's own code, below the link's range).
inline constexpr std::uint16_t kPositionUntrusted = 32718;

// Marks the axes' positions as not to be trusted and tells the host why.
void LosePositionTrust(const char* drive, std::initializer_list<CTessaroAxis*> axes,
                       const std::string& why);
// Marks them as trusted again; says so (with `how`) when any was not.
void RegainPositionTrust(const char* drive, std::initializer_list<CTessaroAxis*> axes,
                         const char* how);
// The origin is set on axes of which some could not be trusted: their
// limits belonged to the frame that was lost and bound nothing known, so
// they become the whole travel (and the host is told); then the axes are
// trusted again.
void SetOriginOfLostFrame(const char* drive, std::initializer_list<CTessaroAxis*> axes);
// Whether every axis given is trusted; when not, tells the host that an
// absolute move was refused and returns false.
bool TrustedForAbsoluteMove(const char* drive, std::initializer_list<const CTessaroAxis*> axes);

}  // namespace tessaro
