#include <chrono>
#include <filesystem>
#include <string>

#include "files_fixture.h"
#include "foundation/parameters.h"
#include "refdata/download.h"
#include "support/refdata_http_server.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class DownloadTest : public RefFilesTest {
protected:
    LocalHttpServer server;
};

std::string allBytes() {
    std::string s;
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
    return s + "a\r\nb\r\r\n\r";
}

TEST_F(DownloadTest, BinaryKeepsEveryByteAndSendsOurUserAgent) {
    server.set("f.bin", allBytes());
    ASSERT_TRUE(gf_download(server.base() + "f.bin", "f.bin", true));
    EXPECT_EQ(readWholeFile("f.bin"), allBytes());
    EXPECT_EQ(server.lastUserAgent(), "Vandrel/10.10.4");
    EXPECT_FALSE(fs::exists("f.bin.part"));
}

TEST_F(DownloadTest, TextModeFoldsCrLfAcrossChunkBoundaries) {
    // Large enough that curl hands it over in many pieces; CRs fall on piece edges somewhere.
    std::string body, expected;
    for (int i = 0; i < 40000; ++i) {
        const std::string n = std::to_string(i);
        body += n + "\r\n";
        expected += n + "\n";
        if (i % 997 == 0) {  // a lone CR stays
            body += "x\ry\r";
            expected += "x\ry\r";
        }
    }
    body += "end\r";
    expected += "end\r";
    server.set("t.txt", body);
    CurlHandle handle;
    ASSERT_TRUE(gf_download(handle.get(), server.base() + "t.txt", "t.txt", false));
    EXPECT_EQ(readWholeFile("t.txt"), expected);
    // The same handle serves a second transfer, in binary mode.
    ASSERT_TRUE(gf_download(handle.get(), server.base() + "t.txt", "t.bin", true));
    EXPECT_EQ(readWholeFile("t.bin"), body);
}

TEST_F(DownloadTest, HttpErrorFailsAndKeepsTheOldFile) {
    writeWholeFile("old.xml", "old content");
    server.set("gone.xml", LocalHttpServer::Answer{404, "<html>not here</html>", false});
    EXPECT_FALSE(gf_download(server.base() + "gone.xml", "old.xml", false));
    EXPECT_FALSE(gf_download(server.base() + "missing.xml", "new.xml", false));
    EXPECT_EQ(readWholeFile("old.xml"), "old content");
    EXPECT_FALSE(fs::exists("new.xml"));
    EXPECT_FALSE(fs::exists("old.xml.part"));
    EXPECT_FALSE(fs::exists("new.xml.part"));
    EXPECT_NE(logText().find("===> download of \"" + server.base() + "gone.xml\" failed"), std::string::npos);
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

TEST_F(DownloadTest, UnreachableServerAndUnwritableTargetFail) {
    const std::string dead = LocalHttpServer::unreachableBase();
    EXPECT_FALSE(gf_download(dead + "x.xml", "x.xml", false));
    EXPECT_FALSE(gf_downloadText(dead + "x.xml"));
    EXPECT_FALSE(fs::exists("x.xml"));
    server.set("y.xml", "y");
    EXPECT_FALSE(gf_download(server.base() + "y.xml", "no/such/folder/y.xml", false));
}

TEST_F(DownloadTest, DownloadTextAnswersTheBody) {
    server.set("release/version.json", R"({"major":1})");
    EXPECT_EQ(gf_downloadText(server.base() + "release/version.json"), std::optional<std::string>(R"({"major":1})"));
}

TEST_F(DownloadTest, DownloadUnzipWritesTheEntriesAndRemovesTheZip) {
    makeZip("src.zip", {{"AIG-regcodes.xml", "<regcodes>\r\n<livery/>\r\n</regcodes>\n"}, {"dir/", ""}, {"more.txt", "tail"}});
    server.set("AIG-regcodes.zip", readWholeFile("src.zip"));
    gf_setServerBaseForTests(server.base());
    fs::create_directories("input");
    ASSERT_TRUE(gf_downloadUnzip("AIG-regcodes.zip", "input/AIG-regcodes.xml"));
    EXPECT_EQ(readWholeFile("input/AIG-regcodes.xml"), "<regcodes>\r\n<livery/>\r\n</regcodes>\ntail");
    EXPECT_FALSE(fs::exists("AIG-regcodes.zip"));
    EXPECT_EQ(server.requests().back(), "AIG-regcodes.zip");
}

TEST_F(DownloadTest, DownloadUnzipFailuresKeepTheOutputAndRemoveTheZip) {
    gf_setServerBaseForTests(server.base());
    writeWholeFile("out.xml", "previous");
    struct Case {
        const char* name;
        std::string body;
        int status;
    };
    makeZip("empty-src.zip", {{"folder/", ""}});
    const Case cases[] = {
        {"missing.zip", "", 404},
        {"garbage.zip", "this is not a zip file at all", 200},
        {"empty.zip", readWholeFile("empty-src.zip"), 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.set(c.name, LocalHttpServer::Answer{c.status, c.body, false});
        EXPECT_FALSE(gf_downloadUnzip(c.name, "out.xml"));
        EXPECT_EQ(readWholeFile("out.xml"), "previous");
        EXPECT_FALSE(fs::exists(c.name));
        EXPECT_FALSE(fs::exists("out.xml.part"));
    }
    EXPECT_FALSE(gf_downloadUnzip("../up.zip", "out.xml"));
}

TEST_F(DownloadTest, ServerFolderFollowsTheFlagAndTheSimulator) {
    gf_setServerBaseForTests("http://127.0.0.1:1");
    struct Case {
        bool msfs2020;
        bool flag;
        const char* expected;
    } cases[] = {
        {true, false, "http://127.0.0.1:1/vizozaradu20/"},
        {true, true, "http://127.0.0.1:1/vizozaradu20/"},
        {false, true, "http://127.0.0.1:1/vizozaradu20/"},
        {false, false, "http://127.0.0.1:1/vizozaradu24/"},
    };
    for (const auto& c : cases) {
        MSFS_2020.set(c.msfs2020);
        EXPECT_EQ(gf_serverFolder(c.flag), c.expected);
    }
    gf_resetRefdataForTests();
    EXPECT_EQ(gf_serverBase(), updateServerBase);
}

}  // namespace
}  // namespace vdl::test
