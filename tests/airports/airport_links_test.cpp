// What the scan makes of one BGL file: archive links (simaddon, thirdparty), generated stand files,
// and the TBLO entries of airports the program does not recognise.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "airport_scan_fixture.h"
#include "airports/airport_scan_walk.h"
#include "airports/stand_file.h"
#include "foundation/utf8_path.h"
#include "window/exit.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

class AirportLinks : public AirportScanTest {
  protected:
    // Reads one file as a scan worker does; answers the scan-log lines it gave.
    static std::vector<std::string> scan(const fs::path& bgl) {
        gf_toParkingPositions(bgl);
        return gf_takeAirportsScanLog();
    }
    static pugi::xml_document load(const fs::path& file) {
        pugi::xml_document doc;
        EXPECT_TRUE(doc.load_file(file.c_str())) << file;
        return doc;
    }
    const fs::path community = work.path() / "Community";
    const fs::path thirdparty = fs::path("airports") / "my_thirdparty";
    const fs::path simaddonFolder = fs::path("airports") / "my_simaddon";
};

TEST_F(AirportLinks, NumberAfterPrefix) {
    struct Case {
        const char* entry;
        bool matches;
        int32_t count;
        const char* error;  // in the log, when not empty
    } cases[] = {
        {"EGLL42", true, 42, ""},
        {"EGLL 12x", true, 12, ""},
        {"EGLL-3", true, -3, ""},
        {"EGLL", true, 7, "FlyTampa EGLL EGLL invalid stoi argument"},
        {"EGLLabc", true, 7, "FlyTampa EGLL EGLLabc invalid stoi argument"},
        {"EGLL99999999999", true, 7, "FlyTampa EGLL EGLL99999999999 stoi argument out of range"},
        {"EGLX42", false, 7, ""},
        {"egll42", false, 7, ""},
    };
    for (const auto& c : cases) {
        int32_t count = 7;
        EXPECT_EQ(gf_numberAfterPrefix("FlyTampa", "EGLL", count, c.entry), c.matches) << c.entry;
        EXPECT_EQ(count, c.count) << c.entry;
        if (*c.error != '\0') {
            EXPECT_NE(log().find(c.error), std::string::npos) << c.entry;
        }
    }
}

TEST_F(AirportLinks, SimaddonLinkedOrGenerated) {
    auto lines = scan(package(community, "microsoft-airport-egll", "{}", "egll.bgl",
                              bw::gf_airportFile({bw::gf_sampleAirport("EGLL", 3)})));
    EXPECT_EQ(readWholeFile(simaddonFolder / "EGLL.txt"), "archive/simaddon/EGLL.xml\n");
    EXPECT_TRUE(has(lines, "simaddon airport EGLL linked to archive/simaddon/EGLL.xml"));
    EXPECT_FALSE(fs::exists(simaddonFolder / "EGLL.xml"));  // a simaddon never has more than its archive
    EXPECT_TRUE(airportsGenerated.load());

    airportsGenerated = false;
    lines = scan(package(community, "asobo-airport-kjfk", "{}", "kjfk.bgl",
                         bw::gf_airportFile({bw::gf_sampleAirport("KJFK", 4, 3)})));
    EXPECT_TRUE(has(lines, "KJFK does not exist as simaddon"));
    EXPECT_FALSE(has(lines, "parkpos while archived"));
    EXPECT_TRUE(has(lines, "Generated KJFK.xml: 7 positions, of which 3 helipads"));
    EXPECT_FALSE(fs::exists(simaddonFolder / "KJFK.txt"));
    const auto doc = load(simaddonFolder / "KJFK.xml");
    EXPECT_EQ(gf_apfIntValue(doc, "num_parkpos"), 7);
    EXPECT_EQ(gf_apfStringValue(doc, "publisher"), "simaddon");
    EXPECT_FALSE(gf_apfStringValue(doc, "BGLpath"));
    EXPECT_TRUE(airportsGenerated.load());
}

// Once the program stops, the airports left in the file in hand are not read.
TEST_F(AirportLinks, AStopRequestEndsTheFileInHand) {
    const fs::path bgl = package(community, "asobo-airport-kjfk", "{}", "two.bgl",
                                 bw::gf_airportFile({bw::gf_sampleAirport("KJFK", 4), bw::gf_sampleAirport("KLGA", 4)}));
    userClosed = true;
    scan(bgl);
    userClosed = false;
    EXPECT_FALSE(fs::exists(simaddonFolder / "KJFK.xml"));
    EXPECT_FALSE(fs::exists(simaddonFolder / "KLGA.xml"));
    scan(bgl);
    EXPECT_TRUE(fs::exists(simaddonFolder / "KJFK.xml"));
    EXPECT_TRUE(fs::exists(simaddonFolder / "KLGA.xml"));
}

TEST_F(AirportLinks, ThirdpartyWithMoreStandsThanTheArchiveUnder2020And2024) {
    const bw::File file = bw::gf_airportFile({bw::gf_sampleAirport("EGLL", 50, 1)});
    const fs::path bgl = package(community, "flytampa-egll", R"({"title":"London"})", "egll.bgl", file);
    for (const bool msfs2020 : {true, false}) {
        fs::remove_all("airports");
        MSFS_2020.set(msfs2020);
        const auto lines = scan(bgl);
        EXPECT_EQ(readWholeFile(thirdparty / "EGLL.txt"), "archive/thirdparty/FlyTampa/EGLL.xml\n");
        EXPECT_TRUE(has(lines, "thirdparty airport EGLL linked to archive/thirdparty/FlyTampa/EGLL.xml"));
        EXPECT_EQ(has(lines, "===> EGLL has 51 parkpos while archived one has 42"), msfs2020);
        EXPECT_EQ(has(lines, "Generated EGLL.xml: 51 positions, of which 1 helipad"), msfs2020);
        EXPECT_EQ(fs::exists(thirdparty / "EGLL.xml"), msfs2020);
    }
    // Stands sorted by name, byte-wise; the airport's name from the names list; known publisher.
    MSFS_2020.set(true);
    fs::remove_all("airports");
    gf_readAirportNames();
    scan(package(community, "flytampa-ekch", "{}", "ekch.bgl", bw::gf_airportFile({bw::gf_sampleAirport("EKCH", 12)})));
    gf_clearAirportNames();
    const auto doc = load(thirdparty / "EKCH.xml");
    EXPECT_EQ(gf_apfStringValue(doc, "airport_name"), "Copenhagen Kastrup");
    std::vector<std::string> ids;
    for (const auto& p : doc.child("parkpositions").children("parkpos")) ids.push_back(p.attribute("id").value());
    EXPECT_EQ(ids, (std::vector<std::string>{"g1", "g10", "g11", "g12", "g2", "g3", "g4", "g5", "g6", "g7", "g8", "g9"}));
}

TEST_F(AirportLinks, BlanksOfThePublisherAndUnknownPublishers) {
    scan(package(community, "flytampa-x-lowm", "{}", "lowm.bgl", bw::gf_airportFile({bw::gf_sampleAirport("LOWM", 4)})));
    EXPECT_EQ(readWholeFile(thirdparty / "LOWM.txt"), "archive/thirdparty/Fly%20Tampa%20X/LOWM.xml\n");
    EXPECT_FALSE(fs::exists(thirdparty / "LOWM.xml"));

    // Only the four letters: linked with an archived count of 0 after an error line, so written too.
    const auto lines =
        scan(package(community, "flytampa-loww", "{}", "loww.bgl", bw::gf_airportFile({bw::gf_sampleAirport("LOWW", 2)})));
    EXPECT_NE(log().find("FlyTampa LOWW LOWW invalid stoi argument"), std::string::npos);
    EXPECT_TRUE(has(lines, "===> LOWW has 2 parkpos while archived one has 0"));
    EXPECT_TRUE(fs::exists(thirdparty / "LOWW.txt") && fs::exists(thirdparty / "LOWW.xml"));

    const fs::path bgl = package(community, "someone-abcd", R"({"manufacturer":"Nobody","creator":"Noone"})", "abcd.bgl",
                                 bw::gf_airportFile({bw::gf_sampleAirport("ABCD", 2)}));
    scan(bgl);
    const auto doc = load(thirdparty / "ABCD.xml");
    EXPECT_EQ(gf_apfStringValue(doc, "publisher"), "unknown");
    EXPECT_EQ(gf_apfStringValue(doc, "BGLpath"), bgl.string());  // the whole path for an unknown publisher
    EXPECT_EQ(gf_apfStringValue(doc, "manufacturer"), "Nobody");
    EXPECT_FALSE(fs::exists(thirdparty / "ABCD.txt"));
}

TEST_F(AirportLinks, ALinkThatCannotBeWrittenIsNoLink) {
    fs::create_directories(thirdparty / "EGLL.txt");  // a folder in the link file's place
    const auto lines =
        scan(package(community, "flytampa-egll", "{}", "egll.bgl", bw::gf_airportFile({bw::gf_sampleAirport("EGLL", 3)})));
    EXPECT_TRUE(has(lines, "link file " + gf_utf8FromPath(thirdparty / "EGLL.txt") + " could not be written"));
    EXPECT_FALSE(has(lines, "linked to"));
    EXPECT_TRUE(fs::exists(thirdparty / "EGLL.xml"));
}

TEST_F(AirportLinks, NotRecognisedAirports) {
    MSFS_2020.set(false);
    struct Case {
        const char* package;
        const char* manifest;
        const char* file;
        const char* line;   // the scan-log line that names the code
        const char* entry;  // TBLO entry made, or ""
    } cases[] = {
        {"flytampa-zurich", R"({"title":"Zurich"})", "lszh.bgl", "Not recognised airport has ICAO code \"LSZH\" as BGL stem",
         "LSZH.xml"},
        {"someone-munich", R"({"title":"EDDM Munich","creator":"Someone"})", "scenery.bgl",
         "Not recognised airport has ICAO \"EDDM\" in title \"EDDM Munich\" of manifest", "EDDM.xml"},
        {"pkg-lfpg-paris", R"({"title":"Paris"})", "scenery.bgl", "Not recognised airport has ICAO \"LFPG\" in BGL path",
         "LFPG.xml"},
        {"pkg-nothing", R"({"title":"Somewhere"})", "scenery.bgl", "==================> Not recognised airport lost ...", ""},
        {"pkg-nomanifest", "", "scenery.bgl", "==> Not recognised airport", ""},
        {"microsoft-heathrow", "{}", "egll.bgl", "simaddon airport EGLL linked to", ""},
    };
    for (const auto& c : cases) {
        fs::remove_all("TBLO");
        tbloCount = 0;
        const fs::path bgl = package(community, c.package, c.manifest, c.file, notRecognisedFile());
        const auto lines = scan(bgl);
        EXPECT_TRUE(has(lines, c.line)) << c.package;
        if (*c.entry != '\0') {
            EXPECT_TRUE(has(lines, std::string("==> TBLO entry ") + c.entry + " created ")) << c.package;
            EXPECT_EQ(tbloCount.load(), 1) << c.package;
            const std::string text = readWholeFile(fs::path("TBLO") / c.entry);
            EXPECT_TRUE(text.starts_with(bgl.string() + "\n" + std::string(c.entry, 4) + " by ")) << text;
            EXPECT_EQ(text.back(), '\n');
        } else {
            EXPECT_FALSE(fs::exists("TBLO") && !fs::is_empty("TBLO")) << c.package;
            EXPECT_EQ(tbloCount.load(), 0) << c.package;
        }
    }
    // Under MSFS 2020 the record is stepped over.
    MSFS_2020.set(true);
    EXPECT_FALSE(has(scan(community / "pkg-lfpg-paris/scenery/scenery.bgl"), "Not recognised"));
}

TEST_F(AirportLinks, ATbloEntryThatCannotBeWrittenIsNotCounted) {
    MSFS_2020.set(false);
    fs::create_directories("TBLO/EDDM.xml/inside");
    const auto lines = scan(package(community, "someone-munich", R"({"title":"EDDM Munich"})", "scenery.bgl", notRecognisedFile()));
    EXPECT_TRUE(has(lines, "===> TBLO entry EDDM.xml could not be written"));
    EXPECT_FALSE(has(lines, "created"));
    EXPECT_EQ(tbloCount.load(), 0);
}

// With no update server a link cannot be fetched: the airport is read and its generated file
// written as for an airport without archive, under both simulators, and the link is still written
// for a server set later.
TEST_F(AirportLinks, WithoutAServerALinkedAirportIsReadWrittenAndStillLinked) {
    gf_setServerBaseForTests("");
    struct Case {
        const char* packageName;
        const char* icao;
        fs::path folder;
        const char* link;
    } cases[] = {
        {"flytampa-egll", "EGLL", thirdparty, "archive/thirdparty/FlyTampa/EGLL.xml\n"},
        {"microsoft-airport-lfpg", "LFPG", simaddonFolder, "archive/simaddon/LFPG.xml\n"},
    };
    for (const auto& c : cases) {
        const fs::path bgl =
            package(community, c.packageName, "{}", "a.bgl", bw::gf_airportFile({bw::gf_sampleAirport(c.icao, 3)}));
        for (const bool msfs2020 : {true, false}) {
            fs::remove_all("airports");
            MSFS_2020.set(msfs2020);
            const auto lines = scan(bgl);
            EXPECT_EQ(readWholeFile(c.folder / (std::string(c.icao) + ".txt")), c.link) << c.icao << msfs2020;
            EXPECT_TRUE(has(lines, std::string("Generated ") + c.icao + ".xml: 3 positions")) << c.icao << msfs2020;
            const auto doc = load(c.folder / (std::string(c.icao) + ".xml"));
            EXPECT_EQ(gf_apfIntValue(doc, "num_parkpos"), 3) << c.icao << msfs2020;
        }
    }
}

// Two BGL files of one airport in one package: whichever worker ends first, the generated file
// is that of the path that sorts last, and the scan log says which was passed over.
TEST_F(AirportLinks, TheSameAirportTwiceKeepsThePathThatSortsLast) {
    const std::string manifest = R"({"manufacturer":"Nobody","creator":"Noone"})";
    const fs::path first = package(community, "someone-abcd", manifest, "abcd.bgl",
                                   bw::gf_airportFile({bw::gf_sampleAirport("ABCD", 4)}));
    const fs::path last = package(community / "someone-abcd", "test", "", "abcd.bgl",
                                  bw::gf_airportFile({bw::gf_sampleAirport("ABCD", 2)}));
    ASSERT_LT(first.string(), last.string());
    const auto stands = [this] { return gf_apfIntValue(load(thirdparty / "ABCD.xml"), "num_parkpos"); };
    for (const bool lastFirst : {false, true}) {
        fs::remove_all("airports");
        gf_clearGeneratedStandFiles();
        scan(lastFirst ? last : first);
        const auto lines = scan(lastFirst ? first : last);
        EXPECT_EQ(stands(), 2) << lastFirst;
        const std::string said = lastFirst ? "ABCD.xml of \"" + first.string() + "\" passed over: the one of \"" +
                                                 last.string() + "\" is kept, the path that sorts last wins"
                                           : "ABCD.xml of \"" + last.string() + "\" replaces the one of \"" +
                                                 first.string() + "\": the path that sorts last wins";
        EXPECT_TRUE(has(lines, said)) << lastFirst;
        EXPECT_EQ(has(lines, "Generated ABCD.xml"), !lastFirst);
    }
    // A new scan forgets the old one's files.
    gf_clearGeneratedStandFiles();
    scan(first);
    EXPECT_EQ(stands(), 4);
}

}  // namespace
}  // namespace vdl::test
