// Stand files from the update server (a local HTTP server): the stock probe and its cache, loading
// a server path, the offline-learning check and the closest stand. Nothing is left behind.
#include <gtest/gtest.h>

#include "airports/stand_info.h"
#include "airports/stand_load.h"
#include "airports/stand_locations.h"
#include "refdata/download.h"
#include "stand_fixture.h"
#include "support/http_server.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

class StandDownloads : public StandFilesTest {
  protected:
    void SetUp() override {
        StandFilesTest::SetUp();
        gf_setServerBaseForTests(server.base());
        fs::create_directories("airports");
    }
    // Files in the working folder other than the log and the data base's.
    static std::vector<std::string> leftovers() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator("."))
            if (e.is_regular_file() && e.path().filename() != "Log.txt") names.push_back(e.path().filename().string());
        return names;
    }
    size_t requestsFor(const std::string& path) {
        const auto all = server.requests();
        return static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](const std::string& r) { return r.find(path) != std::string::npos; }));
    }
    LocalHttpServer server;
};

const std::string stockFile = standFileText({{"airport_name", "Stock Field"}, {"publisher", "stock"}, {"altitude", "120"}},
                                            standElement("S1", 47.45, 8.56, 30.0) + standElement("S2", 47.46, 8.56, 30.0));

TEST_F(StandDownloads, StockProbeCachesDefiniteAnswersAndLeavesNothing) {
    server.set("vizozaradu20/archive/stock/EDDL.xml", stockFile);
    server.set("vizozaradu20/archive/stock/LSZH.xml", LocalHttpServer::Answer{404, "", false});
    EXPECT_EQ(gf_findApf("EDDL"), "archive/stock/EDDL.xml");
    EXPECT_TRUE(gf_hasApf("EDDL"));
    EXPECT_EQ(gf_findApf("LSZH"), "");
    EXPECT_FALSE(gf_hasApf("LSZH"));
    EXPECT_EQ(requestsFor("EDDL.xml"), 1u);
    EXPECT_EQ(requestsFor("LSZH.xml"), 1u);
    EXPECT_TRUE(leftovers().empty());
    // A server that does not answer is asked again later; its failure is not "no file".
    gf_setServerBaseForTests(LocalHttpServer::unreachableBase());
    EXPECT_FALSE(gf_stockApfOnServer("EHAM"));
    gf_setServerBaseForTests(server.base());
    server.set("vizozaradu20/archive/stock/EHAM.xml", stockFile);
    EXPECT_TRUE(gf_stockApfOnServer("EHAM"));
    EXPECT_TRUE(leftovers().empty());
    // Without an update server nothing is asked.
    gf_clearStockProbeCache();
    gf_setServerBaseForTests("");
    UPDATE_SERVER.set("");
    gf_restoreDownloadSettings();
    const size_t before = server.requests().size();
    EXPECT_FALSE(gf_stockApfOnServer("EDDL"));
    EXPECT_EQ(server.requests().size(), before);
}

TEST_F(StandDownloads, ServerPathLoadsThroughTheDownloadCopy) {
    server.set("vizozaradu20/archive/stock/LSZH.xml", stockFile);
    setParkAirport("LSZH");
    EXPECT_EQ(gf_readParkedFile(), "");
    EXPECT_EQ(parkPositions.size(), 2u);
    EXPECT_TRUE(fs::exists("airports/park_airport.xml"));
    EXPECT_NE(log().find("Airport file read from \"archive/stock/LSZH.xml\" for Stock Field"), std::string::npos);
    // Any other server path comes from the folder of the simulator the program runs for.
    MSFS_2020.set(false);
    server.set("vizozaradu24/archive/thirdparty/Pub/LSZH.xml", stockFile);
    EXPECT_EQ(gf_downloadApf("archive/thirdparty/Pub/LSZH.xml", "airports/x.xml"), "");
    EXPECT_EQ(gf_downloadApf("archive/thirdparty/None/LSZH.xml", "airports/x.xml"),
              "failed to download: \"" + server.base() + "vizozaradu24/archive/thirdparty/None/LSZH.xml\"");
    EXPECT_FALSE(fs::exists("airports/x.xml.part"));
}

TEST_F(StandDownloads, OfflineLearningCandidates) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> parameters;
        bool candidate;
    } cases[] = {
        {{{"Qf_real", "50"}, {"WEEK", "20"}}, true},  {{{"Qf_soft", "0"}, {"WEEK", "25"}}, true},
        {{{"Qf_real", "50"}, {"WEEK", "19"}}, false}, {{{"Qf_real", "50"}, {"WEEK", "true"}}, false},
        {{{"WEEK", "30"}}, false},
    };
    for (const auto& c : cases) {
        server.set("vizozaradu20/archive/stock/EDDK.xml", standFileText(c.parameters, ""));
        EXPECT_EQ(gf_isOfflineLearningCandidate("EDDK"), c.candidate);
    }
    EXPECT_EQ(log().find("Not suitable"), std::string::npos);
    EXPECT_FALSE(gf_isOfflineLearningCandidate("EDDX"));
    EXPECT_NE(log().find("EDDX Not suitable for offline learning"), std::string::npos);
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(StandDownloads, ClosestStand) {
    server.set("vizozaradu20/archive/stock/LSZH.xml", stockFile);
    std::string id = "unchanged";
    EXPECT_EQ(gf_readDestApfForClosestStand("LSZH", 47.46, 8.56, id), 0.0);
    EXPECT_EQ(id, "S2");
    id = "unchanged";
    EXPECT_EQ(gf_readDestApfForClosestStand("LSZH", 50.0, 8.56, id), 100.0);
    EXPECT_EQ(id, "unchanged");
    EXPECT_EQ(gf_readDestApfForClosestStand("NONE", 47.46, 8.56, id), 100.0);
    fs::create_directories("airports/my_thirdparty");
    writeWholeFile("airports/my_thirdparty/LSZH.xml", standFileText({}, standElement("L1", 47.0, 8.0, 20.0)));
    EXPECT_EQ(gf_readDestApfForClosestStand("LSZH", 47.0, 8.0, id), 0.0);
    EXPECT_EQ(id, "L1");
}

}  // namespace
}  // namespace vdl::test
