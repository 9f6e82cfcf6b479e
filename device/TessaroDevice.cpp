#include "device/TessaroDevice.h"

#include <cstring>
#include <string>

#include "cmotion/link_errors.h"
#include "cmotion/link_opcodes.h"
#include "device/device_dialog.h"
#include "drives/TessaroLogicalDrivesRAxis.h"
#include "drives/TessaroLogicalDrives_XYAxis.h"
#include "drives/TessaroLogicalDrives_ZAxis.h"
#include "host/kx_diag.h"
#include "host/kx_settings.h"
#include "host/kx_ui.h"

using tessaro::CTessaroController;

namespace {

std::u16string Widen(const char* text) {
    std::u16string wide;
    for (; text && *text; ++text) wide += static_cast<char16_t>(static_cast<unsigned char>(*text));
    return wide;
}

}  // namespace

std::u16string SetupFailureText(const tessaro::AxisSetupFailure& failure) {
    std::u16string text = u"Tessaro device axis " + Widen(std::to_string(failure.axis).c_str()) +
                          u" left out: " + Widen(cmotion::GetOpcodeName(failure.opcode)) +
                          u" failed, " + Widen(cmotion::GetErrorText(failure.code));
    return text;
}

CKxTessaroDevice::~CKxTessaroDevice() {
    DisposeControllers();
}

void CKxTessaroDevice::DisposeControllers() {
    // A controller that is still open is closed first (its destructor does
    // it): its polling thread must not run on into freed memory.
    for (CTessaroController* controller : m_controllers) delete controller;
    m_controllers.clear();
    m_traceFile.Stop();
    // Drives made on those controllers point to motion objects that are gone;
    // the host still owns the drives, but this device no longer reaches them.
    m_pXYDrive = nullptr;
    m_pZDrive = nullptr;
    m_pRDrive = nullptr;
}

IKxInterface* CKxTessaroDevice::QueryInterface(const char* interfaceName) {
    if (!interfaceName || std::strcmp(interfaceName, "IKxPhysicalDevice") != 0) return nullptr;
    AddRef();
    return static_cast<IKxInterface*>(this);
}

CKxStringW CKxTessaroDevice::GetDeviceName(CKxStringW& name) {
    name = u"Orva-Tessaro Motor Controller";
    return name;
}

EDeviceManagerReturnCode CKxTessaroDevice::ConnectDevice(const char16_t* configuration) {
    CKxTraceExecutionTime trace(u"CKxTessaroDevice::ConnectDevice", -1);
    int port = 0;
    if (!GetIntFromKey(configuration, u"m_iPort", &port) &&
        !GetIntFromKey(configuration, u"m_COMiPort", &port))
        return KX_DM_FAILED;

    DisposeControllers();
    m_traceFile.Start();
    // The full integer goes to the controller; the serial layer takes its
    // low eight bits and refuses the numbers it cannot name.
    auto* controller = new CTessaroController(static_cast<std::uint32_t>(port));
    const bool opened = controller->Open();
    // A drive that is missing because its axis could not be set up says why.
    for (const tessaro::AxisSetupFailure& failure : controller->m_setupFailures) {
        DiagOutputExW_hlp("TessaroDevice", __LINE__);
        DiagOutputExW(SetupFailureText(failure).c_str());
    }
    if (opened) {
        m_controllers.push_back(controller);
        DiagOutputExW_hlp("TessaroDevice", 82);
        DiagOutputExW(u"Tessaro device board id 1 connected");
    } else {
        delete controller;
        DiagOutputExW_hlp("TessaroDevice", 87);
        DiagOutputExW(u"Tessaro device failed to connect board id 1");
    }
    m_connectionState = m_controllers.empty() ? kTessaroNotConnected : kTessaroConnected;
    // The outcome is read from the connection state, not from here.
    return KX_DM_FAILED;
}

EDeviceManagerReturnCode CKxTessaroDevice::DisconnectDevice() {
    // The controllers stay in the list until the next connect disposes of
    // them; the state is left as it was.
    for (CTessaroController* controller : m_controllers) controller->Close();
    m_traceFile.Stop();
    return KX_DM_OK;
}

EDeviceManagerReturnCode CKxTessaroDevice::QueryConnection() {
    return m_connectionState == kTessaroConnected ? KX_DM_CONNECTED : KX_DM_FAILED;
}

std::uint32_t CKxTessaroDevice::GetConnectionState() {
    if (m_controllers.empty() || m_controllers.front()->m_bStopped)
        m_connectionState = kTessaroStopped;
    return m_connectionState;
}

EDeviceManagerReturnCode CKxTessaroDevice::ShowConnectionDialog(CKxStringW& configuration,
                                                                KxWindow parent) {
    int port = 0;
    GetIntFromKey(configuration.GetString(), u"m_iPort", &port);
    // The chooser works on 16-bit port numbers.
    const auto start = static_cast<std::int16_t>(port & 0xFFFF);
    const int answer = KX_SerialShowConnectionDialog(parent, start, 0, 0, 0, 0, 0x20000, 0);
    const auto chosen = static_cast<std::int16_t>(answer & 0xFFFF);
    if (chosen <= 0) return KX_DM_CANCELLED;
    configuration.Empty();
    SetIntToKey(configuration, u"m_iPort", chosen);
    return KX_DM_OK;
}

void CKxTessaroDevice::SetPositionCallback(KX_PositionCallback callback, std::uint64_t context) {
    auto install = [&](tessaro::CTessaroMotion* motion) {
        if (!motion) return;
        motion->m_pfnPositionCallback = callback;
        motion->m_pCallbackContext = context;
    };
    if (m_pXYDrive) install(m_pXYDrive->m_pXYMotion);
    if (m_pZDrive) install(m_pZDrive->m_pZMotion);
    if (m_pRDrive) install(m_pRDrive->m_pRotaryMotion);
}

EDeviceManagerReturnCode CKxTessaroDevice::GetCollectMoves(bool* collect) {
    if (collect) *collect = m_bCollectMoves;
    return KX_DM_OK;
}

EDeviceManagerReturnCode CKxTessaroDevice::SetCollectMoves(bool collect) {
    m_bCollectMoves = collect;
    if (m_pXYDrive) m_pXYDrive->SetCollectMoves(collect);
    if (m_pZDrive) m_pZDrive->SetCollectMoves(collect);
    if (m_pRDrive) m_pRDrive->SetCollectMoves(collect);
    return KX_DM_OK;
}

EDeviceManagerReturnCode CKxTessaroDevice::ExecuteCollectedMoves(unsigned) {
    // Every drive is started before the first wait, so that the axes move
    // together. The answer is 21 when any drive's start or wait failed (its
    // diagnostic line names it and says why); no drive is left collecting.
    bool ok = true;
    const auto start = [&](auto* drive) {
        if (drive && drive->ExecutePendingMove() != KX_DM_OK) ok = false;
    };
    const auto wait = [&](auto* drive) {
        if (drive && drive->WaitForPendingMove() != KX_DM_OK) ok = false;
    };
    start(m_pXYDrive);
    start(m_pZDrive);
    start(m_pRDrive);
    wait(m_pXYDrive);
    wait(m_pZDrive);
    wait(m_pRDrive);
    m_bCollectMoves = false;
    return ok ? KX_DM_OK : KX_DM_MOTION_FAILED;
}

EDeviceManagerReturnCode CKxTessaroDevice::CreateLogicalDevices(unsigned, unsigned,
                                                                CKxLogicalDeviceList& list) {
    list.clear();
    // Each call makes new drives; those of an earlier call are the host's.
    m_pXYDrive = nullptr;
    m_pZDrive = nullptr;
    m_pRDrive = nullptr;
    if (m_controllers.empty()) return KX_DM_OK;
    CTessaroController& controller = *m_controllers.front();
    if (controller.m_pXYMotion) {
        m_pXYDrive = new tessaro::STessaro_XYDrive(controller.m_pXYMotion);
        list.push_back(m_pXYDrive);
    }
    if (controller.m_pZMotion) {
        m_pZDrive = new tessaro::STessaro_ZDrive(controller.m_pZMotion);
        list.push_back(m_pZDrive);
    }
    if (controller.m_pRotaryMotion) {
        m_pRDrive = new tessaro::STessaro_RDrive(controller.m_pRotaryMotion);
        list.push_back(m_pRDrive);
    }
    return KX_DM_OK;
}

EDeviceManagerReturnCode CKxTessaroDevice::ShowDeviceDialog(unsigned, KxWindow parent) {
    // The information dialog shows the first controller; its outcome is not
    // passed on.
    if (!m_controllers.empty()) {
        SDeviceDialogContext context;
        RunDeviceDialog(context, parent, m_controllers.front());
    }
    return KX_DM_CONNECTED;
}
