// The controller information dialog: the names of generations and motor
// types, the text byte for byte, and the dialog as a user meets it: OK ends
// it with 1, the close box with 0, the Escape key does nothing.
#include "device/device_dialog.h"

#include <gtest/gtest.h>

#include "drives/dialog_support.h"
#include "host/kx_ui.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/plugin_fixture.h"

namespace {

using testing_support::WithDialogDriver;

TEST(DeviceDialog, NamesOfGenerationsAndMotorTypes) {
    EXPECT_EQ(GetGenerationName(2), CKxStringW(u"Navigarot"));
    EXPECT_EQ(GetGenerationName(3), CKxStringW(u"Corvane"));
    EXPECT_EQ(GetGenerationName(5), CKxStringW(u"Marivel"));
    EXPECT_EQ(GetGenerationName(9), CKxStringW(u"Ulor"));
    for (std::uint16_t code : {0, 1, 4, 10, 0xFFFF})
        EXPECT_EQ(GetGenerationName(code), CKxStringW(u"Unknown"));
    EXPECT_EQ(GetMotorTypeName(1), CKxStringW(u"Servo"));
    EXPECT_EQ(GetMotorTypeName(3), CKxStringW(u"Brushless"));
    EXPECT_EQ(GetMotorTypeName(4), CKxStringW(u"Microstepping"));
    EXPECT_EQ(GetMotorTypeName(5), CKxStringW(u"Pulse & Direction"));
    EXPECT_EQ(GetMotorTypeName(8), CKxStringW(u"All Motor Types"));
    EXPECT_EQ(GetMotorTypeName(9), CKxStringW(u"Ulor-Any Motor Type"));
    for (std::uint16_t code : {0, 2, 6, 7, 0x8001, 0xFFFF})
        EXPECT_EQ(GetMotorTypeName(code), CKxStringW(u"Unknown"));
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
    std::u16string shown, caption;
    bool openAfterEscape = false;
    // Through the device, as the host opens it.
    WithDialogDriver(
        [&](KxWindow dialog) {
            caption = host::DialogCaption(dialog);
            shown = host::DialogItemText(dialog, 1034);
            host::SendDialogCommand(dialog, 2);  // Escape
            openAfterEscape = host::IsDialogOpen(dialog);
            host::ClickDialogButton(dialog, 1);
        },
        [&] { EXPECT_EQ(plugin.device->ShowDeviceDialog(0, nullptr), 10); });
    EXPECT_EQ(caption, u"Configure Device");
    EXPECT_TRUE(openAfterEscape);
    EXPECT_EQ(shown,
              u"Information about controller\r\n\r\n  Generation: Marivel \r\n"
              u"  Motor type: Brushless \r\n  Number of axes: 4 \r\n"
              u"  Chip count: 0                          \r\n"
              u"  Version CPU: V1.2 \r\n  Version board: V3.5");

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
