// Where stand and learned files are found, safe names, the quality factor and the folder routines.
#include "airports/stand_locations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "airports/stand_info.h"
#include "airports/stand_save.h"
#include "refdata/download.h"
#include "stand_fixture.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

using StandLocations = StandFilesTest;

TEST_F(StandLocations, FindApfSearchOrderAndLinkFiles) {
    fs::create_directories("airports/my_thirdparty");
    fs::create_directories("airports/my_simaddon");
    // No server set: the stock archive is "no" without any transfer.
    EXPECT_EQ(gf_findApf("EDDL"), "");
    EXPECT_FALSE(gf_hasApf("EDDL"));
    // Links count with a server to fetch from (one that does not answer: nothing is fetched here).
    gf_setServerBaseForTests("http://127.0.0.1:1/");
    writeWholeFile("airports/my_simaddon/EDDL.xml", "x");
    EXPECT_EQ(gf_findApf("EDDL"), "airports/my_simaddon/EDDL.xml");
    writeWholeFile("airports/my_simaddon/EDDL.txt", "archive/simaddon/EDDL.xml\r\n");
    EXPECT_EQ(gf_findApf("EDDL"), "archive/simaddon/EDDL.xml");
    writeWholeFile("airports/my_thirdparty/EDDL.xml", "x");
    EXPECT_EQ(gf_findApf("EDDL"), "airports/my_thirdparty/EDDL.xml");
    // A link with CR LF and blanks is trimmed; an empty one, or one that leaves its folder, is no link.
    writeWholeFile("airports/my_thirdparty/EDDL.txt", "  archive/thirdparty/Pub%20X/EDDL.xml \t\r\nsecond\r\n");
    EXPECT_EQ(gf_findApf("EDDL"), "archive/thirdparty/Pub%20X/EDDL.xml");
    for (const char* refused : {"", " \r\n", "airports/../../etc/EDDL.xml", "/abs/EDDL.xml", "a\\b.xml", "c:/x.xml"}) {
        writeWholeFile("airports/my_thirdparty/EDDL.txt", refused);
        EXPECT_EQ(gf_findApf("EDDL"), "airports/my_thirdparty/EDDL.xml") << refused;
    }
    EXPECT_TRUE(gf_hasApf("EDDL"));
    EXPECT_EQ(gf_findApf("../x"), "");
    gf_setServerBaseForTests("");
    // Without an update server the offline-learning check fetches nothing and reports no failure.
    EXPECT_FALSE(gf_isOfflineLearningCandidate("EDDL"));
    EXPECT_EQ(log().find("Not suitable"), std::string::npos);
}

// A link names a file on the update server: without one it is passed over and the search goes
// on to the local files; with one the link comes first and counts without being read.
TEST_F(StandLocations, LinksCountOnlyWithAnUpdateServer) {
    struct Case {
        std::vector<const char*> files;
        const char* withoutServer;
        const char* withServer;
    } cases[] = {
        {{"my_thirdparty/EDDL.txt", "my_thirdparty/EDDL.xml"}, "airports/my_thirdparty/EDDL.xml",
         "archive/thirdparty/JustSim/EDDL.xml"},
        {{"my_thirdparty/EDDL.txt", "my_simaddon/EDDL.xml"}, "airports/my_simaddon/EDDL.xml",
         "archive/thirdparty/JustSim/EDDL.xml"},
        {{"my_simaddon/EDDL.txt", "stock/EDDL.xml"}, "airports/stock/EDDL.xml", "archive/simaddon/EDDL.xml"},
        {{"my_simaddon/EDDL.txt", "my_simaddon/EDDL.xml"}, "airports/my_simaddon/EDDL.xml",
         "archive/simaddon/EDDL.xml"},
        {{"my_thirdparty/EDDL.txt"}, "", "archive/thirdparty/JustSim/EDDL.xml"},
    };
    for (const auto& c : cases) {
        fs::remove_all("airports");
        std::string named;
        for (const char* file : c.files) {
            const fs::path path = fs::path("airports") / file;
            fs::create_directories(path.parent_path());
            const bool link = path.extension() == ".txt";
            const bool simaddon = path.string().find("simaddon") != std::string::npos;
            writeWholeFile(path, !link      ? "x"
                                 : simaddon ? "archive/simaddon/EDDL.xml\n"
                                            : "archive/thirdparty/JustSim/EDDL.xml\n");
            named += std::string(file) + " ";
        }
        gf_setServerBaseForTests("");
        EXPECT_EQ(gf_findApf("EDDL"), c.withoutServer) << named;
        EXPECT_EQ(gf_hasApf("EDDL"), *c.withoutServer != '\0') << named;
        gf_setServerBaseForTests("http://127.0.0.1:1/");
        EXPECT_EQ(gf_findApf("EDDL"), c.withServer) << named;
        EXPECT_TRUE(gf_hasApf("EDDL")) << named;
        // An empty link is still a link file to the existence test, which does not read it.
        writeWholeFile("airports/my_thirdparty/EDDL.txt", "");
        EXPECT_TRUE(gf_hasApf("EDDL")) << named;
    }
    gf_setServerBaseForTests("");
}

TEST_F(StandLocations, LearnedPathIsTheSaversPlace) {
    struct Case {
        const char* reference;
        const char* publisher;
        fs::path expected;
    } cases[] = {
        {"archive/stock/EHAM.xml", "stock", "airports/learned/stock/EHAM.xml"},
        {"archive/thirdparty/Acme%20Scenery/EHAM.xml", "Acme Scenery", "airports/learned/thirdparty/Acme Scenery/EHAM.xml"},
        {"airports/my_thirdparty/EHAM.xml", "P", "airports/learned/thirdparty/P/EHAM.xml"},
        {"airports/my_simaddon/EHAM.xml", "simaddon", "airports/learned/simaddon/EHAM.xml"},
        // A stock file of another publisher loads from where it is saved.
        {"archive/stock/EHAM.xml", "Other", "airports/learned/thirdparty/Other/EHAM.xml"},
        // A publisher name never leaves its folder.
        {"archive/stock/EHAM.xml", "../../x", "airports/learned/thirdparty/.._.._x/EHAM.xml"},
        {"archive/stock/EHAM.xml", "a/b\\c:d", "airports/learned/thirdparty/a_b_c_d/EHAM.xml"},
        {"archive/stock/EHAM.xml", "..", "airports/learned/thirdparty/_/EHAM.xml"},
        {"", "stock", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_learnedApfPath(c.reference, c.publisher), c.expected) << c.reference;
}

TEST_F(StandLocations, SafeNames) {
    const std::pair<const char*, const char*> names[] = {
        {"Acme Scenery", "Acme Scenery"}, {"..", "_"}, {".", "_"}, {"a.", "a"}, {"x/y", "x_y"},
        {"CON", "_CON"}, {"nul.txt", "_nul.txt"}, {"a\tb", "a_b"}, {"", ""}, {"Über", "Über"}};
    for (const auto& [in, out] : names) EXPECT_EQ(gf_safeFolderName(in), out) << in;
    EXPECT_TRUE(gf_isSafeReference("archive/stock/EDDL.xml"));
    EXPECT_FALSE(gf_isSafeReference("archive//EDDL.xml"));
    EXPECT_FALSE(gf_isSafeReference("archive/./EDDL.xml"));
}

ParkPos standWith(double radiusNm, std::vector<ParkPosOption> options) {
    return ParkPos("S", std::move(options), 1.0, 1.0, 0.0, radiusNm * 1852.0, false, false, false);
}

ParkPosOption opt(uint32_t kind, uint32_t day, int slots, uint32_t id = 1) {
    ParkPosOption o;
    o.kind = kind;
    o.day = day;
    o.id = id;
    for (int i = 0; i < slots; ++i) o.hours.set(static_cast<size_t>(i % 48));
    return o;
}

TEST_F(StandLocations, QualityFactorFigures) {
    std::vector<ParkPos> stands;
    stands.push_back(standWith(30.0 / 1852.0, {}));
    EXPECT_EQ(gf_qualityFactor(stands).real, -1);
    stands[0].options.push_back(opt(optionReal, 1, 1));
    QualityFactor q = gf_qualityFactor(stands);
    EXPECT_EQ(q.real, 63);
    EXPECT_EQ(q.soft, 0);
    for (int i = 0; i < 9; ++i) stands.push_back(standWith(30.0 / 1852.0, {}));
    EXPECT_EQ(gf_qualityFactor(stands).real, 6);
    // 250 options count as 200; set half hours count at most 600.
    std::vector<ParkPosOption> many;
    for (uint32_t i = 0; i < 250; ++i) many.push_back(opt(optionReal, 8, i < 7 ? 48 : 0, i + 1));  // day 8: no weekday
    many.push_back(opt(optionReal, 1, 48, 251));
    stands = {standWith(1.0, many)};
    // n 251 -> 4000 (not 5020); b = 8 x 48 = 384 -> 768; d = 1: 14868 x 0.00625 = 92.9.
    EXPECT_EQ(gf_qualityFactor(stands).real, 93);
    stands[0].radius = 8.0;  // weight 1.5 alone does not change a single stand's factor
    EXPECT_EQ(gf_qualityFactor(stands).real, 93);
    for (auto& o : stands[0].options) o.hours.set();  // 251 x 48 half hours count as 600
    EXPECT_EQ(gf_qualityFactor(stands).real, 96);  // 15300 x 0.00625
    std::vector<ParkPosOption> soft;
    for (uint32_t i = 0; i < 15; ++i) soft.push_back(opt(optionSoft, 1 + i % 7, 48, i + 1));
    stands = {standWith(1.0, soft), standWith(1.0, {})};
    // (300 + 10000 + 700 + 2 x 600) / 2 x 0.00625 = 38.125
    q = gf_qualityFactor(stands);
    EXPECT_EQ(q.soft, 38);
    EXPECT_EQ(q.real, 0);
    // An option without an id is not counted.
    stands = {standWith(1.0, {opt(optionReal, 1, 1, 0)})};
    EXPECT_EQ(gf_qualityFactor(stands).real, 0);
}

TEST_F(StandLocations, QualityFactorTextAndDashedCodes) {
    EXPECT_EQ(gf_qualityFactorText({44, 12}), "44/12");
    EXPECT_EQ(gf_qualityFactorText({3, 0}), " 3/ 0");
    EXPECT_EQ(gf_qualityFactorText({45, 12}), "45");
    EXPECT_EQ(gf_qualityFactorText({-1, -1}), "  ");
    EXPECT_TRUE(gf_hasDashedCode("x/aa-EDDL-scenery", "EDDL"));
    EXPECT_TRUE(gf_hasDashedCode("x/aa-eddl-scenery", "EDDL"));
    EXPECT_FALSE(gf_hasDashedCode("x/aa-EdDl-scenery", "EDDL"));
    EXPECT_FALSE(gf_hasDashedCode("x/EDDL-scenery", "EDDL"));
}

TEST_F(StandLocations, ThirdpartyListAndFolderEmptying) {
    fs::create_directories("airports/my_thirdparty/sub");
    for (const char* f : {"EDDF.xml", "eddm.XML", "ABCDE.xml", "EDDK.txt"}) writeWholeFile(fs::path("airports/my_thirdparty") / f, "x");
    writeWholeFile("airports/my_thirdparty/sub/LSZH.xml", "x");
    auto names = gf_listThirdpartyStandFiles();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"EDDF", "eddm"}));
    // A folder with content is logged and stays; everything else goes, and later starts still work.
    fs::create_directories("airports/my_thirdparty/empty");
    gf_removeAllFilesInFolder("airports/my_thirdparty");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator("airports/my_thirdparty")) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"sub"});
    EXPECT_NE(log().find("sub could not be removed"), std::string::npos);
    EXPECT_NO_THROW(gf_removeAllFilesInFolder("airports/none"));
}

}  // namespace
}  // namespace vdl::test
