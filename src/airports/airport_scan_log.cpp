#include "airports/airport_scan_log.h"

#include <fmt/format.h>

#include "refdata/hooks.h"

namespace vdl {

namespace {

size_t linesLeftOut = 0;  // guarded by scanLogMutex
thread_local AirportsScanLogBuffer* threadBuffer = nullptr;

void lf_addLocked(std::string_view line) {
    if (airportsScanLog.size() < airportsScanLogMaxLines)
        airportsScanLog.emplace_back(line);
    else
        ++linesLeftOut;
}

}  // namespace

void gf_addAirportsScanLog(std::string_view line) {
    if (threadBuffer) {
        threadBuffer->add(line);
        return;
    }
    std::lock_guard lock(scanLogMutex);
    lf_addLocked(line);
}

AirportsScanLogBuffer::AirportsScanLogBuffer() : outer_(threadBuffer) { threadBuffer = this; }

void AirportsScanLogBuffer::add(std::string_view line) {
    if (lines_.size() < airportsScanLogMaxLines)
        lines_.emplace_back(line);
    else
        ++leftOut_;
}

AirportsScanLogBuffer::~AirportsScanLogBuffer() {
    threadBuffer = outer_;
    if (lines_.empty()) return;
    try {
        if (outer_) {
            for (const auto& line : lines_) outer_->add(line);
            outer_->leftOut_ += leftOut_;
            return;
        }
        std::lock_guard lock(scanLogMutex);
        for (const auto& line : lines_) lf_addLocked(line);
        linesLeftOut += leftOut_;
    } catch (...) {
        // Out of memory: the scan log loses these lines, the scan goes on.
    }
}

void gf_beginAirportsScanLog() {
    const std::vector<std::string> waiting = gf_takePendingScanLog();
    std::lock_guard lock(scanLogMutex);
    if (airportsScanLog.capacity() < airportsScanLogReserve) airportsScanLog.reserve(airportsScanLogReserve);
    for (const auto& line : waiting) lf_addLocked(line);
}

std::vector<std::string> gf_takeAirportsScanLog() {
    std::lock_guard lock(scanLogMutex);
    std::vector<std::string> lines;
    lines.swap(airportsScanLog);
    if (linesLeftOut > 0) lines.push_back(fmt::format("... and {} more lines left out", linesLeftOut));
    linesLeftOut = 0;
    return lines;
}

void gf_clearAirportsScanLog() {
    std::lock_guard lock(scanLogMutex);
    airportsScanLog.clear();
    airportsScanLog.shrink_to_fit();
    linesLeftOut = 0;
}

}  // namespace vdl
