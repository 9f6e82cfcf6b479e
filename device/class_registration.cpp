// The module's class: its registration with the host when the module is
// loaded, and the factory the host creates the device with.
#include <new>

#include "cmotion/link_serial.h"
#include "device/TessaroDevice.h"
#include "device/module_export.h"
#include "platform/serial_port.h"

const CKxClassInfo CKxTessaroDevice::s_classInfo("CKxTessaroDevice", "IKxPhysicalDevice",
                                                 sizeof(CKxTessaroDevice),
                                                 KX_ConstructorForCKxTessaroDevice);

IKxInterface* KX_ConstructorForCKxTessaroDevice(const char* file, int line) {
    try {
        // The host's allocator answers null instead of throwing; then
        // nothing is constructed.
        CKxTessaroDevice* device = new (file, line) CKxTessaroDevice;
        return device ? static_cast<IKxInterface*>(device) : nullptr;
    } catch (...) {
        // No exception crosses into the host.
        return nullptr;
    }
}

void TessaroDevice_SetComPortPath(int port, const char* path) {
    if (path) platform::SetComPortPath(port, path);
}

void TessaroDevice_SetPacketTrace(void (*observer)(void* context, std::uint16_t commandWordCount,
                                                   const std::uint16_t* commandWords,
                                                   std::uint16_t replyWordCount,
                                                   const std::uint16_t* replyWords,
                                                   std::uint16_t result),
                                  void* context) {
    cmotion::SetExchangeObserver(observer, context);
}
