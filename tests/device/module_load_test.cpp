// The module as the host meets it: its two metadata sections read from the
// file, then loaded at run time, its class registered by loading it, the
// device made through the factory found by name, connected to tessaro-sim
// on COM7 (natively through the COM port table, under Wine through the
// prefix's COM7), every drive moved, disconnected, and the class gone again
// after unloading.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "host/kx_class.h"
#include "host/kx_device_interfaces.h"
#include "host/kx_dialogs.h"
#include "host/kx_module.h"
#include "host/kx_module_file.h"
#include "host/kx_settings.h"
#include "tests/support/host_path.h"

namespace {

constexpr int kSimPort = 7;

std::string ModulePath() {
    const char* path = std::getenv("TESSARO_MODULE");
    return testing_support::HostPath(path ? path : "");
}

// Records padded with zero characters to their slots, as UTF-16LE bytes.
std::vector<std::uint8_t> Slots(
    const std::vector<std::pair<std::u16string, std::size_t>>& records) {
    std::vector<std::uint8_t> bytes;
    for (const auto& [text, slot] : records) {
        EXPECT_LT(text.size(), slot);
        for (std::size_t i = 0; i < slot; ++i) {
            const char16_t c = i < text.size() ? text[i] : u'\0';
            bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(c >> 8));
        }
    }
    return bytes;
}

std::u16string Variant(const std::u16string& body) {
    return u"<variant version=\"1.0\">" + body + u"</variant>";
}

TEST(ModuleFile, MetadataSectionsHoldTheSpecifiedRecords) {
    const std::string path = ModulePath();
    ASSERT_FALSE(path.empty()) << "TESSARO_MODULE not set";

    std::u16string parents = u"<m_parent1 runtype=\"CKxStringW\" value=\"IKxPhysicalDevice\"/>";
    for (char16_t n = u'2'; n <= u'9'; ++n)
        parents += u"<m_parent" + std::u16string(1, n) + u" runtype=\"CKxStringW\" value=\"\"/>";
    const auto classSection = Slots({
        {Variant(u"<CKxTessaroDevice runtype=\"RKxRttiClass\">" + parents + u"</CKxTessaroDevice>"),
         496},
        {Variant(u"<CKxTessaroDevice runtype=\"CKxListVariant\">"
                 u"<m_version value=\"32\" runtype=\"kx_int32\"/>"
                 u"<m_shortName value=\"Orva-Tessaro Motor Controller\"/>"
                 u"<m_fullName value=\"Orva-Tessaro Motor Controller\"/>"
                 u"<m_versionApp value=\"8, 203, 1273, 0\"/>"
                 u"</CKxTessaroDevice>"),
         496},
    });
    std::vector<std::pair<std::u16string, std::size_t>> version;
    const std::vector<std::pair<std::u16string, std::u16string>> keys = {
        {u"KX_GLOB_FILEVERSION_WCS", u"8, 203, 1273, 0"},
        {u"KX_GLOB_PRODUCTVERSION_WCS", u"0, 0, 0, 0"},
        {u"KX_GLOB_COMPANYNAME", u"Orva"},
        {u"KX_GLOB_COPYRIGHT", u"Copyright (C) 2026 Orva"},
        {u"KX_GLOB_TRADEMARKS", u""},
        {u"KX_LOCAL_COMMENTS", u""},
        {u"KX_LOCAL_FILEDESCRIPTION", u"Tessaro device"},
        {u"KX_LOCAL_INTERNALNAME", u"TessaroDevice"},
        {u"KX_LOCAL_ORIGINALFILENAME", u"TessaroDevice.dll"},
        {u"KX_LOCAL_PRODUCTNAME", u"Orva-Tessaro Motor Controller"},
        {u"KX_LOCAL_PRIVATEBUILD", u"1"},
        {u"KX_LOCAL_SPECIALBUILD", u"1"}};
    for (const auto& [key, value] : keys)
        version.push_back({Variant(u"<" + key + u" value=\"" + value + u"\"/>"), 256});
    version.push_back({Variant(u"<NDEBUG/>"), 256});

    std::vector<std::uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(host::ReadModuleSection(path, "ver6IDX", &bytes, &error)) << error;
    EXPECT_EQ(bytes, classSection);
    ASSERT_TRUE(host::ReadModuleSection(path, "ver6ID", &bytes, &error)) << error;
    EXPECT_EQ(bytes, Slots(version));
    EXPECT_FALSE(host::ReadModuleSection(path, "ver7ID", &bytes, &error));
    EXPECT_NE(error.find("no section"), std::string::npos);
}

// The module loaded as the host loads it, its device connected to
// tessaro-sim on COM7 and its drives listed.
class LoadedModule {
  public:
    void Load() {
        std::string error;
        ASSERT_TRUE(module.Load(ModulePath(), &error)) << error;
        info = KX_FindClass("CKxTessaroDevice");
        ASSERT_NE(info, nullptr);
        factory = reinterpret_cast<Factory>(module.Symbol("KX_ConstructorForCKxTessaroDevice"));
        ASSERT_NE(factory, nullptr);
        if (const char* dir = std::getenv("TESSARO_SIM_DIR")) {
            // Systems without COM names: tell the module where COM7 is.
            using MapPort = void (*)(int, const char*);
            auto map = reinterpret_cast<MapPort>(module.Symbol("TessaroDevice_SetComPortPath"));
            ASSERT_NE(map, nullptr);
            map(kSimPort, (std::string(dir) + "/com7").c_str());
        }
    }
    void Connect() {
        object = factory(__FILE__, __LINE__);
        ASSERT_NE(object, nullptr);
        device = dynamic_cast<IKxPhysicalDevice*>(
            object->GetKxClass()->QueryInterface("IKxPhysicalDevice"));
        ASSERT_NE(device, nullptr);
        object->GetKxClass()->Release();  // the reference QueryInterface added
        CKxStringW configuration;
        SetIntToKey(configuration, u"m_iPort", kSimPort);
        device->ConnectDevice(configuration.GetString());
        ASSERT_EQ(device->GetConnectionState(), 2u);
        device->CreateLogicalDevices(0, 0, drives);
        ASSERT_EQ(drives.size(), 3u);
    }
    void Disconnect() {
        if (device) device->DisconnectDevice();
        for (IKxLogicalDevice* d : drives) delete d;
        drives.clear();
        if (object) {
            EXPECT_EQ(object->GetKxClass()->Release(), 0);
        }
        object = nullptr;
        device = nullptr;
    }

    using Factory = IKxInterface* (*)(const char*, int);
    host::CKxModule module;
    const CKxClassInfo* info = nullptr;
    Factory factory = nullptr;
    IKxInterface* object = nullptr;
    IKxPhysicalDevice* device = nullptr;
    CKxLogicalDeviceList drives;
};

TEST(ModuleFile, LoadedAtRunTimeLikeTheHostDoes) {
    ASSERT_EQ(KX_FindClass("CKxTessaroDevice"), nullptr) << "registered before loading";
    LoadedModule loaded;
    ASSERT_NO_FATAL_FAILURE(loaded.Load());
    EXPECT_STREQ(loaded.info->m_interfaceName, "IKxPhysicalDevice");
    EXPECT_EQ(loaded.factory, loaded.info->m_factory);
    const long live = KX_LiveObjectCount();
    ASSERT_NO_FATAL_FAILURE(loaded.Connect());
    EXPECT_EQ(KX_LiveObjectCount(), live + 1);

    // The drives reach the board through the real port.
    auto* xy = dynamic_cast<IKxDeviceXY*>(loaded.drives[0]);
    auto* z = dynamic_cast<IKxDeviceZ*>(loaded.drives[1]);
    auto* rotary = dynamic_cast<IKxDeviceRotary*>(loaded.drives[2]);
    ASSERT_TRUE(xy && z && rotary);
    double position = 0;
    EXPECT_EQ(z->MoveRelative(25.0), 0);
    z->GetPosition(&position);
    EXPECT_NEAR(position, 25.0, 0.02);

    loaded.Disconnect();
    EXPECT_EQ(KX_LiveObjectCount(), live);
    loaded.module.Unload();
    EXPECT_EQ(KX_FindClass("CKxTessaroDevice"), nullptr);
}

// Each of the module's four dialogs opened from the module's own resources
// (what they show and store is the drive and device tests' part), filled
// from the simulated board. With TESSARO_SCREENSHOT_DIR set, a picture of
// each (Windows) or its text form is written there, after the typing shown.
TEST(ModuleFile, DialogsOpenFromTheModule) {
    LoadedModule loaded;
    ASSERT_NO_FATAL_FAILURE(loaded.Load());
    ASSERT_NO_FATAL_FAILURE(loaded.Connect());
    const char* dir = std::getenv("TESSARO_SCREENSHOT_DIR");
    std::vector<std::u16string> captions;
    std::string shown;
    const auto open = [&](const std::string& name, const std::function<int()>& show,
                          const std::function<void(KxWindow)>& work) {
        host::SetDialogDriver([&](KxWindow dialog) {
            captions.push_back(host::DialogCaption(dialog));
            work(dialog);
            shown = host::DialogAsText(dialog);
            const std::string base =
                testing_support::HostPath(dir ? std::string(dir) + "/" + name : "");
            if (dir && !host::SaveDialogPicture(dialog, base + ".bmp"))
                std::ofstream(base + ".txt") << shown;
            host::ClickDialogButton(dialog, 2);
        });
        // Cancel: the device dialog's fixed answer 10, a drive's 0.
        EXPECT_EQ(show(), name == "device-information" ? 10 : 0) << name;
        host::SetDialogDriver(nullptr);
    };
    open(
        "device-information", [&] { return loaded.device->ShowDeviceDialog(0, nullptr); },
        [](KxWindow) {});
    EXPECT_NE(shown.find("Generation: Marivel"), std::string::npos) << shown;
    auto* xy = dynamic_cast<IKxDeviceXY*>(loaded.drives[0]);
    open(
        "xy-parameters", [&] { return xy->ShowConfigurationDialog(nullptr); },
        [](KxWindow dialog) {
            host::TypeIntoDialogItem(dialog, 1010, u"12.5");
            host::TickDialogTimer(dialog, 1);
            host::TickDialogTimer(dialog, 1);
        });
    EXPECT_NE(shown.find("\"Fast/Norm.\""), std::string::npos) << shown;
    auto* z = dynamic_cast<IKxDeviceZ*>(loaded.drives[1]);
    open(
        "z-parameters", [&] { return z->ShowConfigurationDialog(nullptr); },
        [](KxWindow dialog) { host::SetDialogItemChecked(dialog, 1023, true); });
    EXPECT_NE(shown.find("\"10.00000\""), std::string::npos) << shown;
    auto* rotary = dynamic_cast<IKxDeviceRotary*>(loaded.drives[2]);
    open(
        "rotary-parameters", [&] { return rotary->ShowConfigurationDialog(nullptr); },
        [](KxWindow dialog) { host::SetDialogItemChecked(dialog, 1024, true); });
    EXPECT_NE(shown.find("\"0.5\""), std::string::npos) << shown;
    EXPECT_EQ(captions, (std::vector<std::u16string>{u"Configure Device", u"XY Parameters",
                                                     u"Z parameters", u"Rotary parameters"}));
    loaded.Disconnect();
}

}  // namespace
