#include "airports/stand_plain.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vdl {

namespace {

enum : uint8_t { spaceChar = 1, nameStart = 2, nameChar = 4, valueStop = 8 };

// As pugixml classes them, but for names only ASCII: a byte above 127 in a name is not plain.
constexpr std::array<uint8_t, 256> lf_charClasses() {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        uint8_t k = 0;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') k |= spaceChar;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':') k |= nameStart | nameChar;
        if ((c >= '0' && c <= '9') || c == '-' || c == '.') k |= nameChar;
        if (c < 0x20 || c == '"' || c == '\'' || c == '&' || c == '<') k |= valueStop;
        t[static_cast<size_t>(c)] = k;
    }
    return t;
}
constexpr std::array<uint8_t, 256> charClasses = lf_charClasses();

bool lf_is(char c, uint8_t kind) { return (charClasses[static_cast<unsigned char>(c)] & kind) != 0; }

// The scanners take and give back positions by value: a char written through a reference to
// the position could alias it, and the position would be stored at every step.
char* lf_skipSpace(char* p) {
    while (lf_is(*p, spaceChar)) ++p;
    return p;
}

// The name at p, p moved past it; empty when none starts there. In line: called for every name.
[[gnu::always_inline]] inline std::string_view lf_name(char*& at) {
    char* p = at;
    if (!lf_is(*p, nameStart)) return {};
    while (lf_is(*++p, nameChar)) {
    }
    const std::string_view name(at, static_cast<size_t>(p - at));
    at = p;
    return name;
}

// White space and comments. False at a comment with "--" inside, or another "<!" (CDATA,
// DOCTYPE): pugixml reads those its own way.
bool lf_skipMisc(char*& at) {
    for (char* p = at;;) {
        p = lf_skipSpace(p);
        at = p;
        if (p[0] != '<' || p[1] != '!') return true;
        if (p[2] != '-' || p[3] != '-') return false;
        char* close = std::strstr(p + 4, "--");
        if (close == nullptr || close[2] != '>') return false;
        p = close + 3;
    }
}

// The reference at p ('&' up to ';'): its length and code point; 0 when it is none the plain
// form takes. pugixml leaves other '&' as they stand, and writes references outside Unicode's
// scalar values as no UTF-8 encoder would.
size_t lf_reference(const char* p, uint32_t& cp) {
    if (p[1] == '#') {
        const bool hex = p[2] == 'x';
        const char* q = p + (hex ? 3 : 2);
        uint32_t v = 0;
        int digits = 0;
        for (;; ++q, ++digits) {
            const char c = *q;
            const char lower = static_cast<char>(c | ' ');
            uint32_t d = 0;
            if (c >= '0' && c <= '9')
                d = static_cast<uint32_t>(c - '0');
            else if (hex && lower >= 'a' && lower <= 'f')
                d = static_cast<uint32_t>(lower - 'a' + 10);
            else
                break;
            if (digits == 8) return 0;
            v = v * (hex ? 16 : 10) + d;
        }
        if (digits == 0 || *q != ';' || v == 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
        cp = v;
        return static_cast<size_t>(q + 1 - p);
    }
    struct Named {
        std::string_view text;
        char c;
    };
    static constexpr Named named[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const Named& n : named) {
        if (std::strncmp(p, n.text.data(), n.text.size()) == 0) {
            cp = static_cast<unsigned char>(n.c);
            return n.text.size();
        }
    }
    return 0;
}

char* lf_utf8(char* out, uint32_t cp) {
    auto put = [&out](uint32_t byte) { *out++ = static_cast<char>(static_cast<uint8_t>(byte)); };
    if (cp < 0x80) {
        put(cp);
    } else if (cp < 0x800) {
        put(0xC0 | (cp >> 6));
        put(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        put(0xE0 | (cp >> 12));
        put(0x80 | ((cp >> 6) & 0x3F));
        put(0x80 | (cp & 0x3F));
    } else {
        put(0xF0 | (cp >> 18));
        put(0x80 | ((cp >> 12) & 0x3F));
        put(0x80 | ((cp >> 6) & 0x3F));
        put(0x80 | (cp & 0x3F));
    }
    return out;
}

// A checked value as pugixml's default parse gives it, decoded in place (never longer than its
// text): references replaced, tab, line feed and carriage return (with a line feed after it)
// each one blank.
std::string_view lf_decode(char* begin, char* end) {
    char* out = begin;
    for (char* in = begin; in < end;) {
        const char c = *in;
        if (c == '&') {
            uint32_t cp = 0;
            const size_t n = lf_reference(in, cp);
            out = lf_utf8(out, cp);
            in += n;
        } else if (c == '\r') {
            *out++ = ' ';
            if (*++in == '\n') ++in;
        } else if (c == '\t' || c == '\n') {
            *out++ = ' ';
            ++in;
        } else {
            *out++ = *in++;
        }
    }
    return {begin, static_cast<size_t>(out - begin)};
}

enum TagEnd { notPlain, emptyTag, openTag };

// The attributes of a start tag after its name, up to "/>" or ">"; take(name, valueBegin,
// valueEnd, decode) for each, in order, decode telling that the value has escapes or white
// space to convert. Plain: a checked text without either in any value, whose values end at the
// next quote of their kind.
template <bool Plain = false, typename Take>
TagEnd lf_attributes(char*& at, Take&& take) {
    char* p = at;
    for (;;) {
        if (*p == ' ' && lf_is(p[1], nameStart)) {
            ++p;  // mostly one blank before the next name
        } else {
            const bool space = lf_is(*p, spaceChar);
            p = lf_skipSpace(p);
            if (*p == '>') {
                at = p + 1;
                return openTag;
            }
            if (*p == '/') {
                if (p[1] != '>') return notPlain;
                at = p + 2;
                return emptyTag;
            }
            if (!space) return notPlain;
        }
        const std::string_view name = lf_name(p);
        if (name.empty()) return notPlain;
        // Blanks around '=' are rare: looked for only when the next byte is not the one expected.
        if (*p != '=') {
            p = lf_skipSpace(p);
            if (*p != '=') return notPlain;
        }
        if (lf_is(*++p, spaceChar)) p = lf_skipSpace(p);
        const char quote = *p;
        if (quote != '"' && quote != '\'') return notPlain;
        char* value = ++p;
        bool decode = false;
        if constexpr (Plain) {
            while (*p != quote && *p != '\0') ++p;
            if (*p == '\0') return notPlain;
            take(name, value, p, false);
            ++p;
            continue;
        }
        for (;;) {
            while (!lf_is(*p, valueStop)) ++p;
            const char c = *p;
            if (c == quote) break;
            if (c == '"' || c == '\'') {
                ++p;
            } else if (c == '&') {
                uint32_t cp = 0;
                const size_t n = lf_reference(p, cp);
                if (n == 0) return notPlain;
                p += n;
                decode = true;
            } else if (c == '\t' || c == '\n' || c == '\r') {
                ++p;
                decode = true;
            } else {
                return notPlain;  // '<', another control character, or the end of the text
            }
        }
        take(name, value, p, decode);
        ++p;
    }
}

void lf_ignore(std::string_view, char*, char*, bool) {}

// p at "</": past the end tag.
void lf_endTag(char*& p) {
    p += 2;
    lf_name(p);
    p = lf_skipSpace(p) + 1;
}

// The content of an open element of a checked text, up to and past its end tag. False only
// where the check would have refused the text.
bool lf_skipContent(char*& p) {
    for (size_t depth = 1;;) {
        if (!lf_skipMisc(p) || *p != '<') return false;
        if (p[1] == '/') {
            lf_endTag(p);
            if (--depth == 0) return true;
            continue;
        }
        ++p;
        if (lf_name(p).empty()) return false;
        const TagEnd end = lf_attributes(p, lf_ignore);
        if (end == notPlain) return false;
        if (end == openTag) ++depth;
    }
}

// Only the version, as the writer gives it: an encoding named here would change how pugixml
// reads every byte after it.
bool lf_declaration(char*& p) {
    if (std::strncmp(p, "<?xml", 5) != 0 || !lf_is(p[5], spaceChar)) return false;
    p = lf_skipSpace(p + 5);
    if (std::strncmp(p, "version", 7) != 0) return false;
    p = lf_skipSpace(p + 7);
    if (*p != '=') return false;
    p = lf_skipSpace(p + 1);
    const char quote = *p;
    if ((quote != '"' && quote != '\'') || std::strncmp(p + 1, "1.0", 3) != 0 || p[4] != quote) return false;
    p = lf_skipSpace(p + 5);
    if (std::strncmp(p, "?>", 2) != 0) return false;
    p += 2;
    return true;
}

std::string_view* lf_parkPosField(ParkPosFields& f, std::string_view name) {
    switch (name[0]) {
        case 'i': return name == "id" ? &f.id : nullptr;
        case 'l': return name == "latitude" ? &f.latitude : (name == "longitude" ? &f.longitude : nullptr);
        case 'r':
            return name == "radius" ? &f.radius : name == "ramp" ? &f.ramp : name == "radius_change" ? &f.radiusChange : nullptr;
        case 'h': return name == "heading" ? &f.heading : (name == "heli" ? &f.heli : nullptr);
        case 'c': return name == "cargo" ? &f.cargo : (name == "cargo_change" ? &f.cargoChange : nullptr);
        case 'm': return name == "manual" ? &f.manual : nullptr;
        default: return nullptr;
    }
}

std::string_view* lf_optField(OptFields& o, std::string_view name) {
    switch (name[0]) {
        case 'r': return name == "reg" ? &o.reg : nullptr;
        case 'a': return name == "airl" ? &o.airl : nullptr;
        case 't': return name == "type" ? &o.type : nullptr;
        case 's': return name == "soft" ? &o.soft : nullptr;
        case 'd': return name == "day" ? &o.day : nullptr;
        case 'h': return name == "hh" ? &o.hh : nullptr;
        case 'c': return name == "cs" ? &o.cs : nullptr;
        default: return nullptr;
    }
}

// The attributes into the fields that fieldFor names; the first of a name counts.
template <bool Plain, typename Fields, typename FieldFor>
TagEnd lf_readFields(char*& p, Fields& fields, FieldFor fieldFor) {
    return lf_attributes<Plain>(p, [&](std::string_view name, char* begin, char* end, bool decode) {
        std::string_view* field = fieldFor(fields, name);
        if (field == nullptr || field->data() != nullptr) return;
        *field = decode ? lf_decode(begin, end) : std::string_view(begin, static_cast<size_t>(end - begin));
    });
}

}  // namespace

bool gf_checkPlainStandText(char* text, size_t size, PlainLayout& layout) {
    layout = {};
    char* p = text;
    if (p[0] == '<' && p[1] == '?' && !lf_declaration(p)) return false;
    std::vector<std::string_view> open;  // the names of the open elements
    bool anyElement = false;             // pugixml refuses a document without one
    for (;;) {
        if (!lf_skipMisc(p)) return false;
        if (*p == '\0') return p == text + size && open.empty() && anyElement;  // not a NUL inside
        if (*p != '<') return false;  // text
        if (p[1] == '/') {
            p += 2;
            if (open.empty() || lf_name(p) != open.back()) return false;
            p = lf_skipSpace(p);
            if (*p++ != '>') return false;
            open.pop_back();
            if (open.empty() && layout.begin != nullptr && layout.end == nullptr) layout.end = p;
            continue;
        }
        const char* start = p++;
        const std::string_view name = lf_name(p);
        if (name.empty()) return false;  // a processing instruction, or no name
        anyElement = true;
        const TagEnd end = lf_attributes(p, [&layout](std::string_view, char*, char*, bool decode) {
            layout.escapes = layout.escapes || decode;
        });
        if (end == notPlain) return false;
        if (open.size() == 1 && layout.end == nullptr && layout.begin != nullptr && name == "parkpos")
            ++layout.parkPosCount;
        if (open.empty() && name == "parkpositions") {
            if (layout.begin != nullptr) return false;  // a second one: left to pugixml
            layout.begin = start;
            if (end == emptyTag) layout.end = p;
            else layout.content = p;
        }
        if (end == openTag) open.push_back(name);
    }
}

namespace {

// The next "parkpos" of a checked text's "parkpositions" into element; false at its end.
template <bool Plain>
bool lf_nextParkPos(char*& p, ParkPosElement& element) {
    for (;;) {
        if (!lf_skipMisc(p) || *p != '<' || p[1] == '/') return false;  // the end of "parkpositions"
        ++p;
        if (lf_name(p) == "parkpos") break;
        const TagEnd end = lf_attributes(p, lf_ignore);
        if (end == notPlain || (end == openTag && !lf_skipContent(p))) return false;
    }
    element.fields = {};
    element.opts.clear();
    TagEnd end = lf_readFields<Plain>(p, element.fields, lf_parkPosField);
    if (end != openTag) return end == emptyTag;
    for (;;) {
        if (!lf_skipMisc(p) || *p != '<') return false;
        if (p[1] == '/') {
            lf_endTag(p);
            return true;
        }
        ++p;
        if (lf_name(p) == "opt")
            end = lf_readFields<Plain>(p, element.opts.emplace_back(), lf_optField);
        else
            end = lf_attributes(p, lf_ignore);
        if (end == notPlain || (end == openTag && !lf_skipContent(p))) return false;
    }
}

}  // namespace

bool PlainParkPosSource::next(ParkPosElement& element) {
    if (p_ != nullptr && (escapes_ ? lf_nextParkPos<false>(p_, element) : lf_nextParkPos<true>(p_, element)))
        return true;
    p_ = nullptr;
    return false;
}

bool PlainStandFile::load(const std::filesystem::path& file) {
    if (!bytes_.read(file)) return false;
    char* text = bytes_.data();
    const size_t size = bytes_.size();
    PlainLayout layout;
    if (!gf_checkPlainStandText(text, size, layout)) return false;
    // The small rest of the file (meta block and parameters) parsed as it is: the same values
    // as from the whole document.
    std::string head;
    if (layout.begin == nullptr) {
        head.assign(text, size);
    } else {
        head.reserve(size - static_cast<size_t>(layout.end - layout.begin));
        head.append(text, static_cast<size_t>(layout.begin - text));
        head.append(layout.end, static_cast<size_t>(text + size - layout.end));
    }
    if (!head_.load_buffer(head.data(), head.size())) return false;
    source_.start(layout.content, layout.parkPosCount, layout.escapes);
    return true;
}

pugi::xml_parse_result StandFileReader::load(const std::filesystem::path& file, bool plainFirst) {
    if (plainFirst) {
        plain_.emplace();
        if (plain_->load(file)) {
            pugi::xml_parse_result ok;
            ok.status = pugi::status_ok;
            ok.encoding = pugi::encoding_utf8;
            return ok;
        }
        plain_.reset();  // its kept buffer free again before the parse takes kept memory
    }
    xml_.emplace();
    const pugi::xml_parse_result result = xml_->loadFile(file);
    if (result) xmlSource_.emplace(xml_->doc());
    return result;
}

}  // namespace vdl
