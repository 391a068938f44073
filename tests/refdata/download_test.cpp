#include "refdata/download.h"

#include <chrono>
#include <filesystem>
#include <string>

#include "files_fixture.h"
#include "foundation/parameters.h"
#include "support/http_server.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace std::string_literals;

class DownloadTest : public RefFilesTest {
  protected:
    LocalHttpServer server;
};

TEST_F(DownloadTest, BinaryKeepsEveryByteTextFoldsCrLfAcrossChunks) {
    // Large enough that curl hands it over in many pieces; CRs fall on piece edges somewhere.
    std::string body, expected;
    for (int i = 0; i < 40000; ++i) {
        body += std::to_string(i) + (i % 997 ? "\r\n"s : "\r\0\xff\n"s);  // a lone CR stays
        expected += std::to_string(i) + (i % 997 ? "\n"s : "\r\0\xff\n"s);
    }
    server.set("t.txt", body + "end\r");
    CurlHandle handle;
    ASSERT_TRUE(gf_download(handle.get(), server.base() + "t.txt", "t.txt", false));
    EXPECT_EQ(readWholeFile("t.txt"), expected + "end\r");
    // The same handle serves a second transfer, in binary mode.
    ASSERT_TRUE(gf_download(handle.get(), server.base() + "t.txt", "t.bin", true));
    EXPECT_EQ(readWholeFile("t.bin"), body + "end\r");
    EXPECT_EQ(server.lastUserAgent(), "Vandrel/10.10.4");
    EXPECT_EQ(gf_downloadText(server.base() + "t.txt"), body + "end\r");
}

TEST_F(DownloadTest, FailuresKeepTheOldFileAndLeaveNoPart) {
    writeWholeFile("old.xml", "old content");
    server.set("gone.xml", LocalHttpServer::Answer{404, "<html>not here</html>", false});
    EXPECT_FALSE(gf_download(server.base() + "gone.xml", "old.xml", false));
    EXPECT_FALSE(gf_download(server.base() + "missing.xml", "new.xml", false));
    EXPECT_EQ(readWholeFile("old.xml"), "old content");
    EXPECT_FALSE(fs::exists("new.xml"));
    EXPECT_FALSE(fs::exists("old.xml.part"));
    EXPECT_NE(logText().find("===> download of \"" + server.base() + "gone.xml\" failed"), std::string::npos);
    const std::string dead = LocalHttpServer::unreachableBase();
    EXPECT_FALSE(gf_download(dead + "x.xml", "x.xml", false));
    EXPECT_FALSE(gf_downloadText(dead + "x.xml"));
    EXPECT_FALSE(gf_download(server.base() + "gone.xml", "no/such/folder/y.xml", true));
}

TEST_F(DownloadTest, StalledServerIsCutByTheTransferTimeout) {
    gf_setDownloadTimeouts({500ms, 700ms});
    server.set("slow.xml", LocalHttpServer::Answer{200, std::string(100000, 'x'), true});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(gf_download(server.base() + "slow.xml", "slow.xml", true));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 600ms);
    EXPECT_LT(took, 5s);
    // Half the body had arrived: none of it may stay behind.
    EXPECT_FALSE(fs::exists("slow.xml"));
    EXPECT_FALSE(fs::exists("slow.xml.part"));
}

TEST_F(DownloadTest, DownloadUnzipWritesTheEntriesAndAlwaysRemovesTheZip) {
    gf_setServerBaseForTests(server.base());
    makeZip("src.zip",
            {{"AIG-regcodes.xml", "<regcodes>\r\n</regcodes>\n"}, {"dir/", ""}, {"more.txt", "tail"}});
    server.set("AIG-regcodes.zip", readWholeFile("src.zip"));
    ASSERT_TRUE(gf_downloadUnzip("AIG-regcodes.zip", "out.xml"));
    EXPECT_EQ(readWholeFile("out.xml"), "<regcodes>\r\n</regcodes>\ntail");
    EXPECT_FALSE(fs::exists("AIG-regcodes.zip"));

    makeZip("empty-src.zip", {{"folder/", ""}});
    const std::vector<std::pair<const char*, LocalHttpServer::Answer>> failures = {
        {"missing.zip", {404, "", false}},
        {"garbage.zip", {200, "this is not a zip file at all", false}},
        {"empty.zip", {200, readWholeFile("empty-src.zip"), false}},
    };
    for (const auto& [name, answer] : failures) {
        server.set(name, answer);
        EXPECT_FALSE(gf_downloadUnzip(name, "out.xml")) << name;
        EXPECT_EQ(readWholeFile("out.xml"), "<regcodes>\r\n</regcodes>\ntail") << name;
        EXPECT_FALSE(fs::exists(name));
        EXPECT_FALSE(fs::exists("out.xml.part"));
    }
    EXPECT_FALSE(gf_downloadUnzip("../up.zip", "out.xml"));
}

TEST_F(DownloadTest, ServerFolderFollowsTheFlagAndTheSimulator) {
    gf_setServerBaseForTests("http://127.0.0.1:1");
    MSFS_2020.set(false);
    EXPECT_EQ(gf_serverFolder(false), "http://127.0.0.1:1/vizozaradu24/");
    EXPECT_EQ(gf_serverFolder(true), "http://127.0.0.1:1/vizozaradu20/");
    MSFS_2020.set(true);
    EXPECT_EQ(gf_serverFolder(false), "http://127.0.0.1:1/vizozaradu20/");
    gf_resetRefdata();
    EXPECT_EQ(gf_serverBase(), updateServerBase);
}

}  // namespace
}  // namespace vdl::test
