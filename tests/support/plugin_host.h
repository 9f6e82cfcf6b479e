// The plug-in as a host holds it: the device made by the exported factory,
// connected through its configuration text, and the drives it hands out.
// Everything is reached through the host's interfaces. No test framework:
// test programs of their own (fault matrix, soak) use it too.
#pragma once

#include "device/module_export.h"
#include "host/kx_device_interfaces.h"
#include "host/kx_settings.h"

namespace testing_support {

// A configuration text holding one key.
inline CKxStringW PortText(const char16_t* key, int port) {
    CKxStringW text;
    SetIntToKey(text, key, port);
    return text;
}

class PluginHost {
  public:
    PluginHost() {
        object = KX_ConstructorForCKxTessaroDevice(__FILE__, __LINE__);
        device = dynamic_cast<IKxPhysicalDevice*>(object);
    }
    ~PluginHost() {
        if (device) device->DisconnectDevice();
        if (object) object->GetKxClass()->Release();
        // The host owns the drives; it drops them after the device.
        DropDrives();
    }
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Connects through "m_iPort" and takes the drives the device makes (the
    // host drops those of an earlier connect); whether the device reports
    // a connection. ConnectDevice's own answer is fixed: the host reads the
    // outcome from the connection.
    bool Connect(int port) {
        if (!device) return false;
        device->ConnectDevice(PortText(u"m_iPort", port).GetString());
        DropDrives();
        device->CreateLogicalDevices(0, 0, drives);
        for (IKxLogicalDevice* d : drives) {
            if (!xy) xy = dynamic_cast<IKxDeviceXY*>(d);
            if (!z) z = dynamic_cast<IKxDeviceZ*>(d);
            if (!rotary) rotary = dynamic_cast<IKxDeviceRotary*>(d);
        }
        return device->QueryConnection() == KX_DM_CONNECTED;
    }
    void DropDrives() {
        for (IKxLogicalDevice* d : drives) delete d;
        drives.clear();
        xy = nullptr;
        z = nullptr;
        rotary = nullptr;
    }

    IKxInterface* object = nullptr;
    IKxPhysicalDevice* device = nullptr;
    CKxLogicalDeviceList drives;
    IKxDeviceXY* xy = nullptr;
    IKxDeviceZ* z = nullptr;
    IKxDeviceRotary* rotary = nullptr;
};

}  // namespace testing_support
