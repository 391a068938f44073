// Sets and maps keyed by strings that can be searched with a string_view, without a copy.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace vdl {

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};

using TextSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;
template <typename T>
using TextMap = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

}  // namespace vdl
