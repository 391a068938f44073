#include "foundation/encoding.h"

#include <fmt/format.h>

#include <cstdint>
#include <cstring>

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

namespace {

// UTF-16 units at(0) .. at(count - 1) to UTF-8. The exact size is taken first: a file-sized text
// grown by doubling would hold up to twice its size.
template <class Unit>
std::string lf_utf16ToUtf8(size_t count, Unit at) {
    size_t size = 3;  // a surrogate pair takes 4 bytes, an unpaired one the 3 of U+FFFD
    for (size_t i = 0; i < count; ++i) {
        const char16_t u = at(i);
        size += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
    }
    std::string out;
    out.reserve(size);
    for (size_t i = 0; i < count; ++i) {
        const char16_t u = at(i);
        if (lf_isHigh(u)) {
            if (i + 1 < count && lf_isLow(at(i + 1))) {
                const char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (at(i + 1) - 0xDC00);
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

}  // namespace

std::string gf_utf16ToUtf8(std::u16string_view text) {
    return lf_utf16ToUtf8(text.size(), [&](size_t i) { return text[i]; });
}

std::string gf_utf16BytesToUtf8(std::string_view bytes, bool bigEndian) {
    std::string out = lf_utf16ToUtf8(bytes.size() / 2, [&](size_t i) {
        const auto b0 = static_cast<unsigned char>(bytes[2 * i]);
        const auto b1 = static_cast<unsigned char>(bytes[2 * i + 1]);
        return static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
    });
    if (bytes.size() % 2 != 0) lf_appendUtf8(out, replacement);
    return out;
}

namespace {

// The length of the valid UTF-8 sequence at bytes[i] (its code point in cp), 0 when the bytes
// there are no valid sequence.
size_t lf_utf8Sequence(std::string_view bytes, size_t i, char32_t& cp) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    size_t len = 0;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > bytes.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto cc = static_cast<unsigned char>(bytes[i + k]);
        if ((cc & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and code points above U+10FFFF.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

bool lf_isControl(char32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
}

// Copies the text with every control character (but those `keep` allows) and every byte of
// no valid sequence replaced by what `replace` appends for that byte or sequence.
template <class Keep, class Replace>
std::string lf_replaceUnprintable(std::string_view bytes, Keep keep, Replace replace) {
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        char32_t cp = 0;
        const size_t len = lf_utf8Sequence(bytes, i, cp);
        if (len == 0) {
            replace(out, bytes.substr(i, 1));
            ++i;
        } else if (lf_isControl(cp) && !keep(cp)) {
            replace(out, bytes.substr(i, len));
            i += len;
        } else {
            out.append(bytes.substr(i, len));
            i += len;
        }
    }
    return out;
}

}  // namespace

bool gf_isValidUtf8(std::string_view bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        // ASCII runs eight bytes at a time.
        while (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            if ((word & 0x8080808080808080ULL) != 0) break;
            i += 8;
        }
        if (i >= n) break;
        char32_t cp = 0;
        const size_t len = lf_utf8Sequence(bytes, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string gf_printableText(std::string_view bytes) {
    return lf_replaceUnprintable(
        bytes, [](char32_t) { return false; }, [](std::string& out, std::string_view) { out += '?'; });
}

std::string gf_escapedForLog(std::string_view bytes) {
    // Most lines need nothing: the scan alone.
    bool clean = true;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x80 || (c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) {
            clean = false;
            break;
        }
    }
    if (clean) return std::string(bytes);
    return lf_replaceUnprintable(
        bytes, [](char32_t cp) { return cp == U'\n' || cp == U'\t'; },
        [](std::string& out, std::string_view unit) {
            for (const char ch : unit) out += fmt::format("\\x{:02X}", static_cast<unsigned char>(ch));
        });
}

bool gf_isInvisible(char32_t cp) {
    struct Range {
        char32_t first, last;
    };
    // White_Space, then Cf (Unicode 15.1), merged and in order.
    static constexpr Range ranges[] = {
        {0x09, 0x0D},       {0x20, 0x20},       {0x85, 0x85},       {0xA0, 0xA0},       {0xAD, 0xAD},
        {0x600, 0x605},     {0x61C, 0x61C},     {0x6DD, 0x6DD},     {0x70F, 0x70F},     {0x890, 0x891},
        {0x8E2, 0x8E2},     {0x1680, 0x1680},   {0x180E, 0x180E},   {0x2000, 0x200F},   {0x2028, 0x202F},
        {0x205F, 0x2064},   {0x2066, 0x206F},   {0x3000, 0x3000},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},
        {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
        {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
    };
    for (const Range& r : ranges) {
        if (cp < r.first) return false;
        if (cp <= r.last) return true;
    }
    return false;
}

std::string_view gf_trimInvisible(std::string_view text) {
    size_t start = 0;
    while (start < text.size()) {
        char32_t cp = 0;
        const size_t len = lf_utf8Sequence(text, start, cp);
        if (len == 0 || !gf_isInvisible(cp)) break;
        start += len;
    }
    size_t end = text.size();
    while (end > start) {
        // The sequence that ends at `end`: a lead byte and up to three continuation bytes.
        size_t lead = end - 1;
        while (lead > start && end - lead < 4 && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80) --lead;
        char32_t cp = 0;
        const size_t len = lf_utf8Sequence(text, lead, cp);
        if (len != end - lead || !gf_isInvisible(cp)) break;
        end = lead;
    }
    return text.substr(start, end - start);
}

namespace {

// Windows-1252 byte to code point: 0x80..0x9F by the table, its five unassigned bytes U+FFFD.
char32_t lf_ansiCodePoint(unsigned char c) {
    static constexpr char16_t high[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    return c < 0x80 ? c : c < 0xA0 ? high[c - 0x80] : c;
}

size_t lf_utf8Size(char32_t cp) {
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

size_t lf_ansiUtf8Size(std::string_view bytes) {
    size_t size = 0;
    for (const char c : bytes) size += lf_utf8Size(lf_ansiCodePoint(static_cast<unsigned char>(c)));
    return size;
}

void lf_appendAnsi(std::string& out, std::string_view bytes) {
    for (const char c : bytes) lf_appendUtf8(out, lf_ansiCodePoint(static_cast<unsigned char>(c)));
}

// Each line (its '\n' included) of the text.
template <class Each>
void lf_eachLine(std::string_view bytes, Each each) {
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find('\n', start);
        const size_t stop = end == std::string_view::npos ? bytes.size() : end + 1;
        each(bytes.substr(start, stop - start));
        start = stop;
    }
}

}  // namespace

std::string gf_ansiToUtf8(std::string_view bytes) {
    if (gf_isValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(lf_ansiUtf8Size(bytes));
    lf_appendAnsi(out, bytes);
    return out;
}

std::string gf_mixedLinesToUtf8(std::string_view bytes) {
    if (gf_isValidUtf8(bytes)) return std::string(bytes);
    // The exact size first, so that the text is made in one piece.
    size_t size = 0;
    lf_eachLine(bytes, [&](std::string_view line) { size += gf_isValidUtf8(line) ? line.size() : lf_ansiUtf8Size(line); });
    std::string out;
    out.reserve(size);
    lf_eachLine(bytes, [&](std::string_view line) {
        if (gf_isValidUtf8(line))
            out.append(line);
        else
            lf_appendAnsi(out, line);
    });
    return out;
}

}  // namespace vdl
