// Shortening the USB serial adapter's latency timer for a COM port, so that
// the processor's short replies are handed over at once.
#pragma once

#include <cstdint>

namespace tessaro {

// Sets the adapter's latency timer of COM `port` to `latencyMs`. `previous`
// receives the value read on the way (untouched when none could be read).
// True when the value was written for that port.
//
// Windows: the FTDI driver's "LatencyTimer" value of the device whose
// "PortName" names the port, in the registry. Elsewhere: the USB-serial
// driver's latency_timer attribute of the device behind the port, where the
// driver has one.
bool SetSerialLatencyTimer(std::uint16_t port, std::uint8_t latencyMs, std::uint8_t* previous);

// The registry search on its own (through platform::CurrentRegistryApi), on
// every platform, for tests.
bool SetFtdiRegistryLatency(std::uint16_t port, std::uint8_t latencyMs, std::uint8_t* previous);

// The FTDI driver's latency timer of COM `port` as the registry has it, read
// without changing anything (the same search). False when no device key
// names the port.
bool ReadFtdiRegistryLatency(std::uint16_t port, std::uint8_t* latencyMs);

}  // namespace tessaro
