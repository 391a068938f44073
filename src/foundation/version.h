#pragma once

#include <compare>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace vdl {

struct Version {
    int major = 0;
    int minor = 0;
    int patch = 0;

    // First match of "(\d+).(\d+).(\d+)" anywhere in the text; none when there is no
    // match or a number does not fit.
    static std::optional<Version> fromText(std::string_view text);
    // An object with "major", "minor" and "patch" (numbers, or texts of digits); none
    // when one is missing or not a non-negative whole number.
    static std::optional<Version> fromJson(const nlohmann::json& j);

    std::string text() const;  // "{}.{}.{}"

    auto operator<=>(const Version&) const = default;
    bool operator==(const Version&) const = default;
};

inline constexpr std::string_view programName = "Vandrel";
inline constexpr Version programVersion{10, 10, 4};

}  // namespace vdl
