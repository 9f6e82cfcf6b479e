// MotionLink error codes: 0 is success, 1 to 17 are the motion processor's
// refusals (the status byte of its reply), 32720 and above are produced on
// this side of the line.
#pragma once

#include <cstdint>

namespace cmotion {

using LinkError = std::uint16_t;

enum : LinkError {
    kLinkOk = 0,
    // Status bytes of the processor.
    kLinkProcessorReset = 1,
    kLinkInvalidInstruction = 2,
    kLinkInvalidAxis = 3,
    kLinkInvalidDataParameter = 4,
    kLinkTraceRunning = 5,
    kLinkBlockOutOfBounds = 7,
    kLinkZeroLengthTrace = 8,
    kLinkInvalidChecksum = 9,
    kLinkInvalidNegativeValue = 11,
    kLinkInvalidParameterChange = 12,
    kLinkMoveWithLimitPending = 13,
    kLinkMoveIntoLimit = 14,
    kLinkInvalidModeRestore = 16,
    kLinkNotValidInMode = 17,
    // Produced by this side.
    kLinkPositionNotifyFailed = 32720,  // no text of its own
    kLinkNotConnected = 32721,
    kLinkDeviceNotResponding = 32722,
    kLinkCommPortRead = 32723,
    kLinkCommPortWrite = 32724,
    kLinkInvalidSerialPort = 32731,
    kLinkInterfaceNotInitialized = 32735,
    kLinkCannotOpenDriver = 32736,
    kLinkDriverError = 32737,
    kLinkDpramNotSupported = 32738,
    kLinkDpramAccess = 32739,
    kLinkCommunicationError = 32764,
    kLinkCommTimeout = 32765,
    kLinkChecksumError = 32766,
    kLinkCommandError = 32767,
};

// The fixed English text of a code; "Undefined error occurred" for any code
// without one.
const char* GetErrorText(LinkError code);

}  // namespace cmotion
