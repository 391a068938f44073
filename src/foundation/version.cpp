#include "foundation/version.h"

#include <fmt/format.h>

#include <charconv>
#include <limits>
#include <nlohmann/json.hpp>

namespace vdl {

namespace {

std::optional<int> lf_parseNumber(std::string_view digits) {
    int v = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (ec != std::errc() || ptr != digits.data() + digits.size() || v < 0) return std::nullopt;
    return v;
}

std::optional<int> lf_jsonNumber(const nlohmann::json& j, const char* key) {
    auto it = j.find(key);
    if (it == j.end()) return std::nullopt;
    if (it->is_number_unsigned()) {
        auto v = it->get<uint64_t>();
        if (v > static_cast<uint64_t>(std::numeric_limits<int>::max())) return std::nullopt;
        return static_cast<int>(v);
    }
    if (it->is_number_integer()) {
        auto v = it->get<int64_t>();
        if (v < 0 || v > std::numeric_limits<int>::max()) return std::nullopt;
        return static_cast<int>(v);
    }
    if (it->is_string()) {
        const auto& s = it->get_ref<const std::string&>();
        if (s.empty()) return std::nullopt;
        return lf_parseNumber(s);
    }
    return std::nullopt;
}

bool lf_isDigit(char c) {
    return c >= '0' && c <= '9';
}

// One character between two numbers: anything but a digit or a line end.
bool lf_isSeparator(char c) {
    return !lf_isDigit(c) && c != '\n' && c != '\r';
}

}  // namespace

// The first "digits, one character, digits, one character, digits" in the text. A hand-written
// scan rather than std::regex: the library's matcher recurses per character, and the text comes
// from outside (a long run of digits overflowed the stack).
std::optional<Version> Version::fromText(std::string_view text) {
    const size_t n = text.size();
    auto runEnd = [&](size_t i) {
        while (i < n && lf_isDigit(text[i])) ++i;
        return i;
    };
    size_t i = 0;
    while (i < n) {
        if (!lf_isDigit(text[i])) {
            ++i;
            continue;
        }
        size_t bounds[3][2];
        size_t at = i;
        int found = 0;
        for (; found < 3; ++found) {
            if (found > 0) {
                if (at >= n || !lf_isSeparator(text[at])) break;
                ++at;
            }
            const size_t end = runEnd(at);
            if (end == at) break;
            bounds[found][0] = at;
            bounds[found][1] = end;
            at = end;
        }
        if (found == 3) {
            std::optional<int> parts[3];
            for (int k = 0; k < 3; ++k)
                parts[k] = lf_parseNumber(text.substr(bounds[k][0], bounds[k][1] - bounds[k][0]));
            if (!parts[0] || !parts[1] || !parts[2]) return std::nullopt;
            return Version{*parts[0], *parts[1], *parts[2]};
        }
        i = runEnd(i);  // no version starts inside this run of digits either
    }
    return std::nullopt;
}

std::optional<Version> Version::fromJson(const nlohmann::json& j) {
    if (!j.is_object()) return std::nullopt;
    auto a = lf_jsonNumber(j, "major"), b = lf_jsonNumber(j, "minor"), c = lf_jsonNumber(j, "patch");
    if (!a || !b || !c) return std::nullopt;
    return Version{*a, *b, *c};
}

std::string Version::text() const {
    return fmt::format("{}.{}.{}", major, minor, patch);
}

}  // namespace vdl
