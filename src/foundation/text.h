#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace vdl {

// Copy without leading and trailing " \t\n\r".
std::string gf_trim(std::string_view text);

// Items between delimiters, each trimmed; "" gives no item, a trailing delimiter a
// last empty item.
std::vector<std::string> gf_split(std::string_view text, char delimiter);
std::vector<std::string> gf_splitComma(std::string_view text);

// When the text holds any of " \t\n\r", its ','-separated items are trimmed and joined
// again with ','; otherwise it stays as it is.
void gf_trimCommaList(std::string& text);

// Text between the first two '"'; the whole text when it holds none; "" when the
// closing quote is missing or follows the opening one directly.
std::string gf_quoted(std::string_view text);

// True when text equals upper-cased `upper` byte by byte.
bool gf_equalsUpper(std::string_view text, std::string upper);

std::string gf_toUpper(std::string_view text);

// "s" unless the count is 1; signed counts below 0 also give "".
template <std::integral T>
std::string_view gf_plural(T count) {
    if constexpr (std::is_signed_v<T>) {
        if (count < 0) return "";
    }
    return count == 1 ? "" : "s";
}

// "{:.1F}" when the value has a fractional part, else "{:.0f}".
std::string gf_floatText(float value);

// Width = a + b rounded up to even. Empty text: width '*'. Text shorter than width - 2:
// width/2 - 1 '*', blank, text, blank, width/2 - 1 '*'. Else the bare text.
std::string gf_starBanner(int widthA, int widthB, bool leadingNewline, bool trailingNewline,
                          std::string_view text);

// "CODE (second)", "CODE" when second is empty, "?" for an empty code.
std::string gf_airportLabel(std::string_view code, std::string_view second);

// Booleans of the program's XML files: true when the value begins with 1, t, T, y or Y.
bool gf_textToBool(std::string_view text);
inline std::string_view gf_boolText(bool value) {
    return value ? "true" : "false";
}

}  // namespace vdl
