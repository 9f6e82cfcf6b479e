// The module as the host meets it: its two metadata sections read from the
// file, then loaded at run time, its class registered by loading it, the
// device made through the factory found by name, connected to tessaro-sim
// on COM7, moved, disconnected, and the class gone again after unloading.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host/kx_class.h"
#include "host/kx_device_interfaces.h"
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

TEST(ModuleFile, LoadedAtRunTimeLikeTheHostDoes) {
    ASSERT_EQ(KX_FindClass("CKxTessaroDevice"), nullptr) << "registered before loading";
    host::CKxModule module;
    std::string error;
    ASSERT_TRUE(module.Load(ModulePath(), &error)) << error;
    const CKxClassInfo* info = KX_FindClass("CKxTessaroDevice");
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->m_interfaceName, "IKxPhysicalDevice");

    using Factory = IKxInterface* (*)(const char*, int);
    auto factory = reinterpret_cast<Factory>(module.Symbol("KX_ConstructorForCKxTessaroDevice"));
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory, info->m_factory);
    if (const char* dir = std::getenv("TESSARO_SIM_DIR")) {
        // Systems without COM names: tell the module where COM7 is.
        using MapPort = void (*)(int, const char*);
        auto map = reinterpret_cast<MapPort>(module.Symbol("TessaroDevice_SetComPortPath"));
        ASSERT_NE(map, nullptr);
        map(kSimPort, (std::string(dir) + "/com7").c_str());
    }

    const long live = KX_LiveObjectCount();
    IKxInterface* object = factory(__FILE__, __LINE__);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(KX_LiveObjectCount(), live + 1);
    IKxInterface* view = object->GetKxClass()->QueryInterface("IKxPhysicalDevice");
    EXPECT_EQ(view, object);
    auto* device = dynamic_cast<IKxPhysicalDevice*>(view);
    ASSERT_NE(device, nullptr);

    CKxStringW configuration;
    SetIntToKey(configuration, u"m_iPort", kSimPort);
    device->ConnectDevice(configuration.GetString());
    ASSERT_EQ(device->GetConnectionState(), 2u);
    CKxLogicalDeviceList drives;
    device->CreateLogicalDevices(0, 0, drives);
    ASSERT_EQ(drives.size(), 3u);
    auto* z = dynamic_cast<IKxDeviceZ*>(drives[1]);
    ASSERT_NE(z, nullptr);
    z->LoadSettings(u"", 2);
    EXPECT_EQ(z->MoveRelative(25.0), 0);
    double position = 0;
    z->GetPosition(&position);
    double start = 0;
    EXPECT_EQ(z->MoveRelative(-25.0), 0);
    z->GetPosition(&start);
    EXPECT_NEAR(position - start, 25.0, 0.02);
    device->DisconnectDevice();

    for (IKxLogicalDevice* d : drives) delete d;
    EXPECT_EQ(object->GetKxClass()->Release(), 1);
    EXPECT_EQ(object->GetKxClass()->Release(), 0);
    EXPECT_EQ(KX_LiveObjectCount(), live);
    module.Unload();
    EXPECT_EQ(KX_FindClass("CKxTessaroDevice"), nullptr);
}

}  // namespace
