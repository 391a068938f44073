// The add-on airport scan's set-up: a data base with publishers and archive lists, the airport
// reference list and names, and packages of BGL files written by the test writer.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "airports/airport_links.h"
#include "airports/airport_scan_log.h"
#include "refdata/airport_refs.h"
#include "refdata/download.h"
#include "refdata/hooks.h"
#include "standins/bgl_writer.h"
#include "stand_fixture.h"

namespace vdl::test {

namespace bw = bglwriter;

class AirportScanTest : public StandFilesTest {
  protected:
    static constexpr const char* unreachableServer = "http://127.0.0.1:1/";

    void SetUp() override {
        StandFilesTest::SetUp();
        writeWholeFile("input/dbase.xml", R"(<dbase><types><t icao="A320" cat="2"/></types>
<ICAO_airlines><a icao="DLH"/></ICAO_airlines>
<publishers><p name="FlyTampa" alias="flytampa"/><p name="Fly Tampa X" alias="flytampa-x"/>
<p name="TropicalSim" alias="tropicalsim"/></publishers>
<simaddons20 arpts="EGLL LFPG"/>
<thirdparties20><tp pub="FlyTampa" arpts="EKCH5 EGLL42 LOWW"/><tp pub="Fly Tampa X" arpts="LOWM10"/></thirdparties20>
<thirdparties24><tp pub="FlyTampa" arpts="EGLL42"/></thirdparties24></dbase>)");
        gf_loadDbase();
        writeWholeFile("input/airports_msfs.xml", R"(<Airports>
<airport ICAO="EDDM" IATA="MUC" lat="48.35" lon="11.78" elev="1487"/>
<airport ICAO="EGLL" IATA="LHR" lat="51.47" lon="-0.46" elev="83"/>
<airport ICAO="LFPG" IATA="CDG" lat="49.01" lon="2.55" elev="392"/>
<airport ICAO="LSZH" IATA="ZRH" lat="47.46" lon="8.55" elev="1416"/></Airports>)");
        ASSERT_TRUE(gf_readAirportRefs());
        writeWholeFile("input/airports_msfs_names.xml",
                       R"(<AirportNames><airport ICAO="EKCH" name="Copenhagen Kastrup"/></AirportNames>)");
        gf_setAirportsScanLogHook([](const std::string& line) { gf_addAirportsScanLog(line); });
        MSFS_2020.set(true);
        // An update server, so that links count; nothing of these tests fetches from it.
        gf_setServerBaseForTests(unreachableServer);
    }

    // <root>/<package>/scenery/<file> with the airports, and the package's manifest.json.
    static std::filesystem::path package(const std::filesystem::path& root, const std::string& name,
                                         const std::string& manifest, const std::string& file, const bw::File& bgl) {
        const std::filesystem::path pkg = root / name;
        std::filesystem::create_directories(pkg / "scenery");
        if (!manifest.empty()) writeWholeFile(pkg / "manifest.json", manifest);
        bw::gf_writeBgl(pkg / "scenery" / file, bgl);
        return pkg / "scenery" / file;
    }
    // A file whose only record marks an airport the program does not recognise.
    static bw::File notRecognisedFile() {
        bw::File f;
        f.sections.push_back(bw::gf_airportSection({bw::OtherRecord{0x0113, 16, std::nullopt}}));
        return f;
    }

    static bool has(const std::vector<std::string>& lines, const std::string& text) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }
};

}  // namespace vdl::test
