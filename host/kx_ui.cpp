#include "host/kx_ui.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>

#include "host/kx_post.h"

namespace {

std::mutex g_mutex;
host::ConnectionChooser g_chooser;
host::MessagePoster g_poster;
std::atomic<unsigned> g_language{host::kLanguageUsEnglish};
std::atomic<int> g_waitCursors{0};

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

}  // namespace

int KX_SerialShowConnectionDialog(KxWindow, std::int16_t port, int, int, int, int, unsigned, int) {
    host::ConnectionChooser chooser;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        chooser = g_chooser;
    }
    return chooser ? chooser(port) : 0;
}

bool KX_PostMessageImpl(KxWindow window, unsigned message, std::uintptr_t wParam,
                        std::intptr_t lParam, const char*, int) {
    host::MessagePoster poster;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        poster = g_poster;
    }
    if (poster) return poster(window, message, wParam, lParam);
    return host::PostToSystem(window, message, wParam, lParam);
}

int KX_DoubleToString(double value, int decimals, char16_t* buffer, int length) {
    if (!buffer || length <= 0) return 0;
    decimals = std::clamp(decimals, 0, 20);
    // "%f" of 1e308 needs 309 digits; the decimals and sign fit in the rest.
    char text[400];
    const int n = std::snprintf(text, sizeof text, "%.*f", decimals, value);
    const int count = std::clamp(n, 0, length - 1);
    for (int i = 0; i < count; ++i) buffer[i] = static_cast<char16_t>(text[i]);
    buffer[count] = u'\0';
    return count;
}

bool KX_StringToDouble(const char16_t* text, double* value) {
    if (!text || !value) return false;
    std::u16string_view view(text);
    while (!view.empty() && IsSpace(view.front())) view.remove_prefix(1);
    while (!view.empty() && IsSpace(view.back())) view.remove_suffix(1);
    std::string narrow;
    for (char16_t c : view) {
        if (c > 0x7F) return false;
        narrow += static_cast<char>(c);
    }
    // from_chars takes no leading '+'; a user may type one.
    std::size_t start = (!narrow.empty() && narrow[0] == '+') ? 1 : 0;
    if (narrow.empty() || start == narrow.size()) return false;
    double parsed = 0;
    const char* end = narrow.data() + narrow.size();
    auto [ptr, ec] = std::from_chars(narrow.data() + start, end, parsed);
    // Only finite numbers: "nan", "inf" and overflowing texts are no value
    // for a dialog field.
    if (ec != std::errc() || ptr != end || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

unsigned CKxLocale::GetModuleLangId(void*) {
    return g_language.load();
}

unsigned CKxLocale::GetSecondaryLangID() {
    return host::kLanguageUsEnglish;
}

SKxWaitCursorHolder::SKxWaitCursorHolder() {
    ++g_waitCursors;
}

SKxWaitCursorHolder::~SKxWaitCursorHolder() {
    --g_waitCursors;
}

namespace host {

void SetConnectionChooser(ConnectionChooser chooser) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_chooser = std::move(chooser);
}

void SetMessagePoster(MessagePoster poster) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_poster = std::move(poster);
}

void SetUserLanguage(unsigned languageId) {
    g_language = languageId;
}

int WaitCursorDepth() {
    return g_waitCursors.load();
}

}  // namespace host
