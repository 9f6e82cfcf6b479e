#include "cmotion/link_errors.h"

namespace cmotion {

const char* GetErrorText(LinkError code) {
    switch (code) {
        case kLinkOk:
            return "No Error";
        case kLinkProcessorReset:
            return "Processor Reset";
        case kLinkInvalidInstruction:
            return "Invalid Instruction";
        case kLinkInvalidAxis:
            return "Invalid Axis";
        case kLinkInvalidDataParameter:
            return "Invalid Data Parameter";
        case kLinkTraceRunning:
            return "Trace Currently Running";
        case kLinkBlockOutOfBounds:
            return "Block Out of Bounds";
        case kLinkZeroLengthTrace:
            return "Zero Length Trace Buffer";
        case kLinkInvalidChecksum:
            return "Invalid Checksum";
        case kLinkInvalidNegativeValue:
            return "Invalid Negative Value for Profile Mode";
        case kLinkInvalidParameterChange:
            return "Invalid Parameter Change for Profile Mode";
        case kLinkMoveWithLimitPending:
            return "Invalid Move with Limit Event Pending";
        case kLinkMoveIntoLimit:
            return "Invalid Move into Limit";
        case kLinkInvalidModeRestore:
            return "Invalid Operating Mode Restore";
        case kLinkNotValidInMode:
            return "Command Not Valid in this Operating Mode";
        case kLinkNotConnected:
            return "Not Connected";
        case kLinkDeviceNotResponding:
            return "Device Not Responding";
        case kLinkCommPortRead:
            return "Comm Port Read";
        case kLinkCommPortWrite:
            return "Comm Port Write";
        case kLinkInvalidSerialPort:
            return "Invalid Serial Port";
        case kLinkInterfaceNotInitialized:
            return "Interface Not Initialized";
        case kLinkCannotOpenDriver:
            return "Cannot Open Windows Driver";
        case kLinkDriverError:
            return "Windows Driver Error";
        case kLinkDpramNotSupported:
            return "DPRAM not supported";
        case kLinkDpramAccess:
            return "Error accessing DPRAM";
        case kLinkCommunicationError:
            return "Communication Error";
        case kLinkCommTimeout:
            return "Communication Timeout Error";
        case kLinkChecksumError:
            return "Checksum Error";
        case kLinkCommandError:
            return "Command Error";
        default:
            return "Undefined error occurred";
    }
}

}  // namespace cmotion
