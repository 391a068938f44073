// Stands with half-hour options around the traffic tests' user, for the static parking tests.
#pragma once

#include <fmt/format.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/stand_records.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "support/traffic_env.h"
#include "traffic/parking_max.h"
#include "traffic/static_adjust.h"
#include "traffic/static_plan.h"

namespace vdl::test {

// North of the user by more than the 55 m in which the user's own stand is found.
inline constexpr double standsLat = userLat + 0.01;
inline constexpr double standSpacingDeg = 0.001;  // about 68 m of longitude

struct OptionSpec {
    uint32_t id = 1;
    uint32_t day = 3;
    std::vector<int> slots{};
    std::string callsign1{};
    std::string callsign2{};
    std::string reg{};
    uint32_t kind = optionReal;
    std::string airline = "KLM";
    std::string type = "B738";
};

inline ParkPosOption makeOption(const OptionSpec& s) {
    ParkPosOption o;
    o.id = s.id;
    o.day = s.day;
    for (int slot : s.slots) o.hours.set(static_cast<size_t>(slot));
    o.setCallsign1(s.callsign1);
    o.setCallsign2(s.callsign2);
    o.setReg(s.reg);
    o.kind = s.kind;
    o.setAirline(s.airline);
    o.setType(s.type);
    return o;
}

// Appends a stand numbered as the loader numbers them (1..n in list order).
inline ParkPos& addStand(std::vector<OptionSpec> options, std::vector<uint32_t> adjacent = {},
                         double lonOffset = -1.0) {
    std::vector<ParkPosOption> list;
    for (const OptionSpec& s : options) list.push_back(makeOption(s));
    const size_t n = parkPositions.size();
    const double lon = userLon + (lonOffset >= 0.0 ? lonOffset : standSpacingDeg * static_cast<double>(n));
    ParkPos& p = parkPositions.emplace_back(fmt::format("S{}", n + 1), std::move(list), standsLat, lon, 0.5, 30.0,
                                            false, false, false);
    p.id = static_cast<uint32_t>(n + 1);
    p.adjacent = std::move(adjacent);
    return p;
}

// The traffic set-up with a park airport whose stands the test adds; every parking setting back
// to its default afterwards.
class StaticTest : public TrafficTest {
  protected:
    void SetUp() override {
        TrafficTest::SetUp();
        nowSlot = WeekSlot{3, 20};
        RANDOM.set(false);
        CUSTOM_PARKING_PERCENTAGE.set(100);
        {
            std::lock_guard lock(parkAirportMutex);
            currentParkAirport.code = "EHAM";
            currentParkAirport.lat = standsLat;
            currentParkAirport.lon = userLon;
        }
        parkingActive = true;
    }
    void TearDown() override {
        parkPositions.clear();
        reservedStand.clear();
        for (Parameter* p : std::initializer_list<Parameter*>{&RANDOM, &CUSTOM_PARKING_PERCENTAGE, &CUSTOM_MAX_PARK,
                                                              &parking_percentage, &MAX_FIT, &PARK_SOFT, &PARK_FAKE,
                                                              &WEEK, &INITIAL_LOAD_ONLY, &HELICOPTERS, &LOG})
            p->resetToDefault();
        gf_resetParkAirportState();
        nowSlot = WeekSlot{};
        TrafficTest::TearDown();
    }

    static std::vector<uint32_t> plannedStands() {
        std::vector<uint32_t> ids;
        for (const StaticCandidate& c : staticCandidates) ids.push_back(c.standId);
        return ids;
    }

    // A static aircraft as the placing and the replies leave it: active on the stand.
    static AiAircraft& activeStatic(uint32_t hexid, uint32_t standId, std::string callsign, std::string callsign1 = "",
                                    std::string callsign2 = "", WeekSlot parked = {3, 20}) {
        const ParkPos& p = parkPositions.at(standId - 1);
        AcIdentity id = testIdentity(hexid, std::move(callsign));
        id.callsignCopy = std::move(callsign1);
        id.coupledCallsign = std::move(callsign2);
        id.reg.clear();
        AiAircraft& s = staticAircraft.emplace_back(std::move(id), standId, p.lat, p.lon, p.heading, false);
        s.state = AcState::active;
        s.objectId = hexid + 700;
        s.parkSlot = parked;
        return s;
    }
};

}  // namespace vdl::test
