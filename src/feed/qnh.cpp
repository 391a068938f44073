#include "feed/qnh.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string>

#include "foundation/log.h"
#include "foundation/text.h"

namespace vdl {

UdpReader qnhReader;

namespace {

constexpr double hpaPerInHg = 33.8639;

double lf_qnhValue(const nlohmann::json& v) {
    if (v.is_number()) return v.get<double>();
    if (v.is_string()) {
        const std::string s = gf_trim(v.get<std::string>());
        double d = 0.0;
        const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), d);
        if (s.empty() || ec != std::errc() || ptr != s.data() + s.size()) {
            throw std::runtime_error(fmt::format("QNH \"{}\" is not a number", s));
        }
        return d;
    }
    // Only a scalar is shown: dumping a datagram's worth of nested arrays overflows the stack.
    throw std::runtime_error(
        fmt::format("QNH {} is not a number", v.is_structured() ? std::string(v.type_name()) : v.dump()));
}

}  // namespace

int32_t gf_parseQnh(std::string_view json) {
    const auto doc = nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) throw std::runtime_error("weather datagram is no JSON object");
    const auto it = doc.find("QNH");
    if (it == doc.end()) throw std::runtime_error("weather datagram without QNH");
    double value = lf_qnhValue(*it);
    if (!std::isfinite(value)) throw std::runtime_error("QNH is not finite");
    if (value >= 2600.0 && value <= 3400.0) value = value / 100.0 * hpaPerInHg;
    if (value < 800.0 || value > 1100.0) throw std::runtime_error(fmt::format("QNH {} out of range", value));
    return static_cast<int32_t>(std::lround(value));
}

bool gf_processQnhDatagram(std::string_view datagram) {
    static LogLimiter refusedLog("exception in gf_processQnhDatagram");
    try {
        qnh = gf_parseQnh(datagram);
        return true;
    } catch (const std::exception& e) {
        refusedLog.log(fmt::format("exception in gf_processQnhDatagram: {}", e.what()));
        return false;
    }
}

bool gf_startQnhReader(uint16_t port) { return qnhReader.start("QNH", port, gf_processQnhDatagram); }

}  // namespace vdl
