#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "files_fixture.h"
#include "refdata/dbase.h"

namespace vdl {
namespace {

using Dbase = test::RefFilesTest;
using test::writeWholeFile;

// Scan workers query while the start-up may load an updated data base.
TEST_F(Dbase, QueriesFromWorkersDuringAReload) {
    loadSample();
    const auto& oldFixes = fixes();  // a reader holding an earlier load's sets reads them unharmed
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i) {
        workers.emplace_back([&] {
            while (!stop.load()) {
                // both data sets know A320 as Large and DLH; D-AINA only in the sample
                if (!gf_isValidModel("A320") || gf_modelCategory("A320") != AircraftCategory::Large ||
                    !gf_isValidAirline("DLH"))
                    ++wrong;
                const auto reg = gf_regcodeData("DAINA");
                if (reg && reg->airl != "DLH") ++wrong;
                (void)gf_findPvtPrefix("Cessna D-EABC");
                (void)fixes().size();
            }
        });
    }
    for (int i = 0; i < 20; ++i) {
        writeWholeFile(
            "input/dbase.xml",
            i % 2
                ? test::sampleDbaseXml
                : R"(<dbase><types><t icao="A320" cat="2"/></types><ICAO_airlines><a icao="DLH"/></ICAO_airlines></dbase>)");
        gf_loadDbase();
    }
    stop = true;
    for (auto& w : workers) w.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(oldFixes.at("A320N"), "A20N");
}

}  // namespace
}  // namespace vdl
