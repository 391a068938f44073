// Set-up of the intake, spawn, reply and removal tests: a small data base, a livery catalogue
// built by the program's own writer and reader, and helpers to feed records and place the user.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <list>
#include <mutex>
#include <string>
#include <utility>

#include "feed/traffic_queue.h"
#include "feed/traffic_record.h"
#include "foundation/clock.h"
#include "foundation/parameters.h"
#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"
#include "liveries/match_reports.h"
#include "refdata/dbase.h"
#include "refdata/download.h"
#include "refdata/reset.h"
#include "simlink/sim_link.h"
#include "traffic/sim_replies.h"
#include "traffic/traffic_fixture.h"
#include "traffic/traffic_services.h"

namespace vdl::test {

inline constexpr std::string_view liveDbaseXml = R"(<?xml version="1.0"?>
<dbase>
  <meta><info name="author" value="test"/><info name="date" value="2026-12-06"/><info name="version" value="1.0.0"/></meta>
  <types>
    <t icao="B738" cat="2" span="35.8"/><t icao="A320" cat="2" span="35.8"/><t icao="B77W" cat="3" span="64.8"/>
    <t icao="C172" cat="0" span="11"/><t icao="R44" cat="5" span="10"/><t icao="C56X" cat="1" span="17.2"/>
  </types>
  <ICAO_airlines>
    <a icao="KLM"/><a icao="DLH"/><a icao="XXX"/><a icao="ZZZ"/><a icao="PVT"/>
  </ICAO_airlines>
  <regs>
    <r reg="D-AIZX" airl="DLH" type="A320" opr="XXX"/>
    <r reg="PH-BXA" airl="KLM" type="B738"/>
  </regs>
</dbase>
)";

inline constexpr const char* titleKlm = "Boeing 737-800 KLM";
inline constexpr const char* titlePvt = "Cessna 172 PVT";
inline constexpr const char* titleRefused = "Airbus A320 XXX";  // not installed in the stand-in

inline std::list<LiveryData> liveCatalogue() {
    return {
        {"KLM", "B738", titleKlm, "", 1, false},
        {"PVT", "C172", titlePvt, "", 1, false},
        {"XXX", "A320", titleRefused, "", 1, false},
    };
}

// Degrees north per nautical mile.
inline constexpr double degPerNm = 1.0 / 60.0;
inline constexpr double userLat = 52.0;
inline constexpr double userLon = 5.0;

class LiveTest : public TrafficTest {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        std::filesystem::create_directories("input");
        std::filesystem::create_directories("output");
        writeWholeFile("input/dbase.xml", std::string(liveDbaseXml));
        gf_resetRefdata();
        gf_resetLiveries();
        gf_loadDbase("input/dbase.xml");
        gf_setServerBaseForTests("http://127.0.0.1:1/");
        gf_setDownloadTimeouts({std::chrono::milliseconds(500), std::chrono::milliseconds(1000)});
        liveries = liveCatalogue();
        gf_saveScannedLiveries();
        liveries.clear();
        gf_processScannedLiveries();
        clock100 = 100000;
        placeUser(userLat, userLon, true);
    }

    void TearDown() override {
        gf_resetLiveries();
        gf_resetRefdata();
        TrafficTest::TearDown();
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

    // A record as the feed makes it; an airborne one unless alt is 0.
    static TrafficRecord record(uint32_t hexid, std::string callsign, double sampleTime, double lat, double lon,
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

    static void queue(TrafficRecord r) {
        std::lock_guard lock(trafficMutex);
        trafficQueue.push_back(std::move(r));
    }

    static std::vector<ClientEventCmd> takeQueuedEvents() {
        std::lock_guard lock(simMutex);
        std::vector<ClientEventCmd> events;
        events.swap(simEventQueue);
        return events;
    }
};

}  // namespace vdl::test
