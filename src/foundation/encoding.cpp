#include "foundation/encoding.h"

namespace vdl {

namespace {

void lf_appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

constexpr char32_t replacement = 0xFFFD;

bool lf_isHigh(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool lf_isLow(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

std::string gf_utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t u = text[i];
        if (lf_isHigh(u)) {
            if (i + 1 < text.size() && lf_isLow(text[i + 1])) {
                char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
                lf_appendUtf8(out, cp);
                ++i;
            } else {
                lf_appendUtf8(out, replacement);
            }
        } else if (lf_isLow(u)) {
            lf_appendUtf8(out, replacement);
        } else {
            lf_appendUtf8(out, u);
        }
    }
    return out;
}

std::string gf_utf16BytesToUtf8(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto b0 = static_cast<unsigned char>(bytes[i]);
        auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        units += static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
    }
    std::string out = gf_utf16ToUtf8(units);
    if (bytes.size() % 2 != 0) lf_appendUtf8(out, replacement);
    return out;
}

}  // namespace vdl
