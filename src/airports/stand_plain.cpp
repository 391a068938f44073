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
// space to convert.
template <typename Take>
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

// The tape: the "parkpos" elements of the first top-level "parkpositions" as the check reads
// them, written over the text already read: for each element tapeParkPos, its values, for each
// "opt" child tapeOpt and its values, and tapeEnd. A value is its field's code, its length (four
// bytes) and its bytes, decoded; only the first of a name is written. It is never longer than
// the text it replaces (a value takes at least five bytes more there: blank, a name of two
// letters or more, '=' and the quotes), so it never overtakes the check.
enum : uint8_t { tapeParkPos = 0x40, tapeOpt, tapeEnd };

constexpr std::string_view ParkPosFields::*parkPosMembers[] = {
    &ParkPosFields::id,     &ParkPosFields::latitude, &ParkPosFields::longitude,   &ParkPosFields::heading,
    &ParkPosFields::radius, &ParkPosFields::cargo,    &ParkPosFields::ramp,        &ParkPosFields::heli,
    &ParkPosFields::manual, &ParkPosFields::radiusChange, &ParkPosFields::cargoChange};
constexpr std::string_view OptFields::*optMembers[] = {&OptFields::reg, &OptFields::airl, &OptFields::type,
                                                       &OptFields::soft, &OptFields::day, &OptFields::hh,
                                                       &OptFields::cs};
constexpr size_t tapeLengthBytes = sizeof(uint32_t);

// Names compared in line: a call per attribute shows in the profile of a large load.
template <size_t N>
bool lf_viewNamed(std::string_view name, const char (&literal)[N]) {
    if (name.size() != N - 1) return false;
    for (size_t i = 0; i < N - 1; ++i)
        if (name[i] != literal[i]) return false;
    return true;
}

// The index into parkPosMembers of an attribute's name; -1: not read.
[[gnu::always_inline]] inline int lf_parkPosCode(std::string_view name) {
    switch (name[0]) {
        case 'i': return lf_viewNamed(name, "id") ? 0 : -1;
        case 'l': return lf_viewNamed(name, "latitude") ? 1 : lf_viewNamed(name, "longitude") ? 2 : -1;
        case 'h': return lf_viewNamed(name, "heading") ? 3 : lf_viewNamed(name, "heli") ? 7 : -1;
        case 'r':
            return lf_viewNamed(name, "radius") ? 4 : lf_viewNamed(name, "ramp") ? 6 : lf_viewNamed(name, "radius_change") ? 9 : -1;
        case 'c': return lf_viewNamed(name, "cargo") ? 5 : lf_viewNamed(name, "cargo_change") ? 10 : -1;
        case 'm': return lf_viewNamed(name, "manual") ? 8 : -1;
        default: return -1;
    }
}

// The same into optMembers.
[[gnu::always_inline]] inline int lf_optCode(std::string_view name) {
    switch (name[0]) {
        case 'r': return lf_viewNamed(name, "reg") ? 0 : -1;
        case 'a': return lf_viewNamed(name, "airl") ? 1 : -1;
        case 't': return lf_viewNamed(name, "type") ? 2 : -1;
        case 's': return lf_viewNamed(name, "soft") ? 3 : -1;
        case 'd': return lf_viewNamed(name, "day") ? 4 : -1;
        case 'h': return lf_viewNamed(name, "hh") ? 5 : -1;
        case 'c': return lf_viewNamed(name, "cs") ? 6 : -1;
        default: return -1;
    }
}

// What an element gives the tape.
enum class TapeKind { none, parkPos, opt };

// n bytes from `from` to `to`, where the two may overlap. Values are mostly a few bytes long: a
// call to memmove and its set-up cost more than the copy. Each size class loads before it
// stores, so an overlap never reads a byte already written.
[[gnu::always_inline]] inline void lf_moveDown(char* to, const char* from, size_t n) {
    auto copyPair = [&](auto word) {
        decltype(word) head, tail;
        std::memcpy(&head, from, sizeof head);
        std::memcpy(&tail, from + n - sizeof tail, sizeof tail);
        std::memcpy(to, &head, sizeof head);
        std::memcpy(to + n - sizeof tail, &tail, sizeof tail);
    };
    if (n > 16) {
        std::memmove(to, from, n);
    } else if (n >= 8) {
        copyPair(uint64_t{});
    } else if (n >= 4) {
        copyPair(uint32_t{});
    } else if (n > 0) {
        const char first = from[0], middle = from[n / 2], last = from[n - 1];
        to[0] = first;
        to[n / 2] = middle;
        to[n - 1] = last;
    }
}

class TapeWriter {
public:
    explicit TapeWriter(char* at) : w_(at) {}
    void mark(uint8_t code) {
        *w_++ = static_cast<char>(code);
        seen_ = 0;
    }
    // One attribute's value.
    void value(TapeKind kind, std::string_view name, char* begin, char* end, bool decode) {
        const int code = kind == TapeKind::opt ? lf_optCode(name) : lf_parkPosCode(name);
        if (code < 0 || (seen_ & (1u << code)) != 0) return;
        seen_ |= 1u << code;
        const std::string_view v = decode ? lf_decode(begin, end) : std::string_view(begin, static_cast<size_t>(end - begin));
        const auto n = static_cast<uint32_t>(v.size());
        *w_ = static_cast<char>(code);
        std::memcpy(w_ + 1, &n, tapeLengthBytes);
        char* out = w_ + 1 + tapeLengthBytes;
        lf_moveDown(out, v.data(), n);
        w_ = out + n;
    }
    char* at() const { return w_; }

private:
    char* w_;
    uint32_t seen_ = 0;
};

}  // namespace

bool gf_readPlainStandText(char* text, size_t size, PlainLayout& layout) {
    layout = {};
    char* p = text;
    if (p[0] == '<' && p[1] == '?' && !lf_declaration(p)) return false;
    std::vector<std::string_view> open;  // the names of the open elements
    bool anyElement = false;             // pugixml refuses a document without one
    TapeWriter tape(nullptr);
    bool inParkPos = false;  // a "parkpos" of the tape is open
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
            if (inParkPos && open.size() == 1) {
                tape.mark(tapeEnd);
                inParkPos = false;
            }
            if (open.empty() && layout.begin != nullptr && layout.end == nullptr) {
                layout.end = p;
                layout.tapeEnd = tape.at();
            }
            continue;
        }
        const char* start = p++;
        const std::string_view name = lf_name(p);
        if (name.empty()) return false;  // a processing instruction, or no name
        anyElement = true;
        // What the element gives the tape: its values as a "parkpos" of the first top-level
        // "parkpositions" or as an "opt" of one, or nothing.
        const bool inRegion = layout.begin != nullptr && layout.end == nullptr;
        TapeKind kind = TapeKind::none;
        if (inRegion && open.size() == 1 && name == "parkpos") {
            kind = TapeKind::parkPos;
            tape.mark(tapeParkPos);
            ++layout.parkPosCount;
        } else if (inParkPos && open.size() == 2 && name == "opt") {
            kind = TapeKind::opt;
            tape.mark(tapeOpt);
        }
        const TagEnd end = lf_attributes(p, [&tape, kind](std::string_view attribute, char* begin, char* valueEnd,
                                                          bool decode) {
            if (kind != TapeKind::none) tape.value(kind, attribute, begin, valueEnd, decode);
        });
        if (end == notPlain) return false;
        if (kind == TapeKind::parkPos) {
            if (end == emptyTag)
                tape.mark(tapeEnd);
            else
                inParkPos = true;
        }
        if (open.empty() && name == "parkpositions") {
            if (layout.begin != nullptr) return false;  // a second one: left to pugixml
            layout.begin = start;
            if (end == emptyTag) {
                layout.end = p;
            } else {
                layout.tape = p;
                tape = TapeWriter(p);
            }
        }
        // The tape may have been written over the name of an element it took values from.
        if (end == openTag)
            open.push_back(kind == TapeKind::parkPos ? "parkpos" : kind == TapeKind::opt ? "opt" : name);
    }
}

bool PlainParkPosSource::next(ParkPosElement& element) {
    if (p_ == end_) return false;
    ++p_;  // tapeParkPos
    element.fields = {};
    element.opts.clear();
    OptFields* opt = nullptr;
    for (;;) {
        const auto code = static_cast<uint8_t>(*p_++);
        if (code == tapeEnd) return true;
        if (code == tapeOpt) {
            opt = &element.opts.emplace_back();
            continue;
        }
        uint32_t n = 0;
        std::memcpy(&n, p_, tapeLengthBytes);
        const std::string_view value(p_ + tapeLengthBytes, n);
        p_ += tapeLengthBytes + n;
        if (opt != nullptr)
            opt->*optMembers[code] = value;
        else
            element.fields.*parkPosMembers[code] = value;
    }
}

bool PlainStandFile::load(const std::filesystem::path& file) {
    if (!bytes_.read(file)) return false;
    char* text = bytes_.data();
    const size_t size = bytes_.size();
    PlainLayout layout;
    if (!gf_readPlainStandText(text, size, layout)) return false;
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
    source_.start(layout.tape, layout.tapeEnd, layout.parkPosCount);
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
