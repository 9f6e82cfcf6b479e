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

class CTessaroAxis;

// Whether `value` may be stored in the parameter named by its settings key
// (`key`, with or without the stage's "_x"/"_y" suffix; a key without a
// range takes any value). When not, one diagnostic line names the drive,
// the key, `shown` (the value as it came, where the stored value is a
// narrowed one), `source`, the range and `kept`, the value that stays.
bool AcceptParameter(const char* drive, const std::string& key, double value, double kept,
                     const char* source);
bool AcceptParameter(const char* drive, const std::string& key, double value, double kept,
                     const char* source, double shown);
// The same, and further what `axis`'s processor registers can carry (once
// its sample time is known): a speed that would reach it as 0 counts, an
// acceleration or deceleration that would wrap its 32 bits.
bool AcceptAxisParameter(const char* drive, const CTessaroAxis& axis, const std::string& key,
                         double value, double kept, const char* source);
// The slowest speed the processor can run `axis` at (one count), rev/s.
double SlowestSpeed(const CTessaroAxis& axis);

}  // namespace tessaro
