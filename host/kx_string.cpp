#include "host/kx_string.h"

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
