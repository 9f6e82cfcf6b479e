// The module's resources as compiled from the resource script: each dialog
// template's frame, font and controls, the language they are stored under,
// and the five message catalogs. Read through the same calls the dialogs
// use to find them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/kx_dialog_template.h"
#include "platform/dialog_api.h"

namespace {

using host::DialogTemplate;

constexpr std::uint16_t kUsEnglish = 1033;

// Window and control styles the templates use.
// Caption, system menu, modal frame, set font.
constexpr std::uint32_t kDialog = 0x00C00000 | 0x00080000 | 0x80 | 0x40;
constexpr std::uint32_t kChildVisible = 0x50000000, kBorder = 0x00800000, kAutoHScroll = 0x80,
                        kReadOnly = 0x800, kAutoCheckBox = 0x3, kDefPushButton = 0x1;

std::vector<std::uint8_t> Resource(unsigned type, const char16_t* name, std::uint16_t language) {
    platform::HResource found = platform::FindResourceExW(nullptr, type, name, language);
    if (!found) return {};
    const auto* p = static_cast<const std::uint8_t*>(
        platform::LockResource(platform::LoadResource(nullptr, found)));
    return p ? std::vector<std::uint8_t>(p, p + platform::SizeofResource(nullptr, found))
             : std::vector<std::uint8_t>{};
}

TEST(ModuleResources, DialogTemplates) {
    const std::vector<std::u16string> kAxisTexts = {
        u"Calibration",     u"[\u00b5m/revolution]", u"Running current", u"<0, 100> [%]",
        u"Standby current", u"<0, 30> [%]",          u"Speed",           u"[revolution/s]",
        u"Acceleration",    u"[revolution/s\u00b2]", u"Limit switches",  u"Axis orientation"};
    const std::vector<int> kAxisIds = {1004, 1005, 1006, 1007, 1025, 1008,
                                       1028, 1023, 1024, 3,    1,    2};
    const struct {
        const char16_t* name;
        std::u16string title;
        std::uint32_t style;
        int cx, cy;
        std::vector<std::u16string> headers;  // static texts before the axis texts
        std::vector<int> ids;                 // of the controls that have one, in order
        bool readOnly;                        // the edit fields
    } kTemplates[] = {
        // clang-format off
        {u"IDD_CFG_DEVICE", u"Configure Device", 0x80C800C8u, 241, 184, {}, {1, 1034}, true},
        {u"IDD_CFG_Z_AXIS", u"Z parameters", kDialog, 276, 191, {u"Z Axis"}, kAxisIds, false},
        {u"IDD_CFG_R_AXIS", u"Rotary parameters", kDialog, 276, 191, {u"Rotary Axis"}, kAxisIds, true},
        {u"IDD_CFG_XY_AXIS", u"XY Parameters", kDialog, 347, 194, {u"X Axis", u"Y Axis"},
         {1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1025, 1012, 1013, 1028, 1023, 1026, 1024, 1027, 3, 1, 2},
         false},
        // clang-format on
    };
    for (const auto& e : kTemplates) {
        SCOPED_TRACE(std::string(e.name, e.name + std::char_traits<char16_t>::length(e.name)));
        const auto bytes = Resource(platform::kDialogResourceType, e.name, kUsEnglish);
        DialogTemplate t;
        std::string error;
        ASSERT_TRUE(host::ParseDialogTemplate(bytes.data(), bytes.size(), &t, &error)) << error;
        EXPECT_EQ(t.title, e.title);
        EXPECT_EQ(t.style, e.style);
        EXPECT_EQ((std::vector<int>{t.x, t.y, t.cx, t.cy}), (std::vector<int>{0, 0, e.cx, e.cy}));
        EXPECT_EQ(t.typeface, u"MS Shell Dlg");
        EXPECT_EQ((std::vector<int>{t.pointSize, t.weight, t.italic, t.charset}),
                  (std::vector<int>{8, 400, 0, 1}));
        std::vector<int> ids;
        std::vector<std::u16string> texts;
        for (const auto& item : t.items) {
            SCOPED_TRACE(item.id);
            EXPECT_EQ(item.style & kChildVisible, kChildVisible);
            if (item.id != -1) ids.push_back(item.id);
            if (item.id == -1 && !item.text.empty()) texts.push_back(item.text);
            // What each kind of control is: an edit field, a class label, a
            // check box, the default button.
            std::uint32_t style = item.style & 0xF, expected = style;
            std::u16string text = item.text;
            if (item.classAtom == host::kEditClass) {
                style = item.style & (kBorder | kAutoHScroll | kReadOnly);
                expected = kBorder | kAutoHScroll | (e.readOnly ? kReadOnly : 0u);
            } else if (item.id == 1025 || item.id == 1028) {
                text = u"normal";
            } else if (item.id == 1023 || item.id == 1026 || item.id == 1024 || item.id == 1027) {
                text = item.id == 1023 || item.id == 1026 ? u"negate" : u"flip";
                expected = kAutoCheckBox;
            } else if (item.id == 1) {
                expected = kDefPushButton;
            }
            EXPECT_EQ(style, expected);
            EXPECT_EQ(item.text, text);
        }
        EXPECT_EQ(ids, e.ids);
        std::vector<std::u16string> expectedTexts = e.headers;
        if (e.ids.size() > 2)
            expectedTexts.insert(expectedTexts.end(), kAxisTexts.begin(), kAxisTexts.end());
        EXPECT_EQ(texts, expectedTexts);
    }
    // The device dialog's two controls where the information text needs them.
    const auto bytes = Resource(platform::kDialogResourceType, u"IDD_CFG_DEVICE", kUsEnglish);
    DialogTemplate device;
    std::string error;
    ASSERT_TRUE(host::ParseDialogTemplate(bytes.data(), bytes.size(), &device, &error));
    ASSERT_EQ(device.items.size(), 2u);
    EXPECT_EQ((std::vector<int>{device.items[1].x, device.items[1].y, device.items[1].cx,
                                device.items[1].cy}),
              (std::vector<int>{7, 7, 227, 146}));
    EXPECT_EQ(device.items[0].style, 0x50010001u);
    EXPECT_EQ(device.items[1].style, 0x50810884u);
    // Stored for US English only; names are found regardless of case.
    EXPECT_TRUE(Resource(platform::kDialogResourceType, u"IDD_CFG_DEVICE", 1031).empty());
    EXPECT_FALSE(Resource(platform::kDialogResourceType, u"idd_cfg_device", kUsEnglish).empty());
}

TEST(ModuleResources, MessageCatalogsHoldOnlyTheirHeader) {
    for (std::uint16_t language : {1029, 1031, 1033, 1041, 2052}) {
        SCOPED_TRACE(language);
        const auto mo = Resource(platform::kRawDataResourceType, u"TESSARO_MESSAGES", language);
        ASSERT_GE(mo.size(), 28u);
        auto word = [&](std::size_t at) {
            return mo[at] | (mo[at + 1] << 8) | (mo[at + 2] << 16) |
                   (std::uint32_t(mo[at + 3]) << 24);
        };
        EXPECT_EQ(word(0), 0x950412deu);  // GNU MO, little-endian
        EXPECT_EQ(word(4), 0u);           // revision
        EXPECT_EQ(word(8), 1u);           // one entry: the header, with an empty key
        EXPECT_EQ(word(word(12)), 0u);
        const std::uint32_t length = word(word(16)), offset = word(word(16) + 4);
        ASSERT_LE(offset + length, mo.size());
        const std::string header(mo.begin() + offset, mo.begin() + offset + length);
        EXPECT_NE(header.find("Content-Type: text/plain; charset=UTF-8"), std::string::npos);
    }
    EXPECT_TRUE(Resource(platform::kRawDataResourceType, u"TESSARO_MESSAGES", 1036).empty());
}

}  // namespace
