// The module's resources as compiled from the resource script: each dialog
// template's frame, font and controls, the language they are stored under,
// and the five message catalogs. Read through the same calls the dialogs
// use to find them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/kx_dialog_template.h"
#include "platform/dialog_api.h"

namespace {

using host::DialogItemTemplate;
using host::DialogTemplate;

constexpr std::uint16_t kUsEnglish = 1033;

// Window and control styles the templates use.
constexpr std::uint32_t kPopup = 0x80000000, kCaption = 0x00C00000, kSysMenu = 0x00080000,
                        kModalFrame = 0x80, kSetFont = 0x40, kFixedSys = 0x8;
constexpr std::uint32_t kChildVisible = 0x50000000, kBorder = 0x00800000, kTabStop = 0x10000;
constexpr std::uint32_t kAutoHScroll = 0x80, kReadOnly = 0x800, kAutoCheckBox = 0x3;

std::vector<std::uint8_t> Resource(unsigned type, const char16_t* name, std::uint16_t language) {
    platform::HResource found = platform::FindResourceExW(nullptr, type, name, language);
    if (!found) return {};
    const void* bytes = platform::LockResource(platform::LoadResource(nullptr, found));
    const std::uint32_t size = platform::SizeofResource(nullptr, found);
    if (!bytes) return {};
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    return std::vector<std::uint8_t>(p, p + size);
}

DialogTemplate Template(const char16_t* name) {
    const auto bytes = Resource(platform::kDialogResourceType, name, kUsEnglish);
    DialogTemplate t;
    std::string error;
    EXPECT_TRUE(host::ParseDialogTemplate(bytes.data(), bytes.size(), &t, &error)) << error;
    return t;
}

void ExpectShellFont(const DialogTemplate& t) {
    EXPECT_EQ(t.typeface, u"MS Shell Dlg");
    EXPECT_EQ(t.pointSize, 8);
    EXPECT_EQ(t.weight, 400);
    EXPECT_EQ(t.italic, 0);
    EXPECT_EQ(t.charset, 1);
}

// id, class, text, x, y, cx, cy of one control.
struct Expected {
    int id;
    std::uint16_t classAtom;
    std::u16string text;
    int x, y, cx, cy;
};

void ExpectControls(const DialogTemplate& t, const std::vector<Expected>& expected) {
    ASSERT_EQ(t.items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const DialogItemTemplate& item = t.items[i];
        const Expected& e = expected[i];
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(e.id));
        EXPECT_EQ(item.id, e.id);
        EXPECT_EQ(item.classAtom, e.classAtom);
        EXPECT_EQ(item.text, e.text);
        EXPECT_EQ(item.x, e.x);
        EXPECT_EQ(item.y, e.y);
        EXPECT_EQ(item.cx, e.cx);
        EXPECT_EQ(item.cy, e.cy);
        EXPECT_EQ(item.style & kChildVisible, kChildVisible);
        if (e.classAtom == host::kEditClass) {
            EXPECT_EQ(item.style & (kBorder | kAutoHScroll), kBorder | kAutoHScroll);
        }
    }
}

// The single-axis templates: Z, and the rotary one with its header and OK.
std::vector<Expected> SingleAxisControls(const std::u16string& header, int okX) {
    const std::uint16_t S = host::kStaticClass, E = host::kEditClass, B = host::kButtonClass;
    return {{-1, S, header, 95, 16, 51, 8},
            {-1, S, u"Calibration", 13, 34, 69, 12},
            {1004, E, u"", 91, 33, 51, 12},
            {-1, S, u"[\u00b5m/revolution]", 161, 34, 58, 12},
            {-1, S, u"", 232, 34, 37, 12},
            {-1, S, u"Running current", 13, 54, 69, 12},
            {1005, E, u"", 91, 52, 51, 12},
            {-1, S, u"<0, 100> [%]", 161, 54, 58, 12},
            {-1, S, u"Standby current", 13, 74, 69, 12},
            {1006, E, u"", 91, 72, 51, 12},
            {-1, S, u"<0, 30> [%]", 161, 74, 58, 12},
            {-1, S, u"Speed", 13, 93, 69, 12},
            {1007, E, u"", 91, 93, 51, 12},
            {-1, S, u"[revolution/s]", 161, 93, 58, 12},
            {1025, S, u"normal", 232, 93, 37, 12},
            {-1, S, u"Acceleration", 13, 113, 69, 12},
            {1008, E, u"", 91, 113, 51, 12},
            {-1, S, u"[revolution/s\u00b2]", 161, 113, 58, 12},
            {1028, S, u"normal", 232, 113, 37, 12},
            {-1, S, u"Limit switches", 13, 133, 69, 15},
            {1023, B, u"negate", 91, 135, 51, 10},
            {-1, S, u"Axis orientation", 13, 151, 69, 15},
            {1024, B, u"flip", 91, 153, 51, 10},
            {3, B, u"Defaults", 7, 170, 50, 14},
            {1, B, u"OK", okX, 170, 50, 14},
            {2, B, u"Cancel", 219, 170, 50, 14}};
}

TEST(ModuleResources, DeviceDialogTemplate) {
    const DialogTemplate t = Template(u"IDD_CFG_DEVICE");
    EXPECT_EQ(t.title, u"Configure Device");
    EXPECT_EQ(t.style, kPopup | kCaption | kSysMenu | kModalFrame | kSetFont | kFixedSys);
    EXPECT_EQ(t.style, 0x80C800C8u);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 241);
    EXPECT_EQ(t.cy, 184);
    ExpectShellFont(t);
    ExpectControls(t, {{1, host::kButtonClass, u"OK", 184, 161, 50, 14},
                       {1034, host::kEditClass, u"", 7, 7, 227, 146}});
    ASSERT_EQ(t.items.size(), 2u);
    EXPECT_EQ(t.items[0].style, 0x50010001u);
    EXPECT_EQ(t.items[1].style, 0x50810884u);
    // Stored for US English only; names are found regardless of case.
    EXPECT_TRUE(Resource(platform::kDialogResourceType, u"IDD_CFG_DEVICE", 1031).empty());
    EXPECT_FALSE(Resource(platform::kDialogResourceType, u"idd_cfg_device", kUsEnglish).empty());
}

TEST(ModuleResources, ZAndRotaryTemplates) {
    const DialogTemplate z = Template(u"IDD_CFG_Z_AXIS");
    const DialogTemplate r = Template(u"IDD_CFG_R_AXIS");
    EXPECT_EQ(z.title, u"Z parameters");
    EXPECT_EQ(r.title, u"Rotary parameters");
    for (const DialogTemplate* t : {&z, &r}) {
        EXPECT_EQ(t->style, kCaption | kSysMenu | kModalFrame | kSetFont);
        EXPECT_EQ(t->cx, 276);
        EXPECT_EQ(t->cy, 191);
        ExpectShellFont(*t);
    }
    ExpectControls(z, SingleAxisControls(u"Z Axis", 166));
    ExpectControls(r, SingleAxisControls(u"Rotary Axis", 165));
    // The rotary fields are read-only, the Z ones are not; check boxes tick
    // themselves; OK is the default button.
    for (std::size_t i = 0; i < z.items.size(); ++i) {
        if (z.items[i].classAtom == host::kEditClass) {
            EXPECT_EQ(z.items[i].style & kReadOnly, 0u) << z.items[i].id;
            EXPECT_EQ(r.items[i].style & kReadOnly, kReadOnly) << r.items[i].id;
        }
        if (z.items[i].id == 1023 || z.items[i].id == 1024) {
            EXPECT_EQ(z.items[i].style & 0xF, kAutoCheckBox);
        }
        if (z.items[i].id == 1) {
            EXPECT_EQ(z.items[i].style & 0xF, 1u);  // BS_DEFPUSHBUTTON
        }
    }
}

TEST(ModuleResources, XYTemplate) {
    const DialogTemplate t = Template(u"IDD_CFG_XY_AXIS");
    EXPECT_EQ(t.title, u"XY Parameters");
    EXPECT_EQ(t.cx, 347);
    EXPECT_EQ(t.cy, 194);
    ExpectShellFont(t);
    std::vector<int> ids;
    std::vector<std::u16string> texts;
    for (const auto& item : t.items) {
        if (item.id != -1) ids.push_back(item.id);
        if (item.classAtom == host::kStaticClass && item.id == -1) texts.push_back(item.text);
    }
    EXPECT_EQ(ids, (std::vector<int>{1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011, 1025, 1012,
                                     1013, 1028, 1023, 1026, 1024, 1027, 3, 1, 2}));
    EXPECT_EQ(texts, (std::vector<std::u16string>{
                         u"X Axis", u"Y Axis", u"Calibration", u"[\u00b5m/revolution]",
                         u"Running current", u"<0, 100> [%]", u"Standby current", u"<0, 30> [%]",
                         u"Speed", u"[revolution/s]", u"Acceleration", u"[revolution/s\u00b2]",
                         u"Limit switches", u"Axis orientation"}));
    for (const auto& item : t.items) {
        if (item.id == 1025 || item.id == 1028) {
            EXPECT_EQ(item.text, u"normal");
        } else if (item.id == 1023 || item.id == 1026) {
            EXPECT_EQ(item.text, u"negate");
        } else if (item.id == 1024 || item.id == 1027) {
            EXPECT_EQ(item.text, u"flip");
        } else if (item.classAtom == host::kEditClass) {
            EXPECT_EQ(item.style & (kBorder | kAutoHScroll | kReadOnly), kBorder | kAutoHScroll);
        }
    }
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
        EXPECT_EQ(word(0), 0x950412deu);                // GNU MO, little-endian
        EXPECT_EQ(word(4), 0u);                         // revision
        EXPECT_EQ(word(8), 1u);                         // one entry: the header
        const std::uint32_t original = word(word(12));  // its key is empty
        EXPECT_EQ(original, 0u);
        const std::uint32_t length = word(word(16)), offset = word(word(16) + 4);
        ASSERT_LE(offset + length, mo.size());
        const std::string header(mo.begin() + offset, mo.begin() + offset + length);
        EXPECT_NE(header.find("Content-Type: text/plain; charset=UTF-8"), std::string::npos);
    }
    EXPECT_TRUE(Resource(platform::kRawDataResourceType, u"TESSARO_MESSAGES", 1036).empty());
}

}  // namespace
