#include "host/kx_dialog_template.h"

namespace host {
namespace {

constexpr std::uint32_t kSetFont = 0x40;    // DS_SETFONT
constexpr std::uint32_t kShellFont = 0x48;  // DS_SHELLFONT

class Cursor {
  public:
    Cursor(const std::uint8_t* bytes, std::size_t size) : m_bytes(bytes), m_size(size) {}
    bool ok() const { return m_ok; }
    std::uint16_t U16() {
        if (!Need(2)) return 0;
        const std::uint16_t v =
            static_cast<std::uint16_t>(m_bytes[m_pos] | (m_bytes[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }
    std::uint32_t U32() {
        const std::uint32_t low = U16();
        return low | (static_cast<std::uint32_t>(U16()) << 16);
    }
    std::uint8_t U8() {
        if (!Need(1)) return 0;
        return m_bytes[m_pos++];
    }
    std::int16_t S16() { return static_cast<std::int16_t>(U16()); }
    std::u16string Text() {
        std::u16string text;
        while (m_ok) {
            const char16_t c = U16();
            if (c == 0) break;
            text += c;
        }
        return text;
    }
    // A number (0xFFFF then the number; 0 alone: none) or a text.
    void NumberOrText(std::uint16_t* number, std::u16string* text) {
        const std::uint16_t first = Peek();
        if (first == 0xFFFF) {
            U16();
            *number = U16();
        } else {
            *number = 0;
            *text = Text();
        }
    }
    void AlignTo4() { m_pos = (m_pos + 3) & ~std::size_t{3}; }
    void Skip(std::size_t n) {
        if (Need(n)) m_pos += n;
    }

  private:
    std::uint16_t Peek() {
        if (!Need(2)) return 0;
        return static_cast<std::uint16_t>(m_bytes[m_pos] | (m_bytes[m_pos + 1] << 8));
    }
    bool Need(std::size_t n) {
        if (m_pos > m_size || n > m_size - m_pos) m_ok = false;
        return m_ok;
    }

    const std::uint8_t* m_bytes;
    std::size_t m_size;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

}  // namespace

bool ParseDialogTemplate(const void* bytes, std::size_t size, DialogTemplate* out,
                         std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    if (!bytes || !out) return *error = "no template", false;
    Cursor c(static_cast<const std::uint8_t*>(bytes), size);
    DialogTemplate t;
    const std::uint16_t version = c.U16();
    const std::uint16_t signature = c.U16();
    if (!c.ok() || version != 1 || signature != 0xFFFF)
        return *error = "not an extended dialog template", false;
    t.helpId = c.U32();
    t.exStyle = c.U32();
    t.style = c.U32();
    const std::uint16_t count = c.U16();
    t.x = c.S16();
    t.y = c.S16();
    t.cx = c.S16();
    t.cy = c.S16();
    std::uint16_t number = 0;
    c.NumberOrText(&number, &t.menu);
    c.NumberOrText(&number, &t.windowClass);
    t.title = c.Text();
    if ((t.style & kSetFont) != 0 || (t.style & kShellFont) == kShellFont) {
        t.pointSize = c.U16();
        t.weight = c.U16();
        t.italic = c.U8();
        t.charset = c.U8();
        t.typeface = c.Text();
    }
    for (std::uint16_t i = 0; i < count && c.ok(); ++i) {
        c.AlignTo4();
        DialogItemTemplate item;
        item.helpId = c.U32();
        item.exStyle = c.U32();
        item.style = c.U32();
        item.x = c.S16();
        item.y = c.S16();
        item.cx = c.S16();
        item.cy = c.S16();
        item.id = static_cast<std::int32_t>(c.U32());
        c.NumberOrText(&item.classAtom, &item.className);
        std::uint16_t textId = 0;
        c.NumberOrText(&textId, &item.text);
        c.Skip(c.U16());  // creation data
        t.items.push_back(std::move(item));
    }
    if (!c.ok()) return *error = "template ends early", false;
    *out = std::move(t);
    return true;
}

}  // namespace host
