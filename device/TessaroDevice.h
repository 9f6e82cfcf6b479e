// The physical device the host creates for the plug-in: the one controller
// board on one COM port. It connects and disconnects the controller, reports
// the connection state, hands the host its drives, passes on the host's
// position callback and its requests to collect moves, and shows the
// COM-port chooser. It holds no motion logic of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "controller/tessaro_controller.h"
#include "device/packet_trace_file.h"
#include "host/kx_class.h"
#include "host/kx_device_interfaces.h"

namespace tessaro {
class STessaro_XYDrive;
class STessaro_ZDrive;
class STessaro_RDrive;
}  // namespace tessaro

// Connection states.
inline constexpr std::uint32_t kTessaroNotConnected = 0;
inline constexpr std::uint32_t kTessaroConnected = 2;
inline constexpr std::uint32_t kTessaroStopped = 3;  // no controller, or it stopped

// The diagnostic line for an axis left out at connect: the axis, the
// command that failed and the error's text.
std::u16string SetupFailureText(const tessaro::AxisSetupFailure& failure);

class CKxTessaroDevice : public CKxPhysicalDevice_Default, public virtual CKxClass {
  public:
    static const CKxClassInfo s_classInfo;

    CKxTessaroDevice() = default;
    // Closes and disposes of a controller still held, so that no polling
    // thread and no open port outlive the device. The drives are the host's.
    ~CKxTessaroDevice() override;

    // The object model.
    const CKxClassInfo* GetClassInfo() const override { return &s_classInfo; }
    IKxInterface* QueryInterface(const char* interfaceName) override;

    // Connection.
    CKxStringW GetDeviceName(CKxStringW& name) override;
    EDeviceManagerReturnCode ConnectDevice(const char16_t* configuration) override;
    EDeviceManagerReturnCode DisconnectDevice() override;
    EDeviceManagerReturnCode QueryConnection() override;
    EDeviceManagerReturnCode ShowConnectionDialog(CKxStringW& configuration,
                                                  KxWindow parent) override;
    std::uint32_t GetConnectionState() override;

    // Logical devices and collected moves.
    void SetPositionCallback(KX_PositionCallback callback, std::uint64_t context) override;
    EDeviceManagerReturnCode GetCollectMoves(bool* collect) override;
    EDeviceManagerReturnCode SetCollectMoves(bool collect) override;
    EDeviceManagerReturnCode ExecuteCollectedMoves(unsigned) override;
    EDeviceManagerReturnCode CreateLogicalDevices(unsigned, unsigned,
                                                  CKxLogicalDeviceList& list) override;
    EDeviceManagerReturnCode ShowDeviceDialog(unsigned, KxWindow parent) override;

    // Operations of the host's table answered with a constant.
    void Slot13() override {}
    bool Slot14() override { return true; }
    EDeviceManagerReturnCode Slot15() override { return KX_DM_OK; }
    EDeviceManagerReturnCode Slot16() override { return KX_DM_OK; }
    EDeviceManagerReturnCode Slot17() override { return KX_DM_NOT_SUPPORTED; }
    EDeviceManagerReturnCode Slot18() override { return KX_DM_NOT_SUPPORTED; }
    EDeviceManagerReturnCode Slot19() override { return KX_DM_NOT_SUPPORTED; }
    EDeviceManagerReturnCode Slot20() override { return KX_DM_NOT_SUPPORTED; }
    EDeviceManagerReturnCode Slot21() override { return KX_DM_NOT_SUPPORTED; }
    bool Slot22() override { return true; }
    bool Slot26() override { return false; }
    EDeviceManagerReturnCode Slot27() override { return KX_DM_NOT_SUPPORTED; }
    EDeviceManagerReturnCode Slot28() override { return KX_DM_NOT_SUPPORTED; }
    EDeviceManagerReturnCode Slot29() override { return KX_DM_NOT_SUPPORTED; }
    EDeviceManagerReturnCode Slot32() override { return KX_DM_OK; }

    std::uint32_t m_connectionState = kTessaroNotConnected;
    std::vector<tessaro::CTessaroController*> m_controllers;
    tessaro::STessaro_XYDrive* m_pXYDrive = nullptr;
    tessaro::STessaro_ZDrive* m_pZDrive = nullptr;
    tessaro::STessaro_RDrive* m_pRDrive = nullptr;
    bool m_bCollectMoves = false;

  private:
    void DisposeControllers();

    CPacketTraceFile m_traceFile;  // TESSARO_TRACE, from connect to disconnect
};
