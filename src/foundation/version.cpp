#include "foundation/version.h"

#include <fmt/format.h>

#include <charconv>
#include <limits>
#include <nlohmann/json.hpp>
#include <regex>

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

}  // namespace

std::optional<Version> Version::fromText(std::string_view text) {
    static const std::regex pattern(R"((\d+).(\d+).(\d+))");
    std::match_results<std::string_view::const_iterator> m;
    if (!std::regex_search(text.begin(), text.end(), m, pattern)) return std::nullopt;
    auto part = [&](int i) {
        return lf_parseNumber(std::string_view(&*m[i].first, static_cast<size_t>(m[i].length())));
    };
    auto a = part(1), b = part(2), c = part(3);
    if (!a || !b || !c) return std::nullopt;
    return Version{*a, *b, *c};
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
