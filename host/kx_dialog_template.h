// Reading an extended dialog template (DLGTEMPLATEEX), the form in which a
// module's dialogs are stored: the dialog's frame, caption and font, and
// each control's id, class, text, style and place. Pure; every read is
// checked against the size given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/kx_export.h"

namespace host {

// Predefined control classes, as the template stores them.
inline constexpr std::uint16_t kButtonClass = 0x80;
inline constexpr std::uint16_t kEditClass = 0x81;
inline constexpr std::uint16_t kStaticClass = 0x82;

struct DialogItemTemplate {
    std::uint32_t helpId = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::int32_t id = 0;
    std::uint16_t classAtom = 0;  // 0: the class is named
    std::u16string className;
    std::u16string text;
};

struct DialogTemplate {
    std::uint32_t helpId = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::u16string menu;
    std::u16string windowClass;
    std::u16string title;
    std::uint16_t pointSize = 0;
    std::uint16_t weight = 0;
    std::uint8_t italic = 0;
    std::uint8_t charset = 0;
    std::u16string typeface;
    std::vector<DialogItemTemplate> items;
};

// False with a reason when the bytes are not a complete extended template.
KX_HOST_API bool ParseDialogTemplate(const void* bytes, std::size_t size, DialogTemplate* out,
                                     std::string* error);

}  // namespace host
