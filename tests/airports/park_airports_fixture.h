// The park-airport tests: a reference list of a few airports, stand files written on demand,
// the user aircraft placed by hand, and no park airport.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "airports/park_airport_choice.h"
#include "airports/park_airports.h"
#include "feed/traffic_reader.h"
#include "foundation/geo.h"
#include "refdata/airport_refs.h"
#include "simlink/sim_link.h"
#include "stand_fixture.h"

namespace vdl::test {

struct RefAirport {
    const char* code;
    const char* iata;
    double lat;
    double lon;
};
// EDDK lies 25 nm south-east of EDDL.
inline const std::vector<RefAirport> testRefAirports = {
    {"EDDF", "FRA", 50.0333, 8.5706}, {"EDDK", "CGN", 50.8659, 7.1427}, {"EDDL", "DUS", 51.2895, 6.7668},
    {"EDDM", "MUC", 48.3538, 11.7861}, {"EGLL", "LHR", 51.4706, -0.4619}, {"LSZH", "ZRH", 47.4581, 8.5481},
};

class ParkAirportsTest : public StandFilesTest {
  protected:
    void SetUp() override {
        StandFilesTest::SetUp();
        std::filesystem::create_directories("airports/my_thirdparty");
        writeRefs(testRefAirports);
        userAc = {};
        userOnGround.store({});
    }
    void TearDown() override {
        trafficReader.reset();
        userAc = {};
        userOnGround.store({});
        StandFilesTest::TearDown();
    }
    static void writeRefs(const std::vector<RefAirport>& airports) {
        std::string s = "<Airports>";
        for (const auto& a : airports)
            s += fmt::format("<airport ICAO=\"{}\" IATA=\"{}\" lat=\"{}\" lon=\"{}\" elev=\"100\"/>", a.code, a.iata,
                             a.lat, a.lon);
        writeWholeFile("input/airports_msfs.xml", s + "</Airports>");
        ASSERT_TRUE(gf_readAirportRefs("input/airports_msfs.xml"));
    }
    static void writeList(const std::string& bytes) { writeWholeFile(gf_myParkAirportsPath(), bytes); }
    static std::string listFile() { return readWholeFile(gf_myParkAirportsPath()); }
    static std::vector<std::string> listCodes() {
        std::lock_guard lock(parkAirportListMutex);
        std::vector<std::string> codes;
        for (const auto& p : parkAirports) codes.push_back(p.reservedStand.empty() ? p.code : p.code + "," + p.reservedStand);
        return codes;
    }
    // A stand file of `count` stands 100 m apart in airports/my_thirdparty, named A1, A2, ...
    static void writeStandFile(const std::string& code, double lat, double lon, int count, int qfReal = -1,
                               const std::string& firstName = "A1") {
        std::string stands;
        for (int i = 0; i < count; ++i)
            stands += standElement(i == 0 ? firstName : std::string("A").append(std::to_string(i + 1)), lat + i * 0.0009, lon, 20.0);
        std::vector<std::pair<std::string, std::string>> params = {
            {"airport_name", code + " Field"}, {"publisher", "stock"}, {"altitude", "150"}};
        if (qfReal >= 0) params.emplace_back("Qf_real", std::to_string(qfReal));
        writeWholeFile("airports/my_thirdparty/" + code + ".xml", standFileText(params, stands));
    }
    static void placeUser(double lat, double lon, bool onGround, double aglFt = 0.0) {
        userAc.latitude = lat;
        userAc.longitude = lon;
        userAc.altAboveGround = aglFt;
        userOnGround.store({onGround ? 1u : 0u, true, lat, lon, 0.0});
    }
    static RefAirport ref(const std::string& code) {
        for (const auto& a : testRefAirports)
            if (code == a.code) return a;
        return {};
    }
    // Loads the airport as the check does after choosing it.
    static std::string load(const std::string& code) {
        const RefAirport a = ref(code);
        {
            std::lock_guard lock(parkAirportMutex);
            currentParkAirport = {a.code, a.iata, a.lat, a.lon, 100.0};
        }
        return gf_readParkedFile();
    }
};

}  // namespace vdl::test
