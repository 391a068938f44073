// The traffic reader: RTTFC datagrams on UDP 49005 become TrafficRecords in trafficQueue.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "feed/udp_reader.h"
#include "foundation/geo.h"

namespace vdl {

inline constexpr uint16_t trafficPort = 49005;
// Far more aircraft than any range holds; the bound keeps a flood of made-up callsigns out.
inline constexpr size_t maxCollectedCallsigns = 10000;

class TrafficReader {
public:
    // Starts the reader thread on `port`; false after a reader error.
    bool start(uint16_t port = trafficPort);
    void stop();
    bool running() const { return udp_.running(); }
    uint16_t port() const { return udp_.port(); }

    // One datagram: each of its lines goes to processLine.
    void processDatagram(std::string_view datagram);
    // Validates an RTTFC line (its time stamp within the window around the program's clock),
    // collects its callsign and queues the record while the main loop runs. A refused line is
    // logged ("exception in processLine: {}", rate-limited) and dropped; lines with other tags
    // are passed over.
    void processLine(std::string_view line);

    // The callsigns seen in the feed within LATERAL_RANGE of the reader's own position,
    // collected while the collecting flag is set, at most maxCollectedCallsigns.
    void startCollecting();  // empties the set and sets the flag
    void stopCollecting();
    bool collecting() const { return collecting_.load(); }
    // Stops the collection and hands the set over, leaving it empty (for gf_copyFeedMap).
    std::set<std::string> takeCallsigns();
    std::set<std::string> callsigns() const;
    void clearCallsigns();

    // The user aircraft's position, against which the range is judged; none until set.
    void setOwnPosition(double lat, double lon);
    std::optional<LatLon> ownPosition() const;

    // Elevation (ft) of the park airport, set by the stand-file loader.
    void setAirportElevation(std::optional<double> feet);
    std::optional<double> airportElevation() const;

    // Stops the thread and forgets the collection, the position and the elevation.
    void reset();

private:
    void collect(const std::string& callsign, double lat, double lon);

    UdpReader udp_;
    mutable std::mutex feedMapMutex_;  // guards callsigns_ and the flag's change with it
    std::set<std::string> callsigns_;
    std::atomic<bool> collecting_{false};
    mutable std::mutex positionMutex_;  // guards ownPosition_ and airportElevation_
    std::optional<LatLon> ownPosition_;
    std::optional<double> airportElevation_;
};

extern TrafficReader trafficReader;

// Starts the traffic reader on `port`; false after a reader error.
bool gf_startTrafficReader(uint16_t port = trafficPort);
// Stops both readers and empties the callsign collection (the end of a run).
void gf_stopReaders();

}  // namespace vdl
