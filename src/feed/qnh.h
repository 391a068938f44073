// The local QNH from RealTraffic's weather datagrams (UDP 49004).
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "feed/udp_reader.h"

namespace vdl {

inline constexpr uint16_t qnhPort = 49004;
inline constexpr int32_t defaultQnh = 1013;

// hPa; kept by the QNH reader, read by the descent rates and the window.
inline std::atomic<int32_t> qnh{defaultQnh};

// The QNH in whole hPa from a weather JSON object: "QNH" as a number or a text of one;
// 2600 to 3400 are inches of mercury x 100. Throws std::runtime_error when the text is no
// JSON object, "QNH" is missing or no number, or the value lies outside 800 to 1100 hPa.
int32_t gf_parseQnh(std::string_view json);

// Sets qnh from one weather datagram; a refused one is logged (rate-limited) and the old value kept.
bool gf_processQnhDatagram(std::string_view datagram);

extern UdpReader qnhReader;
// Starts the QNH reader on `port`; false after a reader error.
bool gf_startQnhReader(uint16_t port = qnhPort);

}  // namespace vdl
