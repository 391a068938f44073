// The park-airport list and its file, the choice of the park airport, loading and leaving it.
#include <gtest/gtest.h>

#include <cmath>

#include "airports/park_airport_state.h"
#include "foundation/errors.h"
#include "foundation/utf8_path.h"
#include "park_airports_fixture.h"
#include "window/exit.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

using ParkAirportList = ParkAirportsTest;

TEST_F(ParkAirportList, FileLines) {
    struct Case {
        const char* name;
        std::string file;  // "-" for no file
        bool result;
        std::vector<std::string> list;
        std::vector<std::string> logged;
    };
    const std::vector<Case> cases = {
        {"bad lines",
         "EDDL\n\n  \r\n\r\nEGLL,A1,B2\nEDDL,5\nXXXX\nEDDF, A12 \n",
         false,
         {"EDDL", "EDDF,A12"},
         {"my_park_airports.txt:EGLL,A1,B2 wrong syntax, skipped", "my_park_airports.txt:EDDL double, skipped",
          "airport XXXX is unknown", "2 park airports read from \"my_park_airports.txt\""}},
        {"byte-order mark and CR LF", "\xEF\xBB\xBF" "EDDM\r\nEDDF,\r\n", true, {"EDDM", "EDDF"}, {}},
        {"UTF-16", std::string("\xFF\xFE" "E\0D\0D\0K\0,\0" "B\0\n\0", 16), true, {"EDDK,B"}, {"1 park airport read"}},
        {"missing file", "-", true, {}, {gf_utf8FromPath(fs::path("airports/my_park_airports.txt").make_preferred()) + " not found"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(gf_myParkAirportsPath());
        if (c.file != "-") writeList(c.file);
        EXPECT_EQ(gf_readMyParkAirports(), c.result);
        EXPECT_EQ(listCodes(), c.list);
        const std::string l = log();
        for (const auto& line : c.logged) EXPECT_NE(l.find(line), std::string::npos) << line << "\n" << l;
    }
}

TEST_F(ParkAirportList, ThirdpartyFilesAndDestinationFirst) {
    writeList("EDDF\nEDDM\n");
    writeWholeFile("airports/my_thirdparty/EDDK.xml", "x");
    writeWholeFile("airports/my_thirdparty/EDDF.txt", "x");  // listed already
    writeWholeFile("airports/my_thirdparty/ABCDE.xml", "x");
    fs::create_directories("airports/my_thirdparty/LSZH");
    EXPECT_TRUE(gf_readMyParkAirports());
    EXPECT_EQ(listCodes(), (std::vector<std::string>{"EDDF", "EDDM", "EDDK"}));
    EXPECT_NE(log().find("1 park airport added from my_thirdparty folder(-s) \n"), std::string::npos) << log();

    // A re-read keeps the DESTINATION airport first.
    DESTINATION.set("EDDM");
    EXPECT_TRUE(gf_readMyParkAirports());
    EXPECT_EQ(listCodes(), (std::vector<std::string>{"EDDM", "EDDF", "EDDK"}));
}

TEST_F(ParkAirportList, ManyAirportsWarning) {
    std::vector<RefAirport> refs;
    std::vector<std::string> names;
    std::string file;
    for (int i = 0; i < 3001; ++i) {
        names.push_back(fmt::format("K{}{}{}", char('A' + i / 676), char('A' + i / 26 % 26), char('A' + i % 26)));
        file += names.back() + "\n";
    }
    for (const auto& n : names) refs.push_back({n.c_str(), "", 40.0, -100.0});
    writeRefs(refs);
    writeList(file);
    EXPECT_TRUE(gf_readMyParkAirports());
    EXPECT_EQ(gf_parkAirportCount(), 3001u);
    EXPECT_NE(log().find("Warning: There are a lot of airports (3001) in my_park_airports.txt"), std::string::npos);

    writeList(file.substr(0, file.size() - 5));  // 3000
    gf_closeLog();
    fs::remove("Log.txt");
    gf_openLog("test");
    EXPECT_TRUE(gf_readMyParkAirports());
    EXPECT_EQ(gf_parkAirportCount(), 3000u);
    EXPECT_EQ(log().find("Warning"), std::string::npos);
}

TEST_F(ParkAirportList, SavingTheFrontEntry) {
    struct Case {
        const char* name;
        std::string before;  // "-" for no file
        std::string code;
        std::string stand;
        std::string after;
        std::string logged;
    };
    const std::vector<Case> cases = {
        {"created", "-", "EDDL", "", "EDDL\n", "my_park_airports.txt created with EDDL"},
        {"created with stand", "-", "EDDL", "B2", "EDDL,B2\n", "my_park_airports.txt created with EDDL,B2"},
        {"new entry sorted by bytes", "egll\nEGLL\nEDDF\r\n", "EDDM", "", "EDDF\nEDDM\nEGLL\negll\n",
         "my_park_airports.txt:EDDM new entry"},
        {"updated without stand", "EDDF\r\n", "EDDF", "", "EDDF,\n", "my_park_airports.txt:EDDF, updated stand"},
        {"byte-order mark, padded code", "\xEF\xBB\xBF" " EDDF \r\n\nEGLL\n", "EDDF", "A1", "EDDF,A1\nEGLL\n",
         "my_park_airports.txt:EDDF,A1 updated stand"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(gf_myParkAirportsPath());
        if (c.before != "-") writeList(c.before);
        {
            std::lock_guard lock(parkAirportListMutex);
            parkAirports = {{c.code, c.stand, 0.0, 0.0, 0.0}};
        }
        gf_saveParkAirportEntry();
        EXPECT_EQ(listFile(), c.after);
        EXPECT_NE(log().find(c.logged), std::string::npos) << log();
    }
}

TEST_F(ParkAirportList, SelectingMovesAListedAirportAndAddsANewOne) {
    writeList("EDDF\nEDDM\n");
    ASSERT_TRUE(gf_readMyParkAirports());
    gf_selectParkAirport("EDDM", 48.3538, 11.7861);
    EXPECT_EQ(listCodes(), (std::vector<std::string>{"EDDM", "EDDF"}));
    EXPECT_EQ(listFile(), "EDDF\nEDDM\n") << "a listed airport is not written";
    gf_selectParkAirport("LSZH", 47.4581, 8.5481);
    EXPECT_EQ(listCodes(), (std::vector<std::string>{"LSZH", "EDDM", "EDDF"}));
    EXPECT_EQ(listFile(), "EDDF\nEDDM\nLSZH\n");
}

TEST_F(ParkAirportList, DistancesFollowTheUserAndOnlyTheSortWaitsForDestination) {
    writeList("EDDF\nEDDK\nEDDL\n");
    ASSERT_TRUE(gf_readMyParkAirports());
    gf_updateParkAirportDistances(51.2, 6.8);
    EXPECT_EQ(listCodes(), (std::vector<std::string>{"EDDL", "EDDK", "EDDF"}));
    DESTINATION.set("EDDF");
    gf_selectParkAirport("EDDF", 50.0333, 8.5706);
    gf_updateParkAirportDistances(50.9, 7.1);
    EXPECT_EQ(listCodes().front(), "EDDF");
    std::lock_guard lock(parkAirportListMutex);
    for (const auto& p : parkAirports)
        EXPECT_NEAR(p.distance, gf_distanceNm({50.9, 7.1}, {p.lat, p.lon}), 1e-9) << p.code;
}

TEST_F(ParkAirportList, TheUsersStandGoesOnlyIntoTheParkAirportsOwnEntry) {
    writeList("EDDF\nEDDL\n");
    ASSERT_TRUE(gf_readMyParkAirports());
    gf_selectParkAirport("EDDF", 50.0333, 8.5706);
    setParkAirport("EDDL");
    gf_saveUserStand("A1");  // the front is another airport
    EXPECT_EQ(listCodes(), (std::vector<std::string>{"EDDF", "EDDL"}));
    EXPECT_EQ(listFile(), "EDDF\nEDDL\n");
    gf_selectParkAirport("EDDL", 51.2895, 6.7668);
    gf_saveUserStand("A1");
    gf_saveUserStand("A1");  // unchanged: not written again
    EXPECT_EQ(listCodes(), (std::vector<std::string>{"EDDL,A1", "EDDF"}));
    EXPECT_EQ(listFile(), "EDDF\nEDDL,A1\n");
    const std::string l = log();
    EXPECT_EQ(l.find("EDDL,A1 updated stand"), l.rfind("EDDL,A1 updated stand"));
}

using ParkAirportChoice = ParkAirportsTest;

// The latitude north of the airport at which its distance is at most nm, one step further more.
double lf_boundaryLatitude(const RefAirport& a, double nm) {
    double lo = a.lat, hi = a.lat + 1.0;
    for (int i = 0; i < 200; ++i) {
        const double mid = (lo + hi) / 2.0;
        (gf_distanceNm({mid, a.lon}, {a.lat, a.lon}) <= nm ? lo : hi) = mid;
    }
    return lo;
}

TEST_F(ParkAirportChoice, InTheAirAtTheBoundariesOfRangeAndHeight) {
    writeList("LSZH\n");
    ASSERT_TRUE(gf_readMyParkAirports());
    const RefAirport zurich = ref("LSZH");
    const double edge = lf_boundaryLatitude(zurich, AIRPORT_RANGE.value());
    struct Case {
        const char* name;
        double lat;
        double agl;
        bool chosen;
    };
    const std::vector<Case> cases = {
        {"exactly at range and height", edge, double(AIRPORT_HEIGHT.value()), true},
        {"one foot higher", edge, AIRPORT_HEIGHT.value() + 1.0, false},
        {"just beyond range", std::nextafter(edge, 90.0), 1000.0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gf_resetParkAirport();
        placeUser(c.lat, zurich.lon, false, c.agl);
        gf_checkForParkAirportUpdates(false);
        EXPECT_EQ(gf_parkAirportCode(), c.chosen ? "LSZH" : "");
        EXPECT_EQ(loadPending, c.chosen);
    }
    EXPECT_NE(log().find("LSZH in sight at 20.0 nm"), std::string::npos) << log();
    EXPECT_NE(log().find("The park airport is LSZH (ZRH)"), std::string::npos);
}

TEST_F(ParkAirportChoice, NullPositionGivesNoChoice) {
    writeList("LSZH\n");
    ASSERT_TRUE(gf_readMyParkAirports());
    placeUser(0.0005, 0.01, false, 100.0);
    gf_checkForParkAirportUpdates(true);
    EXPECT_EQ(gf_parkAirportCode(), "");
    std::lock_guard lock(parkAirportListMutex);
    EXPECT_EQ(parkAirports.front().distance, 0.0) << "no distance is measured from the null position";
}

TEST_F(ParkAirportChoice, OnTheGroundTheClosestAirportWithItsStandsIsLoaded) {
    const RefAirport dus = ref("EDDL");
    writeStandFile("EDDL", dus.lat, dus.lon, 3);
    writeList("LSZH,C3\n");
    ASSERT_TRUE(gf_readMyParkAirports());
    placeUser(dus.lat + 0.0009, dus.lon, true);  // on stand A2
    gf_checkForParkAirportUpdates(true);
    EXPECT_EQ(gf_parkAirportCode(), "EDDL");
    EXPECT_TRUE(loadPending);
    EXPECT_EQ(mainWindow.statusLine(), "Calculating static parked aircraft ...");
    EXPECT_TRUE(trafficReader.collecting());

    gf_checkForParkAirportUpdates(false);
    EXPECT_FALSE(loadPending);
    EXPECT_TRUE(parkingActive.load());
    EXPECT_EQ(parkPositions.size(), 3u);
    EXPECT_EQ(listCodes(), (std::vector<std::string>{"EDDL,A2", "LSZH,C3"}));
    EXPECT_EQ(listFile(), "EDDL,A2\nLSZH,C3\n");
    EXPECT_EQ(reservedStand, "A2");
    EXPECT_EQ(mainWindow.value(WindowArea::Statistics, "park airport"), "EDDL (DUS)");
    EXPECT_EQ(mainWindow.value(WindowArea::Statistics, "airport"), "EDDL Field");
    const std::string l = log();
    EXPECT_NE(l.find("User aircraft on the ground at EDDL\n"), std::string::npos) << l;
    EXPECT_NE(l.find("Airport file read from \"airports/my_thirdparty/EDDL.xml\" for EDDL Field"), std::string::npos);

    // On the ground nothing is left, however far the list's front.
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(gf_parkAirportCode(), "EDDL");
}

TEST_F(ParkAirportChoice, OnTheGroundWithoutStandFileNothingIsChosenAndTheLogSaysItOnce) {
    const RefAirport cgn = ref("EDDK");
    placeUser(cgn.lat, cgn.lon, true);
    for (int i = 0; i < 3; ++i) gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(gf_parkAirportCode(), "");
    const std::string l = log();
    const std::string line = "User aircraft on the ground at EDDK, no airport file found";
    EXPECT_NE(l.find(line), std::string::npos) << l;
    EXPECT_EQ(l.find(line), l.rfind(line));
    placeUser(10.0, 10.0, true);
    gf_checkForParkAirportUpdates(false);
    EXPECT_NE(log().find("User aircraft on the ground, no airport in sight"), std::string::npos);
}

class ParkAirportLeaving : public ParkAirportsTest {
  protected:
    void SetUp() override {
        ParkAirportsTest::SetUp();
        writeStandFile("EDDL", ref("EDDL").lat, ref("EDDL").lon, 2);
        writeList("EDDK\nEDDL\n");
        ASSERT_TRUE(gf_readMyParkAirports());
        placeUser(ref("EDDL").lat, ref("EDDL").lon, false, 3000.0);
        gf_updateParkAirportDistances(userAc.latitude, userAc.longitude);
        ASSERT_EQ(load("EDDL"), "");
    }
    static bool learnedFileWritten() { return fs::exists("airports/learned/stock/EDDL.xml"); }
};

TEST_F(ParkAirportLeaving, InSightAndFirstNothingHappens) {
    placeUser(ref("EDDL").lat - 0.1, ref("EDDL").lon, false, 3000.0);
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(gf_parkAirportCode(), "EDDL");
    EXPECT_TRUE(parkingActive.load());
}

TEST_F(ParkAirportLeaving, ANearerListedAirportTakesOver) {
    for (int updates : {0, 2}) {
        SCOPED_TRACE(updates);
        if (gf_parkAirportCode().empty()) {
            ASSERT_EQ(load("EDDL"), "");
        }
        updateCount = updates;
        // 16 nm from EDDL, 13 from EDDK: both in sight, EDDK nearer.
        const RefAirport dus = ref("EDDL"), cgn = ref("EDDK");
        // The load put EDDL first; the next move sorts the list again.
        const double f = 0.55 + updates * 0.001;
        placeUser(dus.lat + f * (cgn.lat - dus.lat), dus.lon + f * (cgn.lon - dus.lon), false, 3000.0);
        gf_checkForParkAirportUpdates(false);
        EXPECT_EQ(gf_parkAirportCode(), "");
        EXPECT_FALSE(parkingActive.load());
        EXPECT_TRUE(parkPositions.empty());
        EXPECT_NE(log().find("EDDK is in sight ("), std::string::npos) << log();
        EXPECT_NE(log().find("parked aircraft at EDDL (DUS) will be removed first"), std::string::npos);
        EXPECT_EQ(learnedFileWritten(), updates > 0) << "saved only when something was learned";
        gf_checkForParkAirportUpdates(false);
        EXPECT_EQ(gf_parkAirportCode(), "EDDK");
        gf_resetParkAirport();
    }
}

TEST_F(ParkAirportLeaving, OutOfSightIsMeasuredFromTheParkAirport) {
    {
        // The list's front (the nearest) says nothing about the park airport's own distance.
        std::lock_guard lock(parkAirportListMutex);
        parkAirports.clear();
    }
    parametersChanged = true;
    trafficReader.setAirportElevation(150.0);
    placeUser(ref("EDDL").lat + 0.5, ref("EDDL").lon, false, 3000.0);
    gf_checkForParkAirportUpdates(false);
    EXPECT_EQ(gf_parkAirportCode(), "");
    EXPECT_NE(log().find("EDDL (DUS) is out of sight (30.0 nm), parked aircraft will be removed"), std::string::npos)
        << log();
    EXPECT_TRUE(learnedFileWritten()) << "a changed parameter is saved";
    EXPECT_FALSE(trafficReader.airportElevation().has_value());
    EXPECT_EQ(mainWindow.value(WindowArea::Statistics, "park airport"), "");
}

using ParkAirportLoad = ParkAirportsTest;

TEST_F(ParkAirportLoad, LearnSoftRuleAtQualityFactor45And20Stands) {
    struct Case {
        int qf;
        int stands;
        bool allowed;
    };
    for (const Case c : {Case{45, 20, false}, Case{44, 20, true}, Case{45, 19, true}}) {
        SCOPED_TRACE(fmt::format("{} {}", c.qf, c.stands));
        writeStandFile("EDDL", 51.28, 6.75, c.stands, c.qf);
        LEARN_SOFT.set(true);
        LEARN_SOFT.setEnabled(true);
        parametersChanged = false;
        ASSERT_EQ(load("EDDL"), "");
        EXPECT_EQ(learnSoftAllowed, c.allowed);
        EXPECT_EQ(LEARN_SOFT.value(), c.allowed);
        EXPECT_EQ(LEARN_SOFT.enabled(), c.allowed);
        EXPECT_EQ(parametersChanged, !c.allowed);
        gf_clearParkAirportState();
        fs::remove_all("airports/learned");  // it holds the switched LEARN_SOFT
    }
}

TEST_F(ParkAirportLoad, ErrorsOfTheStandFileForgetTheAirport) {
    struct Case {
        const char* name;
        std::string file;
        std::string error;
    };
    const std::string twice = standElement("A1", 51.28, 6.75, 20.0) + standElement("A1", 51.281, 6.75, 20.0);
    const std::vector<Case> cases = {
        {"repeated stand", standFileText({{"altitude", "150"}}, twice), "94: Parking position A1 appears more than once?"},
        {"no altitude", standFileText({}, twice), "65: Parameter altitude not found"},
        {"no stands", standFileText({{"altitude", "150"}}, "", true, false), "no stands found"},
        {"no file", "-", "lf_readParkedFile EDDL not found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove("airports/my_thirdparty/EDDL.xml");
        if (c.file != "-") writeWholeFile("airports/my_thirdparty/EDDL.xml", c.file);
        mainWindow.clearStatusLine();
        EXPECT_EQ(load("EDDL"), c.error);
        EXPECT_EQ(gf_parkAirportCode(), "");
        EXPECT_FALSE(parkingActive.load());
        EXPECT_TRUE(parkPositions.empty());
        EXPECT_EQ(mainWindow.statusLine(), c.error);
        EXPECT_EQ(gf_parkAirportCount(), 0u) << "a failed load lists nothing";
    }
}

TEST_F(ParkAirportLoad, StandNameAnswerIsNotStaleAfterAReload) {
    const RefAirport dus = ref("EDDL");
    placeUser(dus.lat, dus.lon, true);
    writeStandFile("EDDL", dus.lat, dus.lon, 2, -1, "A1");
    ASSERT_EQ(load("EDDL"), "");
    EXPECT_EQ(gf_standNameAtPosition(dus.lat, dus.lon), "A1");
    EXPECT_EQ(gf_standNameAtPosition(dus.lat + 0.0004, dus.lon), "A1") << "44 m from A1, 56 m from A2";
    EXPECT_EQ(gf_standNameAtPosition(dus.lat, dus.lon + 0.001), "") << "70 m from A1";
    writeStandFile("EDDL", dus.lat, dus.lon, 2, -1, "Z9");
    ASSERT_EQ(load("EDDL"), "");
    EXPECT_EQ(gf_standNameAtPosition(dus.lat, dus.lon), "Z9");
    gf_clearParkAirportState();
    EXPECT_EQ(gf_standNameAtPosition(dus.lat, dus.lon), "");
    userOnGround.store({0, true, dus.lat, dus.lon, 0.0});
    ASSERT_EQ(load("EDDL"), "");
    EXPECT_EQ(gf_standNameAtPosition(dus.lat, dus.lon), "") << "airborne";
}

TEST_F(ParkAirportLoad, ReservedStandOfAnotherAirportReservesNothing) {
    const RefAirport dus = ref("EDDL");
    writeStandFile("EDDL", dus.lat, dus.lon, 2);
    writeList("EDDF,A2\n");
    ASSERT_TRUE(gf_readMyParkAirports());
    reservedStand = "A2";
    reservedStandShown = true;
    placeUser(dus.lat + 0.01, dus.lon, true);  // on no stand
    ASSERT_EQ(load("EDDL"), "");
    EXPECT_EQ(listCodes(), (std::vector<std::string>{"EDDL", "EDDF,A2"}));
    EXPECT_EQ(reservedStand, "");
    EXPECT_FALSE(reservedStandShown);
    gf_clearParkAirportState();

    writeList("EDDF\nEDDL,A2\n");
    ASSERT_TRUE(gf_readMyParkAirports());
    ASSERT_EQ(load("EDDL"), "");
    EXPECT_EQ(listCodes(), (std::vector<std::string>{"EDDL,A2", "EDDF"})) << "moved, not inserted twice";
    EXPECT_EQ(listFile(), "EDDF\nEDDL,A2\n");
    EXPECT_EQ(reservedStand, "A2");
    EXPECT_TRUE(reservedStandShown);
    EXPECT_EQ(mainWindow.value(WindowArea::Statistics, "reserved stand"), "A2");
}

TEST_F(ParkAirportLoad, ChangedReservedStandIsTakenOver) {
    const RefAirport dus = ref("EDDL");
    writeStandFile("EDDL", dus.lat, dus.lon, 3);
    writeList("EDDL,A1\n");
    ASSERT_TRUE(gf_readMyParkAirports());
    placeUser(dus.lat + 0.01, dus.lon, true);
    ASSERT_EQ(load("EDDL"), "");
    int removals = 0;
    ParkAirportHooks hooks;
    hooks.removeAircraftOnReservedStand = [&] { ++removals; };
    gf_setParkAirportHooks(hooks);
    std::string message;
    gf_checkParkAirportsAndStands(true, message);
    EXPECT_EQ(message, "park airports and stands are okay");

    writeList("EDDL,A3\n");  // the user parked on A3, as the link wrote it
    message.clear();
    gf_checkParkAirportsAndStands(true, message);
    EXPECT_EQ(message, "reserved stand changed from \"A1\" to \"A3\"");
    EXPECT_EQ(reservedStand, "A3");
    EXPECT_EQ(removals, 1);
    EXPECT_EQ(parkPositions[2].reserved, 1);

    writeList("EDDL,A2\nXXXX\n");
    message.clear();
    gf_checkParkAirportsAndStands(true, message);
    EXPECT_EQ(message, "") << "an unknown airport stops the check";
}

TEST_F(ParkAirportLoad, LeavingRestoresMaxLiveAndCallsTheTrafficManager) {
    std::vector<std::string> calls;
    ParkAirportHooks hooks;
    hooks.clearStaticCandidates = [&] { calls.push_back("candidates"); };
    hooks.removeAllStaticAc = [&] { calls.push_back("static"); };
    hooks.releaseParkedLiveAc = [&] { calls.push_back("live"); };
    hooks.enforceMaxLiveAc = [&] { calls.push_back("max live"); };
    hooks.parkAirportChanged = [&] { calls.push_back("changed"); };
    gf_setParkAirportHooks(hooks);
    runMaxLive = 40;
    MAX_LIVE.set(12);  // from the airport's learned file
    gf_resetParkAirport();
    EXPECT_EQ(MAX_LIVE.value(), 40);
    EXPECT_EQ(calls, (std::vector<std::string>{"candidates", "static", "live", "changed", "max live"}));
    calls.clear();
    gf_resetParkAirport();
    EXPECT_EQ(calls, (std::vector<std::string>{"candidates", "static", "live", "changed"}));
}

}  // namespace
}  // namespace vdl::test
