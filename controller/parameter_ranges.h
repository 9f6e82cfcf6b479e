// The values an axis parameter may take. A value outside its range would
// make a drive run away or lose its motor: a calibration of 0 or 1e-9
// um/rev turns every target into a full-scale count, a direction of 0
// multiplies every move by 0, 0 microsteps leave no step count to divide
// by, and a running current above 100 % wraps to an unpowered motor in the
// processor's 16-bit command. Every entry (settings text, the drives'
// setters, the dialogs) asks here before it stores a value; a value refused
// leaves the field as it was and tells the host why.
#pragma once

#include <string>

namespace tessaro {

// Whether `value` may be stored in the parameter named by its settings key
// (`key`, with or without the stage's "_x"/"_y" suffix; a key without a
// range takes any value). When not, one diagnostic line names the drive,
// the key, `shown` (the value as it came, where the stored value is a
// narrowed one), `source`, the range and `kept`, the value that stays.
bool AcceptParameter(const char* drive, const std::string& key, double value, double kept,
                     const char* source);
bool AcceptParameter(const char* drive, const std::string& key, double value, double kept,
                     const char* source, double shown);

}  // namespace tessaro
