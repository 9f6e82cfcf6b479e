// The host's wide string. Text is UTF-16 on every platform (as Windows'
// wide strings are), so that settings texts and names travel unchanged
// between the Windows and the Linux build.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "host/kx_export.h"

// UTF-16 text as UTF-8, for terminals, logs and narrow APIs. Unpaired
// surrogates become U+FFFD.
KX_HOST_API std::string KX_ToUtf8(std::u16string_view text);

class KX_HOST_API CKxStringW {
  public:
    CKxStringW() = default;
    CKxStringW(const char16_t* text)
        : m_text(text ? text : u"") {}  // NOLINT: implicit like the host's
    explicit CKxStringW(std::u16string text) : m_text(std::move(text)) {}

    const char16_t* GetString() const { return m_text.c_str(); }
    std::size_t GetLength() const { return m_text.size(); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    // Position of `what`, compared without regard to ASCII case; -1 when absent.
    int FindNoCase(std::u16string_view what) const;
    // Removes the first `count` characters (all when fewer).
    void DeleteLeft(std::size_t count);
    // Replaces the text with `format` filled in as printf does it, in the C
    // locale. The format is ASCII; %s takes a narrow string. The number of
    // characters, or -1 (text emptied) when the format could not be used.
    int Format(const char16_t* format, ...);

    CKxStringW& operator=(const char16_t* text) {
        m_text = text ? text : u"";
        return *this;
    }
    CKxStringW& operator+=(const CKxStringW& other) {
        m_text += other.m_text;
        return *this;
    }
    CKxStringW& operator+=(std::u16string_view other) {
        m_text += other;
        return *this;
    }
    friend CKxStringW operator+(CKxStringW a, const CKxStringW& b) { return a += b; }
    bool operator==(const CKxStringW& other) const { return m_text == other.m_text; }
    bool operator!=(const CKxStringW& other) const { return m_text != other.m_text; }

    const std::u16string& str() const { return m_text; }

  private:
    std::u16string m_text;
};
