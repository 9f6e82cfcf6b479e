// The host's user-interface services that the plug-in's dialogs and its
// connection choice use: the COM-port chooser, language ids, the wait
// cursor, number formatting for dialog fields and message posting.
//
// The stand-in host has no user interface of its own; a host program decides
// what the chooser answers and where posted messages go.
#pragma once

#include <cstdint>
#include <functional>

#include "host/kx_device_interfaces.h"
#include "host/kx_export.h"

// Lets the user choose a COM port, starting from `port`. The port chosen, or
// zero or less when the user cancelled. Without a chooser set by the host
// program, the choice is cancelled.
KX_HOST_API int KX_SerialShowConnectionDialog(KxWindow parent, std::int16_t port, int, int, int,
                                              int, unsigned flags, int);

// Posts a window message; `source` and `line` name the caller. False when
// the message could not be posted.
KX_HOST_API bool KX_PostMessageImpl(KxWindow window, unsigned message, std::uintptr_t wParam,
                                    std::intptr_t lParam, const char* source, int line);

// `value` with `decimals` decimals (0 to 20) in the C locale ("12.50000"),
// cut to fit `length` characters including the terminating zero. The number
// of characters written, without the zero; 0 without a buffer.
KX_HOST_API int KX_DoubleToString(double value, int decimals, char16_t* buffer, int length);
// Reads a finite decimal number in the C locale; spaces around it are
// allowed, nothing else. False, with `value` untouched, when the text is not
// such a number ("nan", "inf" and numbers beyond the range of a double
// included).
KX_HOST_API bool KX_StringToDouble(const char16_t* text, double* value);

class KX_HOST_API CKxLocale {
  public:
    // The language the host shows the module's user interface in.
    static unsigned GetModuleLangId(void* module);
    // The language to fall back on (US English).
    static unsigned GetSecondaryLangID();
};

// Shows the wait cursor while it lives.
class KX_HOST_API SKxWaitCursorHolder {
  public:
    SKxWaitCursorHolder();
    ~SKxWaitCursorHolder();
    SKxWaitCursorHolder(const SKxWaitCursorHolder&) = delete;
    SKxWaitCursorHolder& operator=(const SKxWaitCursorHolder&) = delete;
};

namespace host {

inline constexpr unsigned kLanguageUsEnglish = 1033;

// What the COM-port chooser answers (argument: the port it starts from).
using ConnectionChooser = std::function<int(int port)>;
KX_HOST_API void SetConnectionChooser(ConnectionChooser chooser);

// Where posted messages go. On Windows they go to PostMessageW unless a
// poster is set; elsewhere they are dropped (false) unless one is set.
using MessagePoster = std::function<bool(KxWindow window, unsigned message, std::uintptr_t wParam,
                                         std::intptr_t lParam)>;
KX_HOST_API void SetMessagePoster(MessagePoster poster);

// The language of the user interface; US English unless set.
KX_HOST_API void SetUserLanguage(unsigned languageId);
// How many wait cursors are held at the moment.
KX_HOST_API int WaitCursorDepth();

}  // namespace host
