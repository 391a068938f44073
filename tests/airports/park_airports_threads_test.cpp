// The park-airport list changed by three threads at once: the run worker's checks and re-reads,
// the DESTINATION choice and the link's store of the user's stand.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "airports/park_airport_state.h"
#include "foundation/text.h"
#include "park_airports_fixture.h"

namespace vdl::test {
namespace {

using ParkAirportThreads = ParkAirportsTest;

TEST_F(ParkAirportThreads, RunWorkerUiAndLinkThreadChangeTheListTogether) {
    const RefAirport dus = ref("EDDL");
    writeStandFile("EDDL", dus.lat, dus.lon, 4);
    writeList("EDDF\nEDDM\n");
    ASSERT_TRUE(gf_readMyParkAirports());
    placeUser(dus.lat, dus.lon, true);
    gf_checkForParkAirportUpdates(true);  // chooses EDDL
    gf_checkForParkAirportUpdates(false);  // loads it
    ASSERT_TRUE(parkingActive.load());

    constexpr int rounds = 150;
    std::atomic<bool> go{false};
    // The run worker: checks, the user's stand each tick, re-reads of the list.
    std::thread runWorker([&] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < rounds; ++i) {
            userAc.latitude = dus.lat + (i % 4) * 0.0009;
            gf_refreshUserStand();
            gf_checkForParkAirportUpdates(false);
            if (i % 10 == 0) {
                std::string message;
                gf_checkParkAirportsAndStands(true, message);
            }
        }
    });
    // The UI side: DESTINATION choices.
    std::thread ui([&] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < rounds; ++i) {
            const RefAirport a = ref(i % 3 == 0 ? "LSZH" : i % 3 == 1 ? "EDDM" : "EDDL");
            gf_selectParkAirport(a.code, a.lat, a.lon);
        }
    });
    // The link's thread: the user stands still on a stand.
    std::thread link([&] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < rounds; ++i) {
            const std::string stand = gf_userStandName();
            gf_saveUserStand(stand.empty() ? "A1" : stand);
            (void)gf_frontParkAirport();
        }
    });
    go = true;
    runWorker.join();
    ui.join();
    link.join();

    // Every line of the file names one airport once, in byte order.
    const std::vector<std::string> lines = gf_split(listFile(), '\n');
    std::set<std::string> codes;
    std::string previous;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        EXPECT_GT(line, previous);
        previous = line;
        const std::string code = gf_splitComma(line)[0];
        EXPECT_TRUE(codes.insert(code).second) << code << " twice:\n" << listFile();
    }
    EXPECT_TRUE(codes.count("EDDL") == 1 && codes.count("LSZH") == 1) << listFile();
    std::lock_guard lock(parkAirportListMutex);
    std::set<std::string> listed;
    for (const auto& p : parkAirports) EXPECT_TRUE(listed.insert(p.code).second) << p.code << " listed twice";
}

}  // namespace
}  // namespace vdl::test
