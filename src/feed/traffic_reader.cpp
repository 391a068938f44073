#include "feed/traffic_reader.h"

#include <fmt/format.h>

#include <utility>

#include "feed/qnh.h"
#include "feed/rttfc.h"
#include "feed/traffic_queue.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/time.h"

namespace vdl {

TrafficReader trafficReader;

namespace {

// The time of day shown in log lines follows the newest record; the time stamp was checked.
void lf_noteLiveDataTime(double sampleTime) {
    const auto t = static_cast<int64_t>(sampleTime);
    int64_t old = liveDataUtc.load();
    while (t > old && !liveDataUtc.compare_exchange_weak(old, t)) {
    }
}

}  // namespace

bool TrafficReader::start(uint16_t port) {
    return udp_.start("traffic", port, [this](std::string_view d) { processDatagram(d); });
}

void TrafficReader::stop() { udp_.stop(); }

void TrafficReader::processDatagram(std::string_view datagram) {
    size_t start = 0;
    while (start < datagram.size()) {
        const auto nl = datagram.find('\n', start);
        processLine(datagram.substr(start, nl == std::string_view::npos ? nl : nl - start));
        if (nl == std::string_view::npos) break;
        start = nl + 1;
    }
}

void TrafficReader::processLine(std::string_view line) {
    static LogLimiter refusedLog("exception in processLine");
    try {
        if (!gf_isRttfcLine(line)) return;
        TrafficRecord r = gf_parseRttfc(line, clock100.load());
        gf_checkSampleTime(r.sampleTime, gf_nowUtc());
        lf_noteLiveDataTime(r.sampleTime);
        collect(r.callsign, r.pos.lat, r.pos.lon);
        gf_queueTrafficRecord(std::move(r));
    } catch (const std::exception& e) {
        refusedLog.log(fmt::format("exception in processLine: {}", e.what()));
    }
}

void TrafficReader::collect(const std::string& callsign, double lat, double lon) {
    if (!collecting_.load() || callsign.empty() || callsign.find('@') != std::string::npos) return;
    const auto own = ownPosition();
    if (!own || gf_distanceNm(*own, LatLon{lat, lon}) > lateralRangeNm.load()) return;
    std::lock_guard lock(feedMapMutex_);
    // Checked again under the lock: a take-over in between ends the collection.
    if (collecting_.load() && callsigns_.size() < maxCollectedCallsigns) callsigns_.insert(callsign);
}

void TrafficReader::startCollecting() {
    std::lock_guard lock(feedMapMutex_);
    callsigns_.clear();
    collecting_ = true;
}

void TrafficReader::stopCollecting() {
    std::lock_guard lock(feedMapMutex_);
    collecting_ = false;
}

std::set<std::string> TrafficReader::takeCallsigns() {
    std::lock_guard lock(feedMapMutex_);
    collecting_ = false;
    return std::exchange(callsigns_, {});
}

std::set<std::string> TrafficReader::callsigns() const {
    std::lock_guard lock(feedMapMutex_);
    return callsigns_;
}

void TrafficReader::clearCallsigns() {
    std::lock_guard lock(feedMapMutex_);
    callsigns_.clear();
}

void TrafficReader::setOwnPosition(double lat, double lon) {
    std::lock_guard lock(positionMutex_);
    ownPosition_ = LatLon{lat, lon};
}

std::optional<LatLon> TrafficReader::ownPosition() const {
    std::lock_guard lock(positionMutex_);
    return ownPosition_;
}

void TrafficReader::setAirportElevation(std::optional<double> feet) {
    std::lock_guard lock(positionMutex_);
    airportElevation_ = feet;
}

std::optional<double> TrafficReader::airportElevation() const {
    std::lock_guard lock(positionMutex_);
    return airportElevation_;
}

void TrafficReader::reset() {
    stop();
    {
        std::lock_guard lock(feedMapMutex_);
        collecting_ = false;
        callsigns_.clear();
    }
    std::lock_guard lock(positionMutex_);
    ownPosition_.reset();
    airportElevation_.reset();
}

bool gf_startTrafficReader(uint16_t port) { return trafficReader.start(port); }

void gf_stopReaders() {
    qnhReader.stop();
    trafficReader.stop();
    trafficReader.stopCollecting();
    trafficReader.clearCallsigns();
}

}  // namespace vdl
