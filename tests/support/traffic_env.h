// The traffic tests' set-up: the data base and a three-title catalogue built by the program's
// own writer and reader, every traffic global reset, the user parked at a known place; and
// helpers to make records and aircraft.
#pragma once

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "feed/reset.h"
#include "feed/traffic_queue.h"
#include "feed/traffic_record.h"
#include "foundation/clock.h"
#include "foundation/units.h"
#include "liveries/match_reports.h"
#include "refdata/identity.h"
#include "simlink/sim_link.h"
#include "support/data_env.h"
#include "support/traffic_printers.h"
#include "traffic/records.h"
#include "traffic/sim_replies.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace vdl::test {

inline constexpr const char* titleKlm = "Boeing 737-800 KLM";  // the simulator world's jet
inline constexpr const char* titlePvt = "Cessna 172 PVT";
inline constexpr const char* titleRefused = "Airbus A320 XXX";  // installed in no stand-in

inline std::list<LiveryData> trafficCatalogue() {
    return {
        {"KLM", "B738", titleKlm, "", 1, false},
        {"PVT", "C172", titlePvt, "", 1, false},
        {"XXX", "A320", titleRefused, "", 1, false},
    };
}

inline constexpr double degPerNm = 1.0 / 60.0;  // of latitude
inline constexpr double userLat = 52.0;
inline constexpr double userLon = 5.0;

class TrafficTest : public DataEnv {
  protected:
    void SetUp() override {
        gf_resetFeed();
        gf_resetSimLink();
        gf_resetTraffic();
        DataEnv::SetUp();
        buildFrom(trafficCatalogue());
        clock100 = 100000;
        // A day's uptime, whatever the machine's: parked times reach back minutes or hours.
        steadyTicksOverride = 86'400 * steadyTicksPerSecond;
        placeUser(userLat, userLon, true);
    }
    void TearDown() override {
        gf_resetSimLink();
        gf_resetTraffic();
        gf_resetFeed();
        DataEnv::TearDown();
    }

    static void placeUser(double lat, double lon, bool onGround, double headingRad = 0.0, double altFt = 10.0,
                          double aglFt = 0.0, double speedKt = 0.0) {
        userAc = UserAcState{};
        userAc.latitude = lat;
        userAc.longitude = lon;
        userAc.heading = headingRad;
        userAc.altitude = altFt;
        userAc.altAboveGround = aglFt;
        userAc.groundVelocity = speedKt;
        UserOnGround u;
        u.value = onGround ? 1 : 0;
        u.known = true;
        u.latitude = lat;
        u.longitude = lon;
        u.groundVelocity = speedKt;
        userOnGround.store(u);
    }

    static std::vector<ClientEventCmd> takeQueuedEvents() {
        std::lock_guard lock(simMutex);
        return std::exchange(simEventQueue, {});
    }
};

// A record as the feed makes it; an airborne one unless alt is 0.
inline TrafficRecord record(uint32_t hexid, std::string callsign, double sampleTime, double lat, double lon,
                            double alt = 5000.0, double speed = 250.0, double track = 0.0,
                            std::string type = "B738") {
    TrafficRecord r;
    r.hexid = hexid;
    r.callsign = std::move(callsign);
    r.callsignCopy = r.callsign;
    r.type = std::move(type);
    r.reg = "PH-XYZ";
    r.airl = r.callsign.size() >= 4 ? r.callsign.substr(0, 3) : std::string();
    r.sampleTime = sampleTime;
    r.pos.lat = lat;
    r.pos.lon = lon;
    r.pos.alt = alt;
    r.pos.speed = speed;
    r.pos.track = track;
    r.pos.tas = speed;
    r.pos.airborne = alt > 0.0 ? 1 : 0;
    r.pos.time = clock100.load() + 3000;
    return r;
}

inline void queue(TrafficRecord r) {
    std::lock_guard lock(trafficMutex);
    trafficQueue.push_back(std::move(r));
}

inline AcIdentity testIdentity(uint32_t hexid, std::string callsign) {
    AcIdentity id;
    id.airl = "KLM";
    id.type = "B738";
    id.callsign = std::move(callsign);
    id.reg = "PH-BXA";
    id.hexid = hexid;
    id.title = titleKlm;
    return id;
}

inline StreamPos testPoint(uint32_t time, double lat = 52.3, double lon = 4.76) {
    StreamPos p;
    p.lat = lat;
    p.lon = lon;
    p.time = time;
    p.speed = 150.0;
    p.alt = 3000.0;
    p.airborne = 1;
    return p;
}

// A live aircraft as the spawn and the replies leave it: active with an object in the simulator.
inline LiveAc& addActiveLiveAc(uint32_t hexid, uint32_t objectId, std::string callsign = "KLM1234") {
    LiveAc& ac = liveAircraft.emplace_back(testPoint(1000000), testIdentity(hexid, std::move(callsign)), 1.0);
    ac.state = AcState::active;
    ac.objectId = objectId;
    ac.lat = 52.3;
    ac.lon = 4.76;
    ac.alt = 3000.0;
    return ac;
}

// An active aircraft `nm` north of the user.
inline LiveAc& activeAt(uint32_t hexid, uint32_t objectId, double nm, std::string callsign = "") {
    LiveAc& ac = addActiveLiveAc(hexid, objectId, callsign.empty() ? fmt::format("KLM{}", hexid) : callsign);
    ac.lat = userLat + nm * degPerNm;
    ac.lon = userLon;
    return ac;
}

}  // namespace vdl::test
