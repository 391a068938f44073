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

// The test base lets the loopback http of the server through.
class DownloadTest : public RefFilesTest {
  protected:
    void SetUp() override {
        RefFilesTest::SetUp();
        gf_setServerBaseForTests(server.base());
    }
    LocalHttpServer server;
};

size_t countOf(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

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
    EXPECT_EQ(gf_serverBase(), "");  // no server configured: no folder either
    EXPECT_EQ(gf_serverFolder(false), "");
}

// An endless or oversized body ends in a logged failure, not in an exception thrown through
// curl, and leaves neither a partial file nor a changed target.
TEST_F(DownloadTest, BodiesOverTheCapFailCleanly) {
    DOWNLOAD_LIMIT_MB.set(1);
    const size_t mb = 1024 * 1024;
    server.set("endless", LocalHttpServer::Answer{200, std::string(40000, 'e'), false, true});
    server.set("declared", std::string(mb + 1, 'd'));
    server.set("exact", std::string(mb, 'x'));
    struct Case {
        const char* path;
        enum { Binary, Text, InMemory } how;
        bool ok;
    } cases[] = {{"endless", Case::Binary, false},    {"endless", Case::Text, false},
                 {"endless", Case::InMemory, false},  {"declared", Case::Binary, false},
                 {"declared", Case::InMemory, false}, {"exact", Case::Binary, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " " + std::to_string(c.how));
        writeWholeFile("target", "old");
        const std::string url = server.base() + c.path;
        bool ok = false;
        if (c.how == Case::InMemory) {
            const auto body = gf_downloadText(url);
            ok = body.has_value();
        } else {
            ok = gf_download(url, "target", c.how == Case::Binary);
        }
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(readWholeFile("target"), c.ok ? std::string(mb, 'x') : "old");
        EXPECT_FALSE(fs::exists("target.part"));
        if (!c.ok) {
            EXPECT_NE(logText().find("===> download of \"" + url +
                                     "\" failed: larger than 1 MB (DOWNLOAD_LIMIT_MB)"),
                      std::string::npos);
        }
    }
}

TEST_F(DownloadTest, DownloadUnzipCapsWhatTheArchiveUnpacksTo) {
    UNZIP_LIMIT_MB.set(1);
    const size_t mb = 1024 * 1024;
    writeWholeFile("out.xml", "old");
    // A few kilobytes that unpack to 64 MB; two entries that pass the cap only together.
    makeZip("bomb.zip", {{"zeros.bin", std::string(64 * mb, '\0')}});
    makeZip("pair.zip", {{"a.txt", std::string(mb / 2 + 1, 'a')}, {"b.txt", std::string(mb / 2, 'b')}});
    makeZip("fits.zip", {{"a.txt", std::string(mb / 2, 'a')}, {"b.txt", std::string(mb / 2, 'b')}});
    ASSERT_LT(fs::file_size("bomb.zip"), 1024 * 1024u);
    for (const char* name : {"bomb.zip", "pair.zip", "fits.zip"}) server.setFile(name, name);
    for (const char* name : {"bomb.zip", "pair.zip"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(gf_downloadUnzip(name, "out.xml"));
        EXPECT_EQ(readWholeFile("out.xml"), "old");
        EXPECT_FALSE(fs::exists("out.xml.part"));
        EXPECT_FALSE(fs::exists(name));
    }
    EXPECT_NE(logText().find("more than the limit of"), std::string::npos);
    EXPECT_TRUE(gf_downloadUnzip("fits.zip", "out.xml"));
    EXPECT_EQ(fs::file_size("out.xml"), mb);
}

// Only an https address set by the user is ever contacted; the program has no built-in one.
TEST_F(DownloadTest, UpdateServerIsAnHttpsSettingAndNothingElse) {
    gf_resetRefdata();  // no test base: the setting decides
    const std::pair<std::string, std::string> cases[] = {
        {"https://data.example.net/sub", "https://data.example.net/sub/"},
        {" HTTPS://Data.example.net/", ""},  // no trimming: what is set is what is used
        {"HTTPS://Data.example.net/", "HTTPS://Data.example.net/"},
        {"http://data.example.net/", ""},
        {"ftp://data.example.net/", ""},
        {"data.example.net/", ""},
        {"https://", ""},
        {"https:///path", ""},
        {"https://data example.net/", ""},
        {"https://data.example.net/?x=", ""},
        {"", ""},
    };
    for (const auto& [setting, base] : cases) {
        UPDATE_SERVER.set(setting);
        EXPECT_EQ(gf_serverBase(), base) << setting;
    }
    // Each unusable value is noted once, however often it is asked for.
    UPDATE_SERVER.set(server.base());
    makeZip("a.zip", {{"a.txt", "a"}});
    server.setFile("a.zip", "a.zip");
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(gf_downloadUnzip("a.zip", "a.txt"));
        EXPECT_EQ(gf_serverFolder(true), "");
    }
    // A plain http address is refused even when asked for directly.
    EXPECT_FALSE(gf_download(server.base() + "a.zip", "a.zip.copy", true));
    EXPECT_FALSE(gf_downloadText(server.base() + "a.zip"));
    EXPECT_TRUE(server.requests().empty());
    const std::string log = logText();
    EXPECT_EQ(countOf(log, "update server \"" + server.base() + "\" refused (UPDATE_SERVER)"), 1u);
    EXPECT_EQ(countOf(log, "no update server set (UPDATE_SERVER)"), 1u);
    EXPECT_EQ(countOf(log, "refused: only https addresses are fetched"), 2u);
    EXPECT_FALSE(fs::exists("a.txt"));
    EXPECT_FALSE(fs::exists("a.zip.copy.part"));
}

}  // namespace
}  // namespace vdl::test
