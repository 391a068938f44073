// The learned stand file read back: what a save wrote comes back whole, repeated options of an
// older file keep their half hours, a large file loads in linear time, and a learned "file" that
// is no regular file fails its load without harm.
#include "airports/stand_learned.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <chrono>
#include <string>
#include <vector>

#include "airports/stand_file.h"
#include "airports/stand_info.h"
#include "airports/stand_load.h"
#include "foundation/time.h"
#include "stand_fixture.h"
#include "support/odd_files.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

// Every field of an option, as one line that shows which field differs.
std::string optionText(const ParkPosOption& o) {
    return fmt::format("id {} day {} kind {} fixed {} dropped {} hh {} airl {} type {} reg {} cs {}:{}", o.id, o.day,
                       o.kind, o.fixed, o.dropped, gf_bitset2hours(o.hours), o.airline(), o.type(), o.reg(),
                       o.callsign1(), o.callsign2());
}

std::vector<std::string> standTexts(const std::vector<ParkPos>& stands) {
    std::vector<std::string> texts;
    for (const ParkPos& s : stands) {
        texts.push_back(fmt::format("stand {} radius {:.6f} cargo {} manual {} changes {}{}", s.name, s.radius, s.cargo,
                                    s.manual, s.radiusChange, s.cargoChange));
        for (const ParkPosOption& o : s.options) texts.push_back("  " + optionText(o));
    }
    return texts;
}

ParkPosOption option(uint32_t id, uint32_t day, uint32_t kind, std::vector<size_t> hours, const char* airline,
                     const char* type, const char* reg, const char* cs1 = "", const char* cs2 = "") {
    ParkPosOption o;
    o.id = id;
    o.day = day;
    o.kind = kind;
    for (const size_t h : hours) o.hours.set(h);
    o.setStrings(airline, type, reg, cs1, cs2);
    return o;
}

const std::vector<std::pair<std::string, std::string>> baseParameters = {
    {"airport_name", "Test Field"}, {"publisher", "Acme"}, {"altitude", "147"}};

class StandLearned : public StandFilesTest {
  protected:
    void SetUp() override {
        StandFilesTest::SetUp();
        fs::create_directories("airports/my_thirdparty");
        setParkAirport("EDDL");
        writeWholeFile("airports/my_thirdparty/EDDL.xml",
                       standFileText(baseParameters,
                                     standElement("A1", 51.28, 6.75, 30.0, "",
                                                  R"(<opt airl="DLH" type="A320" day="1" hh="10"/>)") +
                                         standElement("A2", 51.281, 6.75, 30.0) + standElement("B1", 51.29, 6.76, 40.0)));
    }
    static void writeLearned(const std::string& stands) {
        fs::create_directories(learnedPath.parent_path());
        writeWholeFile(learnedPath, standFileText({{"airport_name", "Test Field"}}, stands));
    }
    static ParkPos& stand(const std::string& name) {
        for (ParkPos& s : parkPositions)
            if (s.name == name) return s;
        throw std::runtime_error("no stand " + name);
    }
    static std::vector<std::string> hoursById(const ParkPos& s) {
        std::vector<std::string> texts;
        for (const ParkPosOption& o : s.options) texts.push_back(fmt::format("{}:{}", o.id, gf_bitset2hours(o.hours)));
        return texts;
    }
    static inline const fs::path learnedPath = "airports/learned/thirdparty/Acme/EDDL.xml";
    static inline const fs::path backupPath = "airports/learned/thirdparty/Acme/EDDL0.xml";
};

// What a save writes, a load gives back: every option field of every stand, also of an option
// the static plan had dropped. Only the drop mark itself is not kept: it lasts until the plan's
// next adjustment numbers the options afresh.
TEST_F(StandLearned, ASavedFileReadsBackWithEveryOptionField) {
    ASSERT_EQ(gf_readParkedFile(), "");
    ParkPos& a1 = stand("A1");
    // As recording makes them: ids after the largest, a known registration's airline and type
    // from the data base, callsigns without the ghost mark.
    a1.options.push_back(option(2, 3, optionReal, {0, 1, 47}, "CLH", "A320", "D-AIZX", "CLH12", "CLH13"));
    a1.options.push_back(option(3, 7, optionSoft, {20}, "EWG", "A20N", "", "EWG1"));
    a1.options.back().dropped = true;
    a1.options.push_back(option(4, 7, optionSoft, {30, 31}, "EWG", "A20N", ""));  // same key, other half hours
    a1.options.push_back(option(5, 1, optionReal, {10}, "DLH", "A320", "D-ABCD"));  // the base option's half hour
    ParkPos& a2 = stand("A2");
    a2.options.push_back(option(1, 2, optionReal, {5, 6}, "KLM", "B738", "PH-BXA", "KLM1"));
    a2.radius = 25.0 * nmPerMetre;
    a2.radiusChange = 1;
    ++updateCount;
    std::vector<std::string> saved = standTexts(parkPositions);
    for (std::string& line : saved) {
        const size_t at = line.find("dropped true");
        if (at != std::string::npos) line.replace(at, 12, "dropped false");
    }
    gf_clearParkAirportState();
    ASSERT_TRUE(fs::exists(learnedPath));

    setParkAirport("EDDL");
    ASSERT_EQ(gf_readParkedFile(), "");
    EXPECT_EQ(standTexts(parkPositions), saved);
    EXPECT_FALSE(fs::exists(backupPath));  // nothing was discarded
}

// Files saved while recording could make a second option beside a dropped one: such repeats add
// their half hours to the earlier learned option. The base file's options are never widened: a
// learned option that meets one of them is discarded, and the file kept aside.
TEST_F(StandLearned, RepeatedOptionsOfOneFileKeepTheirHalfHours) {
    struct Case {
        const char* name;
        std::string stands;
        std::vector<std::string> a1;  // id:half hours of A1's options
        std::vector<std::string> a2;
        bool backup;
    };
    const auto opt = [](const char* reg, const char* hh, const char* more = "") {
        return fmt::format(R"(<opt reg="{}" airl="SWR" type="A20N" day="1" hh="{}" {}/>)", reg, hh, more);
    };
    const std::vector<Case> cases = {
        {"a repeat widens the earlier option",
         standElement("A2", 0, 0, 0, "", opt("HB-JXA", "10,11") + opt("HB-JXA", "11,12,13") + opt("HB-JXA", "20")),
         {"1:10"},
         {"1:10,11,12,13", "2:20"},
         false},
        {"a widened option takes later repeats",
         standElement("A2", 0, 0, 0, "",
                      opt("HB-JXA", "10,11") + opt("HB-JXA", "11,12,13") + opt("HB-JXA", "20") + opt("HB-JXA", "13,14")),
         {"1:10"},
         {"1:10,11,12,13,14", "2:20"},
         false},
        {"a repeat of two goes to the first",
         standElement("A2", 0, 0, 0, "", opt("HB-JXA", "30") + opt("HB-JXA", "32") + opt("HB-JXA", "30,32,33")),
         {"1:10"},
         {"1:30,32,33", "2:32"},
         false},
        {"other kind, day or registration: no repeat",
         standElement("A2", 0, 0, 0, "",
                      opt("HB-JXA", "10") + opt("HB-JXA", "10", "soft=\"true\"") + opt("HB-JXB", "10") +
                          R"(<opt reg="HB-JXA" airl="SWR" type="A20N" day="2" hh="10"/>)"),
         {"1:10"},
         {"1:10", "2:10", "3:10", "4:10"},
         false},
        {"repeats over two elements of one stand",
         standElement("A2", 0, 0, 0, "", opt("HB-JXA", "1")) + standElement("A2", 0, 0, 0, "", opt("HB-JXA", "1,2")),
         {"1:10"},
         {"1:1,2"},
         false},
        {"the base option is not widened",
         standElement("A1", 0, 0, 0, "",
                      R"(<opt airl="DLH" type="A320" day="1" hh="10,11"/><opt airl="DLH" type="A320" day="1" hh="12"/>)"
                      R"(<opt airl="DLH" type="A320" day="1" hh="12,10"/>)"),
         {"1:10", "2:12"},
         {},
         true},
    };
    for (const Case& c : cases) {
        std::error_code ec;
        fs::remove(backupPath, ec);
        writeLearned(c.stands);
        ASSERT_EQ(gf_readParkedFile(), "") << c.name;
        EXPECT_EQ(hoursById(stand("A1")), c.a1) << c.name;
        EXPECT_EQ(hoursById(stand("A2")), c.a2) << c.name;
        EXPECT_EQ(fs::exists(backupPath), c.backup) << c.name;
        gf_clearParkAirportState();
        setParkAirport("EDDL");
    }
}

// Each option of a large learned file was compared with every earlier one of its stand: 50,000
// options sharing a half hour took minutes under the sanitizers. Linear, it takes a fraction of a
// second.
TEST_F(StandLearned, ManyOptionsOfOneStandLoadInLinearTime) {
    constexpr int count = 50000;
    std::string opts;
    opts.reserve(count * 64);
    for (int i = 0; i < count; ++i) opts += fmt::format(R"(<opt reg="X-{:05}" airl="SWR" type="A20N" day="1" hh="10"/>)", i);
    // Every one a repeat of the first: all their half hours go onto it.
    for (int i = 0; i < count; ++i) opts += fmt::format(R"(<opt reg="X-00000" airl="SWR" type="A20N" day="1" hh="10,{}"/>)", i % 48);
    writeLearned(standElement("A2", 0, 0, 0, "", opts));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(gf_readParkedFile(), "");
    const auto took = std::chrono::steady_clock::now() - start;
    const ParkPos& a2 = stand("A2");
    ASSERT_EQ(a2.options.size(), static_cast<size_t>(count));
    EXPECT_EQ(a2.options.front().hours.count(), 48u);
    EXPECT_EQ(a2.options.back().id, static_cast<uint32_t>(count));
    EXPECT_LT(took, std::chrono::seconds(20));
}

// A learned file that is a folder made the sanitizer build abort, and a FIFO blocked the load for
// good: either fails as a file that cannot be read, and the base stands stay loaded.
TEST_F(StandLearned, ALearnedFileThatIsNoFileFailsItsLoadOnly) {
    for (const OddFile kind : oddFileKinds()) {
        ASSERT_TRUE(makeOddFile(kind, learnedPath)) << oddFileName(kind);
        ASSERT_EQ(gf_readParkedFile(), "") << oddFileName(kind);
        EXPECT_EQ(parkPositions.size(), 3u) << oddFileName(kind);
        EXPECT_NE(log().find("found, but could not be loaded"), std::string::npos) << oddFileName(kind);
        gf_clearParkAirportState();
        setParkAirport("EDDL");
    }
    // The other readers of stand files by name.
    for (const OddFile kind : oddFileKinds()) {
        const fs::path odd = fs::path("odd") / "EDDM.xml";
        ASSERT_TRUE(makeOddFile(kind, odd));
        EXPECT_EQ(gf_readApfPublisher(odd), "") << oddFileName(kind);
        EXPECT_NE(gf_readApfCreatorCheck(odd), "") << oddFileName(kind);
    }
}

}  // namespace
}  // namespace vdl::test
