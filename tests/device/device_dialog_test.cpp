// The controller information dialog: the names of generations and motor
// types, the text byte for byte, and the dialog as a user meets it: OK ends
// it with 1, the close box with 0, the Escape key does nothing.
#include "device/device_dialog.h"

#include <gtest/gtest.h>

#include "drives/dialog_support.h"
#include "host/kx_ui.h"
#include "tests/support/plugin_fixture.h"

namespace {

using testing_support::WithDialogDriver;

TEST(DeviceDialog, NamesOfGenerationsAndMotorTypes) {
    // clang-format off
    const std::pair<int, const char16_t*> kGenerations[] = {
        {2, u"Navigarot"}, {3, u"Corvane"}, {5, u"Marivel"}, {9, u"Ulor"}, {0, u"Unknown"},
        {1, u"Unknown"}, {4, u"Unknown"}, {10, u"Unknown"}, {0xFFFF, u"Unknown"}};
    const std::pair<int, const char16_t*> kMotorTypes[] = {
        {1, u"Servo"}, {3, u"Brushless"}, {4, u"Microstepping"}, {5, u"Pulse & Direction"},
        {8, u"All Motor Types"}, {9, u"Ulor-Any Motor Type"}, {0, u"Unknown"}, {2, u"Unknown"},
        {6, u"Unknown"}, {7, u"Unknown"}, {0x8001, u"Unknown"}, {0xFFFF, u"Unknown"}};
    // clang-format on
    for (const auto& [code, name] : kGenerations)
        EXPECT_EQ(GetGenerationName(static_cast<std::uint16_t>(code)), CKxStringW(name)) << code;
    for (const auto& [code, name] : kMotorTypes)
        EXPECT_EQ(GetMotorTypeName(static_cast<std::uint16_t>(code)), CKxStringW(name)) << code;
}

TEST(DeviceDialog, InformationTextByteForByte) {
    tessaro::CTessaroController controller(5);
    controller.m_uFamily = 5;
    controller.m_uMotorType = 4;
    controller.m_uNumberOfAxes = 4;
    controller.m_uChipCount = 1;
    controller.m_uVersionMajor = 2;
    controller.m_uVersionMinor = 3;
    controller.m_uBoardVersionMajor = 3;
    controller.m_uBoardVersionMinor = 5;
    EXPECT_EQ(DeviceInformationText(controller).str(),
              u"Information about controller\r\n\r\n"
              u"  Generation: Marivel \r\n"
              u"  Motor type: Microstepping \r\n"
              u"  Number of axes: 4 \r\n"
              u"  Chip count: 1                          \r\n"
              u"  Version CPU: V2.3 \r\n"
              u"  Version board: V3.5");
}

TEST(DeviceDialog, OkEndsWithOneCloseBoxWithZeroEscapeIsIgnored) {
    testing_support::PluginFixture plugin(71, 4);
    std::u16string caption;
    bool openAfterEscape = false;
    // Through the device, as the host opens it (that it shows the board's
    // information is the module test's).
    WithDialogDriver(
        [&](KxWindow dialog) {
            caption = host::DialogCaption(dialog);
            host::SendDialogCommand(dialog, 2);  // Escape
            openAfterEscape = host::IsDialogOpen(dialog);
            host::ClickDialogButton(dialog, 1);
        },
        [&] { EXPECT_EQ(plugin.device->ShowDeviceDialog(0, nullptr), 10); });
    EXPECT_EQ(caption, u"Configure Device");
    EXPECT_TRUE(openAfterEscape);

    // The results, through the same lookup the device uses; a module
    // language without the template falls back on US English.
    SDeviceDialogContext context;
    tessaro::CTessaroController controller(5);
    context.m_pController = &controller;
    host::SetUserLanguage(1031);
    std::intptr_t result = -5;
    WithDialogDriver([](KxWindow dialog) { host::ClickDialogButton(dialog, 1); },
                     [&] {
                         EXPECT_TRUE(tessaro::RunModuleDialog(
                             u"IDD_CFG_DEVICE", nullptr, DeviceDialogProc,
                             reinterpret_cast<std::intptr_t>(&context), &result));
                     });
    host::SetUserLanguage(1033);
    EXPECT_EQ(result, 1);
    WithDialogDriver([](KxWindow dialog) { host::CloseDialogBox(dialog); },
                     [&] {
                         tessaro::RunModuleDialog(u"IDD_CFG_DEVICE", nullptr, DeviceDialogProc,
                                                  reinterpret_cast<std::intptr_t>(&context),
                                                  &result);
                     });
    EXPECT_EQ(result, 0);
    // A template that does not exist shows nothing.
    EXPECT_FALSE(tessaro::RunModuleDialog(u"IDD_NONE", nullptr, DeviceDialogProc, 0, &result));

    // Without a controller the field stays empty.
    SDeviceDialogContext empty;
    std::u16string emptyText = u"?";
    WithDialogDriver(
        [&](KxWindow dialog) {
            emptyText = host::DialogItemText(dialog, 1034);
            host::ClickDialogButton(dialog, 1);
        },
        [&] { RunDeviceDialog(empty, nullptr, nullptr); });
    EXPECT_EQ(emptyText, u"");
}

}  // namespace
