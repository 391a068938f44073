// RTTFC lines through the feed's validation, the traffic step and the simulator link into the
// simulator stand-in: whatever the lines hold, every value that reaches the simulator is sound.
// A guard hit on the way is a finding like a crash.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "feed/reset.h"
#include "feed/rttfc.h"
#include "feed/traffic_queue.h"
#include "foundation/clock.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "fuzz_support.h"
#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"
#include "refdata/dbase.h"
#include "simlink/sim_guard.h"
#include "simlink/sim_link.h"
#include "simulator/stand_in.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_step.h"

using namespace vdl;
using fuzz::gf_expect;

namespace {

constexpr double userLat = 51.2895;
constexpr double userLon = 6.7668;
constexpr double elevationFt = 150.0;
constexpr size_t maxLines = 12;
constexpr uint32_t stepsPerLine = 100;      // one line a second
constexpr uint32_t stepsAfterLines = 1500;  // after the last is due: 15 s more

constexpr std::string_view dbaseXml = R"(<?xml version="1.0"?>
<dbase>
  <meta><info name="author" value="fuzz"/><info name="date" value="2026-12-07"/><info name="version" value="1.0.0"/></meta>
  <types><t icao="B738" cat="2" span="35.8"/><t icao="C172" cat="0" span="11"/><t icao="EC35" cat="5"/></types>
  <similar><group models="B738"/></similar>
  <ICAO_airlines><a icao="KLM"/><a icao="ZZZ"/><a icao="PVT"/></ICAO_airlines>
  <regs><r reg="PH-BXA" airl="KLM" type="B738"/></regs>
</dbase>
)";

// Loads the data base and a small catalogue once, in the scratch folder, with the log open.
bool lf_setUp() {
    gf_setProgramFaultHandlerForTests([](std::string_view text) {
        std::fprintf(stderr, "program fault: %.*s\n", static_cast<int>(text.size()), text.data());
        std::abort();
    });
    fuzz::InScratchDir in;
    std::filesystem::create_directories("input");
    std::filesystem::create_directories("output");
    fuzz::gf_writeFile("input/dbase.xml", dbaseXml);
    gf_loadDbase("input/dbase.xml");
    if (!gf_openLog("MSFS 2020", "Log.txt")) std::abort();
    gf_loadParameters();
    liveries = {{"KLM", "B738", "Boeing 737-800 KLM", "", 1, false},
                {"ZZZ", "C172", "Cessna 172 ZZZ", "", 1, false},
                {"ZZZ", "EC35", "EC135 ZZZ", "", 1, false}};
    gf_saveScannedLiveries();
    gf_processScannedLiveries();
    gf_closeLog();  // lines about outside input would only fill the folder
    return true;
}

std::shared_ptr<SimStandIn> lf_world() {
    auto sim = std::make_shared<SimStandIn>();
    sim->setFrameRate(100.0);
    sim->setTerrainElevation(elevationFt);
    sim->addAirport(userLat, userLon, 3.0, elevationFt);
    for (const char* title : {"Boeing 737-800 KLM", "Cessna 172 ZZZ", "EC135 ZZZ"}) sim->installTitle(title, {5.0, 0.01});
    UserKeyframe user;
    user.latitude = userLat;
    user.longitude = userLon;
    user.altitude = elevationFt + 5.0;
    user.onGround = true;
    sim->setUserScript({user});
    sim->startSim();
    return sim;
}

void lf_placeUser() {
    userAc = UserAcState{};
    userAc.latitude = userLat;
    userAc.longitude = userLon;
    userAc.altitude = elevationFt + 5.0;
    UserOnGround u;
    u.value = 1;
    u.known = true;
    u.latitude = userLat;
    u.longitude = userLon;
    userOnGround.store(u);
}

void lf_checkObjects(const SimStandIn& sim) {
    for (const StandInObject& o : sim.aiObjects()) {
        PositionUpdate p{o.latitude, o.longitude, o.pitch, o.bank, o.heading, o.altitude, o.verticalSpeed,
                         o.trueAirspeed, o.id};
        gf_expect(gf_unsoundValue(p).empty(), "an unsound value in the simulator");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = lf_setUp();
    (void)ready;
    const std::string_view text = fuzz::gf_text(data, size);

    gf_resetFeed();
    gf_resetSimLink();
    gf_resetTraffic();
    auto sim = lf_world();
    gf_setSimBackendProvider([sim] { return std::static_pointer_cast<SimBackend>(sim); });
    gf_installTrafficHooks();
    if (!gf_simLinkOpen()) std::abort();
    lf_placeUser();
    clock100 = 100000;

    // Line i arrives i seconds into the run, as the feed sends one a second; each is due the
    // feed's delay later.
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size() && lines.size() < maxLines;) {
        const size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    const uint32_t steps = static_cast<uint32_t>(lines.size()) * stepsPerLine + dueDelay + stepsAfterLines;
    for (uint32_t i = 0; i < steps; ++i) {
        if (i % stepsPerLine == 0 && i / stepsPerLine < lines.size()) {
            try {
                TrafficRecord r = gf_parseRttfc(lines[i / stepsPerLine], clock100.load());
                std::lock_guard lock(trafficMutex);
                trafficQueue.push_back(std::move(r));
            } catch (const std::exception&) {
                // a refused line
            }
        }
        try {
            gf_updateAI();
        } catch (const UserErrorException&) {
            break;
        }
        sim->step();
        gf_simLinkPoll();
        if (i % 100 == 0) lf_checkObjects(*sim);
    }
    lf_checkObjects(*sim);

    gf_resetSimLink();
    gf_resetTraffic();
    gf_resetFeed();
    return 0;
}
