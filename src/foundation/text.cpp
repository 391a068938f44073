#include "foundation/text.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>

namespace vdl {

namespace {
constexpr std::string_view blanks = " \t\n\r";
}

std::string gf_trim(std::string_view text) {
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(blanks);
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> gf_split(std::string_view text, char delimiter) {
    std::vector<std::string> items;
    if (text.empty()) return items;
    size_t start = 0;
    while (true) {
        size_t pos = text.find(delimiter, start);
        if (pos == std::string_view::npos) {
            items.push_back(gf_trim(text.substr(start)));
            break;
        }
        items.push_back(gf_trim(text.substr(start, pos - start)));
        start = pos + 1;
    }
    return items;
}

std::vector<std::string> gf_splitComma(std::string_view text) {
    return gf_split(text, ',');
}

void gf_trimCommaList(std::string& text) {
    if (text.find_first_of(blanks) == std::string::npos) return;
    std::string joined;
    bool first = true;
    for (const std::string& item : gf_split(text, ',')) {
        if (!first) joined += ',';
        joined += item;
        first = false;
    }
    text = std::move(joined);
}

std::string gf_quoted(std::string_view text) {
    size_t open = text.find('"');
    if (open == std::string_view::npos) return std::string(text);
    size_t close = text.find('"', open + 1);
    if (close == std::string_view::npos) return {};
    return std::string(text.substr(open + 1, close - open - 1));
}

bool gf_equalsUpper(std::string_view text, std::string upper) {
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text == upper;
}

std::string gf_toUpper(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string gf_floatText(float value) {
    if (std::isfinite(value) && std::trunc(value) == value) return fmt::format("{:.0f}", value);
    return fmt::format("{:.1F}", value);
}

std::string gf_starBanner(int widthA, int widthB, bool leadingNewline, bool trailingNewline,
                          std::string_view text) {
    int width = widthA + widthB;
    if (width % 2 != 0) ++width;
    std::string out;
    if (leadingNewline) out += '\n';
    if (text.empty()) {
        out.append(static_cast<size_t>(std::max(width, 0)), '*');
    } else if (width > static_cast<int>(text.size()) + 2) {
        std::string stars(static_cast<size_t>(width / 2 - 1), '*');
        out += stars;
        out += ' ';
        out += text;
        out += ' ';
        out += stars;
    } else {
        out += text;
    }
    if (trailingNewline) out += '\n';
    return out;
}

std::string gf_airportLabel(std::string_view code, std::string_view second) {
    std::string label = code.empty() ? std::string("?") : std::string(code);
    if (!second.empty()) label += fmt::format(" ({})", second);
    return label;
}

bool gf_textToBool(std::string_view text) {
    if (text.empty()) return false;
    char c = text.front();
    return c == '1' || c == 't' || c == 'T' || c == 'y' || c == 'Y';
}

}  // namespace vdl
