// Saving learned stand files: what is left out, the publisher folder, the messages, the rule of
// when leaving the park airport saves, and a learned change read back at the next load.
#include "airports/stand_save.h"

#include <gtest/gtest.h>

#include "airports/stand_file.h"
#include "airports/stand_load.h"
#include "foundation/time.h"
#include "foundation/utf8_path.h"
#include "stand_fixture.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

class StandSave : public StandFilesTest {
  protected:
    void SetUp() override {
        StandFilesTest::SetUp();
        gf_setTestClock(1'700'000'000);  // 22:13:20 UTC
        setParkAirport("EDDL");
        standFileInfo = {"Test Field", "stock", 147};
    }
    void TearDown() override {
        gf_setTestClock(std::nullopt);
        StandFilesTest::TearDown();
    }
    static ParkPos stand(const std::string& name, std::vector<uint32_t> fixedFlags) {
        std::vector<ParkPosOption> options;
        for (uint32_t f : fixedFlags) {
            ParkPosOption o;
            o.id = static_cast<uint32_t>(options.size() + 1);
            o.fixed = f;
            o.setAirline(f ? "BASE" : "LEARNED");
            o.day = 1;
            o.hours.set(3);
            options.push_back(o);
        }
        return ParkPos(name, std::move(options), 51.0, 6.0, 0.0, 30.0, false, false, false);
    }
};

TEST_F(StandSave, LeavesOutWhatTheBaseFileHolds) {
    parkPositions.push_back(stand("base", {1, 1}));
    parkPositions.push_back(stand("learned", {1, 0}));
    parkPositions.push_back(stand("manual", {}));
    parkPositions.back().manual = 1;
    parkPositions.push_back(stand("cargo", {1}));
    parkPositions.back().cargoChange = 1;
    updateCount = 2;
    ASSERT_TRUE(gf_saveLearnedStandFile());
    const std::string text = readWholeFile("airports/learned/stock/EDDL.xml");
    EXPECT_EQ(text.find("\"base\""), std::string::npos);
    EXPECT_EQ(text.find("BASE"), std::string::npos);
    EXPECT_NE(text.find("<parkpos id=\"learned\">\n\t\t<opt reg=\"\" airl=\"LEARNED\""), std::string::npos);
    EXPECT_NE(text.find("<parkpos id=\"manual\" latitude="), std::string::npos);
    EXPECT_NE(text.find("<parkpos id=\"cargo\" cargo_change=\"true\" cargo=\"false\" />"), std::string::npos);
    EXPECT_NE(text.find("<parameter name=\"num_parkpos\" value=\"3\" />"), std::string::npos);
    EXPECT_EQ(mainWindow.statusLine(), "22:13:20 \"" + gf_utf8FromPath(fs::path("airports/learned/stock/EDDL.xml").make_preferred()) +
                                           "\" saved with 2 updates ");
    EXPECT_EQ(updateCount, 0);
    EXPECT_EQ(parkPositions[0].options.size(), 2u);  // the stands in memory keep everything
}

TEST_F(StandSave, PublisherFolderMessagesAndHandmadeFiles) {
    standFileInfo.publisher = "Acme Scenery";
    parkPositions.push_back(stand("A", {1}));
    handmadeLoaded = true;
    updateCount = 1;
    parametersChanged = true;
    ASSERT_TRUE(gf_saveLearnedStandFile());
    const fs::path path = "airports/learned/thirdparty/Acme Scenery/EDDL.xml";
    const std::string text = readWholeFile(path);
    EXPECT_NE(text.find("BASE"), std::string::npos);  // handmade: every stand and option
    EXPECT_NE(text.find("<parameter name=\"Qf_real\""), std::string::npos);
    EXPECT_EQ(mainWindow.statusLine(),
              "22:13:20 handmade \"" + gf_utf8FromPath(fs::path(path).make_preferred()) + "\" saved with 1 update and one or more parameter changes");
    EXPECT_FALSE(parametersChanged);
    // A publisher that is no folder name stays inside the learned folder.
    standFileInfo.publisher = "../../../escape";
    ASSERT_TRUE(gf_saveLearnedStandFile());
    EXPECT_TRUE(fs::exists("airports/learned/thirdparty/.._.._.._escape/EDDL.xml"));
    // A failure keeps the counters and ends nothing but the save.
    writeWholeFile("airports/learned/thirdparty/blocked", "a file where a folder should be");
    standFileInfo.publisher = "blocked";
    updateCount = 3;
    EXPECT_FALSE(gf_saveLearnedStandFile());
    EXPECT_EQ(updateCount, 3);
    EXPECT_NE(mainWindow.statusLine().find("did not succeed"), std::string::npos);
}

TEST_F(StandSave, LeavingSavesOnlyChangesAndTheNextLoadReadsThem) {
    fs::create_directories("airports/my_thirdparty");
    writeWholeFile("airports/my_thirdparty/EDDL.xml",
                   standFileText({{"airport_name", "Test Field"}, {"publisher", "Acme"}, {"altitude", "147"}},
                                 standElement("A1", 51.28, 6.75, 30.0, "", "<opt airl=\"DLH\" type=\"A320\" day=\"1\" hh=\"10\"/>")));
    ASSERT_EQ(gf_readParkedFile(), "");
    EXPECT_TRUE(parkingActive.load());
    gf_clearParkAirportState();  // nothing learned: nothing written
    EXPECT_FALSE(fs::exists("airports/learned"));
    EXPECT_EQ(gf_parkAirportCode(), "");
    EXPECT_FALSE(parkingActive.load());

    setParkAirport("EDDL");
    ASSERT_EQ(gf_readParkedFile(), "");
    ParkPosOption o;
    o.id = 2;
    o.setAirline("EWG");
    o.setType("A20N");
    o.day = 4;
    o.kind = optionReal;
    o.hours.set(20);
    parkPositions[0].options.push_back(o);
    ++updateCount;
    gf_clearParkAirportState();
    EXPECT_NE(mainWindow.statusLine().find("saved with 1 update "), std::string::npos);
    ASSERT_TRUE(fs::exists("airports/learned/thirdparty/Acme/EDDL.xml"));
    EXPECT_FALSE(handmadeLoaded);

    setParkAirport("EDDL");
    ASSERT_EQ(gf_readParkedFile(), "");
    ASSERT_EQ(parkPositions[0].options.size(), 2u);
    EXPECT_EQ(parkPositions[0].options[1].airline(), "EWG");
    EXPECT_EQ(parkPositions[0].options[1].fixed, 0u);
    EXPECT_EQ(updateCount, 0);
}

}  // namespace
}  // namespace vdl::test
