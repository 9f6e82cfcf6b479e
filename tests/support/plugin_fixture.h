// The plug-in as the host holds it, against a simulated board in process:
// the device made by the exported factory, connected through its
// configuration text, and its drives. Everything is reached through the
// host's interfaces.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "device/module_export.h"
#include "host/kx_device_interfaces.h"
#include "host/kx_settings.h"
#include "tests/support/sim_board.h"

namespace testing_support {

// A configuration text holding one key.
inline CKxStringW PortText(const char16_t* key, int port) {
    CKxStringW text;
    SetIntToKey(text, key, port);
    return text;
}

class PluginFixture {
  public:
    PluginFixture(int port, std::uint16_t axes, double speed = 1.0)
        : board(std::make_unique<SimBoard>(port, axes, speed)) {
        object = KX_ConstructorForCKxTessaroDevice(__FILE__, __LINE__);
        device = dynamic_cast<IKxPhysicalDevice*>(object);
        if (!device) return;
        device->ConnectDevice(PortText(u"m_iPort", port).GetString());
        device->CreateLogicalDevices(0, 0, drives);
        for (IKxLogicalDevice* d : drives) {
            if (!xy) xy = dynamic_cast<IKxDeviceXY*>(d);
            if (!z) z = dynamic_cast<IKxDeviceZ*>(d);
            if (!rotary) rotary = dynamic_cast<IKxDeviceRotary*>(d);
        }
    }
    ~PluginFixture() {
        if (device) device->DisconnectDevice();
        if (object) object->GetKxClass()->Release();
        // The host owns the drives; it drops them after the device.
        for (IKxLogicalDevice* d : drives) delete d;
    }
    PluginFixture(const PluginFixture&) = delete;
    PluginFixture& operator=(const PluginFixture&) = delete;

    std::unique_ptr<SimBoard> board;
    IKxInterface* object = nullptr;
    IKxPhysicalDevice* device = nullptr;
    CKxLogicalDeviceList drives;
    IKxDeviceXY* xy = nullptr;
    IKxDeviceZ* z = nullptr;
    IKxDeviceRotary* rotary = nullptr;
};

}  // namespace testing_support
