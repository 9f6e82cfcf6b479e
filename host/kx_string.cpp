#include "host/kx_string.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {
char16_t Lower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}
}  // namespace

int CKxStringW::FindNoCase(std::u16string_view what) const {
    if (what.size() > m_text.size()) return -1;
    for (std::size_t i = 0; i + what.size() <= m_text.size(); ++i) {
        std::size_t k = 0;
        while (k < what.size() && Lower(m_text[i + k]) == Lower(what[k])) ++k;
        if (k == what.size()) return static_cast<int>(i);
    }
    return -1;
}

void CKxStringW::DeleteLeft(std::size_t count) {
    m_text.erase(0, std::min(count, m_text.size()));
}

std::string KX_ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

int CKxStringW::Format(const char16_t* format, ...) {
    m_text.clear();
    if (!format) return -1;
    std::string narrow;
    for (const char16_t* c = format; *c; ++c) narrow += *c < 0x80 ? static_cast<char>(*c) : '?';
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, narrow.c_str(), args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return -1;
    }
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), narrow.c_str(), again);
    va_end(again);
    out.resize(static_cast<std::size_t>(n));
    // The result is what the format produced: ASCII, or the bytes of a %s
    // argument, taken one to one.
    for (char c : out) m_text += static_cast<char16_t>(static_cast<unsigned char>(c));
    return n;
}
