#include "host/kx_settings.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace {

void AppendEscaped(std::u16string& out, std::u16string_view text) {
    for (char16_t c : text) {
        if (c == u'\\' || c == u'=' || c == u';') {
            out += u'\\';
            out += c;
        } else if (c < 0x20 || c > 0x7E) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
            for (const char* p = hex; *p; ++p) out += static_cast<char16_t>(*p);
        } else {
            out += c;
        }
    }
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

// Reads one escaped field up to `stop` at `*pos`; nullopt when the text is
// malformed or ends first.
std::optional<std::u16string> ReadField(std::u16string_view text, std::size_t* pos, char16_t stop) {
    std::u16string out;
    std::size_t i = *pos;
    while (i < text.size()) {
        const char16_t c = text[i];
        if (c == stop) {
            *pos = i + 1;
            return out;
        }
        if (c == u'=' || c == u';') return std::nullopt;  // unescaped separator in the wrong place
        if (c != u'\\') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 >= text.size()) return std::nullopt;
        const char16_t e = text[i + 1];
        if (e == u'\\' || e == u'=' || e == u';') {
            out += e;
            i += 2;
        } else if (e == u'u') {
            if (i + 6 > text.size()) return std::nullopt;
            unsigned value = 0;
            for (std::size_t k = 0; k < 4; ++k) {
                const int d = HexDigit(text[i + 2 + k]);
                if (d < 0) return std::nullopt;
                value = value * 16 + static_cast<unsigned>(d);
            }
            out += static_cast<char16_t>(value);
            i += 6;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;  // ran out before the separator: cut off
}

// The value of the last complete pair with this key.
std::optional<std::u16string> Lookup(const char16_t* text, const char16_t* key) {
    if (!text || !key) return std::nullopt;
    const std::u16string_view all(text);
    const std::u16string_view wanted(key);
    std::optional<std::u16string> found;
    std::size_t pos = 0;
    while (pos < all.size()) {
        const std::optional<std::u16string> k = ReadField(all, &pos, u'=');
        if (!k) break;
        const std::optional<std::u16string> v = ReadField(all, &pos, u';');
        if (!v) break;
        if (*k == wanted) found = v;
    }
    return found;
}

// ASCII text of a value (numbers are ASCII); nullopt for anything else.
std::optional<std::string> Ascii(const std::u16string& value) {
    std::string out;
    for (char16_t c : value) {
        if (c > 0x7E || c < 0x20) return std::nullopt;
        out += static_cast<char>(c);
    }
    return out;
}

void Append(CKxStringW& text, const char16_t* key, const std::string& value) {
    std::u16string pair;
    AppendEscaped(pair, key ? std::u16string_view(key) : std::u16string_view());
    pair += u'=';
    AppendEscaped(pair, std::u16string(value.begin(), value.end()));
    pair += u';';
    text += pair;
}

}  // namespace

int GetIntFromKey(const char16_t* text, const char16_t* key, int* value) {
    const auto v = Lookup(text, key);
    const auto a = v ? Ascii(*v) : std::nullopt;
    if (!a || a->empty() || !value) return 0;
    int parsed = 0;
    const auto [end, error] = std::from_chars(a->data(), a->data() + a->size(), parsed);
    if (error != std::errc() || end != a->data() + a->size()) return 0;
    *value = parsed;
    return 1;
}

int GetDoubleFromKey(const char16_t* text, const char16_t* key, double* value) {
    const auto v = Lookup(text, key);
    const auto a = v ? Ascii(*v) : std::nullopt;
    if (!a || a->empty() || !value) return 0;
    double parsed = 0;
    const auto [end, error] = std::from_chars(a->data(), a->data() + a->size(), parsed);
    if (error != std::errc() || end != a->data() + a->size()) return 0;
    *value = parsed;
    return 1;
}

int GetBoolFromKey(const char16_t* text, const char16_t* key, bool* value) {
    const auto v = Lookup(text, key);
    if (!v || !value) return 0;
    if (*v == u"1" || *v == u"true") {
        *value = true;
        return 1;
    }
    if (*v == u"0" || *v == u"false") {
        *value = false;
        return 1;
    }
    return 0;
}

void SetIntToKey(CKxStringW& text, const char16_t* key, int value) {
    Append(text, key, std::to_string(value));
}

void SetDoubleToKey(CKxStringW& text, const char16_t* key, double value) {
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    Append(text, key, error == std::errc() ? std::string(buffer, end) : std::string("nan"));
}

void SetBoolToKey(CKxStringW& text, const char16_t* key, bool value) {
    Append(text, key, value ? "1" : "0");
}
