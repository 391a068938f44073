// The scan's report files, the removal of the previous ones and the data-base corrections.
#include "liveries/scan_reports.h"

#include <gtest/gtest.h>

#include "liveries/livery_regcodes.h"
#include "liveries/scan_env.h"

namespace vdl::test {
namespace {

using Lines = std::vector<std::string>;
using ScanReports = ScanEnv;

TEST_F(ScanReports, CorrectionsFromTheDataBase) {
    const struct {
        LiveryData before;
        LiveryData after;
        Lines lines;
    } cases[] = {
        {{"DLH", "A320", "no reg", "", 1, false}, {"DLH", "A320", "no reg", "", 1, false}, {}},
        {{"DLH", "A320", "unknown", "D-QQQQ", 1, false}, {"DLH", "A320", "unknown", "D-QQQQ", 1, false}, {}},
        // The operator wins over a valid airline; the variant without '-' is found too.
        {{"DLH", "A320", "operator", "DAIZX", 1, false},
         {"CLH", "A320", "operator", "DAIZX", 1, false},
         {fmt::format("{:80} DAIZX airl DLH => CLH", "operator")}},
        {{"DLH", "A320", "cargo", "D-AFRA", 1, false},
         {"FDX", "B77W", "cargo", "D-AFRA", 1, true},
         {fmt::format("{:80} D-AFRA cargo false => true", "cargo"), fmt::format("{:80} D-AFRA airl DLH => FDX", "cargo"),
          fmt::format("{:80} D-AFRA model A320 => B77W", "cargo")}},
        // An empty type of the data base leaves the model alone.
        {{"BAW", "A320", "empty type", "D-EMPT", 1, false},
         {"DLH", "A320", "empty type", "D-EMPT", 1, false},
         {fmt::format("{:80} D-EMPT airl BAW => DLH", "empty type")}},
    };
    for (const auto& c : cases) {
        dbaseCorrections.clear();
        LiveryData liv = c.before;
        gf_correctLiveryFromDbase(liv);
        EXPECT_EQ(liv, c.after) << c.before.title;
        EXPECT_EQ(liv.cargo, c.after.cargo) << c.before.title;
        EXPECT_EQ(dbaseCorrections, c.lines) << c.before.title;
    }
}

TEST_F(ScanReports, FilesSummariesAndRemoval) {
    // No finding: no file under output/errors, and "No errors".
    gf_writeScanReports();
    EXPECT_FALSE(std::filesystem::exists(errorsFolder));
    auto lines = newLogLines();
    EXPECT_TRUE(contains(lines, "No errors"));
    EXPECT_TRUE(contains(lines, "Information:"));

    gf_reportInvalidAirline("QQQ", "b/aircraft.cfg", "[fltsim.1]");
    gf_reportInvalidModel("X1", "a/aircraft.cfg");
    gf_reportInvalidModel("X0", "a/aircraft.cfg");
    gf_reportFix("second fix");
    gf_reportFix("first fix");
    gf_reportEmptyCfg("e/aircraft.cfg");
    dbaseCorrections.push_back("a correction");
    std::filesystem::remove_all("output/info");  // made again before it is written into
    gf_writeScanReports();
    lines = newLogLines();
    for (const char* line : {"Errors:", "1 invalid airline code, see output/errors/InvalidAirlineCodes.txt",
                             "2 invalid model codes, see output/errors/InvalidAircraftCodes.txt",
                             "2 code fixes, see output/errors/Fixes.txt",
                             "1 empty aircraft.cfg files, see output/info/AircraftCfgWithNoFltsimSection.txt",
                             "1 liveries updated with real live data from dbase, see "
                             "output/info/AirlineModelConversions.txt"})
        EXPECT_TRUE(contains(lines, line)) << line;
    EXPECT_EQ(readWholeFile("output/errors/InvalidAircraftCodes.txt"),
              "X0               in a/aircraft.cfg\nX1               in a/aircraft.cfg\n");
    EXPECT_EQ(readWholeFile("output/errors/Fixes.txt"), "second fix\nfirst fix\n");  // arrival order
    EXPECT_EQ(readWholeFile("output/errors/InvalidAirlineCodes.txt"), "QQQ          in b/aircraft.cfg [fltsim.1]\n");

    // A report that cannot be written says so.
    std::filesystem::remove("output/errors/Fixes.txt");
    std::filesystem::create_directories("output/errors/Fixes.txt/blocked");
    gf_writeScanReports();
    lines = newLogLines();
    EXPECT_TRUE(contains(lines, "===> 2 lines of output/errors/Fixes.txt could not be written"));
    EXPECT_FALSE(contains(lines, "2 code fixes, see output/errors/Fixes.txt"));
    std::filesystem::remove_all("output/errors/Fixes.txt");

    // The next scan removes them all, AirlineModelConversions.txt too, and the empty folder; the
    // catalogue stays until a new one replaces it.
    writeCatalogue({{"DLH", "A320", "Old", "", 0, false}});
    gf_removeOldScanReports();
    EXPECT_FALSE(std::filesystem::exists(errorsFolder));
    EXPECT_FALSE(std::filesystem::exists("output/info/AirlineModelConversions.txt"));
    EXPECT_FALSE(std::filesystem::exists("output/info/AircraftCfgWithNoFltsimSection.txt"));
    EXPECT_TRUE(std::filesystem::exists(scannedLiveriesPath));

    gf_takeScannedTitle("t");
    dontUseTitles.insert("u");
    gf_resetScanReports();
    EXPECT_EQ(invalidModelCodes.size() + modelFixes.size() + emptyCfgFiles.size() + dbaseCorrections.size(), 0u);
    EXPECT_TRUE(gf_takeScannedTitle("t"));
    EXPECT_TRUE(dontUseTitles.empty());
}

}  // namespace
}  // namespace vdl::test
