// A working folder with the log open, a small data base and no park airport: the set-up of the
// stand-file tests, and builders of stand-file texts.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "airports/park_airport_state.h"
#include "airports/reset.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "refdata/dbase.h"
#include "refdata/reset.h"
#include "support/foundation_env.h"
#include "window/main_window.h"
#include "window/reset.h"

namespace vdl::test {

inline constexpr const char* standMeta =
    R"(<meta><info name="author" value="t"/><info name="date" value="2026-12-07"/><info name="version" value="1"/></meta>)";

// One stand-file text: the meta block (unless left out), the parameters given as name/value
// pairs, and the parkpos elements as given.
inline std::string standFileText(const std::vector<std::pair<std::string, std::string>>& parameters,
                                 const std::string& parkpos, bool meta = true, bool parkpositions = true) {
    std::string s = "<?xml version=\"1.0\"?>\n";
    if (meta) s += standMeta;
    s += "<parameters>";
    for (const auto& [name, value] : parameters)
        s += "<parameter name=\"" + name + "\" value=\"" + value + "\"/>";
    s += "</parameters>";
    if (parkpositions) s += "<parkpositions>" + parkpos + "</parkpositions>";
    return s + "\n";
}

inline std::string standElement(const std::string& id, double lat, double lon, double radiusM,
                                 const std::string& extra = "", const std::string& children = "") {
    return "<parkpos id=\"" + id + "\" latitude=\"" + std::to_string(lat) + "\" longitude=\"" + std::to_string(lon) +
           "\" heading=\"90\" radius=\"" + std::to_string(radiusM) + "\" " + extra + ">" + children + "</parkpos>";
}

class StandFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_resetRefdata();
        gf_resetAirports();
        gf_resetWindow();
        gf_resetParametersToDefaults();
        std::filesystem::create_directories("input");
        writeWholeFile("input/dbase.xml", R"(<dbase><meta><info name="author" value="t"/><info name="date" value="d"/>
<info name="version" value="1.0.0"/></meta><types><t icao="A320" cat="2"/></types><ICAO_airlines><a icao="DLH"/><a icao="CLH"/></ICAO_airlines>
<regs><r reg="D-AIZX" airl="DLH" type="A320" opr="CLH"/><r reg="PH-BXA" airl="KLM" type="B738"/></regs></dbase>)");
        gf_loadDbase();
        gf_openLog("test");
    }
    void TearDown() override {
        gf_closeLog();
        gf_resetAirports();
        gf_resetRefdata();
        gf_resetWindow();
        gf_resetParametersToDefaults();
    }
    static std::string log() { return readWholeFile("Log.txt"); }
    static void setParkAirport(const std::string& code) {
        std::lock_guard lock(parkAirportMutex);
        currentParkAirport.code = code;
    }
    TempWorkDir work;
};

}  // namespace vdl::test
