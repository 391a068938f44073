#include "refdata/updater.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include "files_fixture.h"
#include "foundation/parameters.h"
#include "refdata/hooks.h"
#include "support/http_server.h"
#include "window/main_window.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

std::string dbaseWithVersion(const std::string& version, const std::string& marker) {
    return "<dbase><meta><info name=\"version\" value=\"" + version + "\"/></meta><types><t icao=\"" +
           marker + "\"/></types></dbase>\n";
}

class UpdaterTest : public RefFilesTest {
  protected:
    void SetUp() override {
        RefFilesTest::SetUp();
        mainWindow.reset();
        gf_setServerBaseForTests(server.base());
        fs::create_directories("input");
    }
    void TearDown() override {
        mainWindow.reset();
        RefFilesTest::TearDown();
    }
    void serveZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& files) {
        makeZip("serve.zip", files);
        server.set(path, readWholeFile("serve.zip"));
        fs::remove("serve.zip");
    }
    LocalHttpServer server;
};

TEST_F(UpdaterTest, NewerDbaseReplacesTheLocalOneFailuresKeepIt) {
    struct Case {
        const char* local;  // nullptr: no local file
        const char* server;
        bool replaced;
    } cases[] = {{"1.0.0", "1.0.1", true},         {"1.0.1", "1.0.1", false},       {"2.0.0", "1.9.9", false},
                 {"2024-08-01", "2024.8.2", true}, {"1.0.0", "99999999999", false}, {nullptr, "1.0.0", true}};
    for (const auto& c : cases) {
        fs::remove("input/dbase.xml");
        const std::string localXml = c.local ? dbaseWithVersion(c.local, "LOCAL") : "";
        if (c.local) writeWholeFile("input/dbase.xml", localXml);
        const std::string serverXml = dbaseWithVersion(c.server, "SERVER");
        serveZip("dbase.zip", {{"dbase.xml", serverXml}});
        EXPECT_EQ(gf_updateDbase(), c.replaced) << c.server;
        EXPECT_EQ(readWholeFile("input/dbase.xml"), c.replaced ? serverXml : localXml) << c.server;
        EXPECT_FALSE(fs::exists("dbase.zip"));
    }
    // No version in the server's file, a broken zip, a 404.
    const std::string localXml = readWholeFile("input/dbase.xml");
    serveZip("dbase.zip", {{"dbase.xml", "<dbase><types/></dbase>"}});
    EXPECT_FALSE(gf_updateDbase());
    server.set("dbase.zip", "PK\x03\x04 broken");
    EXPECT_FALSE(gf_updateDbase());
    server.set("dbase.zip", LocalHttpServer::Answer{404, "", false});
    EXPECT_FALSE(gf_updateDbase());
    EXPECT_EQ(readWholeFile("input/dbase.xml"), localXml);
    EXPECT_FALSE(fs::exists("dbase.zip"));
    EXPECT_FALSE(fs::exists("input/dbase.xml.download"));
    EXPECT_NE(logText().find("===> dbase.zip holds no data base with a version"), std::string::npos);
}

TEST_F(UpdaterTest, NewerProgramIsReportedNotInstalled) {
    server.set("release/version.json", R"({"major": 10, "minor": 11, "patch": 0})");
    EXPECT_EQ(gf_checkProgramVersion(), (Version{10, 11, 0}));
    EXPECT_EQ(mainWindow.statusLine(), "Vandrel 10.11.0 is available, see Log.txt");
    EXPECT_NE(logText().find("Vandrel 10.11.0 is available (running 10.10.4): " + server.base() +
                             "release/setup_Vandrel_d_v10.11.0.zip"),
              std::string::npos);
    EXPECT_EQ(server.requests(), std::vector<std::string>{"release/version.json"});  // nothing else fetched
    mainWindow.reset();
    for (const char* body : {R"({"major": 10, "minor": 10, "patch": 4})", "not json"}) {
        server.set("release/version.json", body);
        EXPECT_FALSE(gf_checkProgramVersion()) << body;
        EXPECT_EQ(mainWindow.statusLine(), "");
    }
}

std::vector<std::string> simaddonFiles() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(mySimaddonFolder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(UpdaterTest, MySimaddonRefilledOnlyFromANewerWholeList) {
    fs::create_directories(mySimaddonFolder);
    writeWholeFile(mySimaddonFolder / "OLD1.txt", "old");
    writeWholeFile(mySimaddonFolder / "version.json", R"({"major":1,"minor":0,"patch":0})");
    // Same version; a broken zip; a missing zip: the folder stays as it was.
    server.set("vizozaradu24/version.json", R"({"major":1,"minor":0,"patch":0})");
    serveZip("vizozaradu24/my_simaddon2024.zip", {{"NEW.txt", "x"}});
    EXPECT_FALSE(gf_updateMySimaddon());
    const std::string version = R"({"major":1,"minor":1,"patch":0})";
    server.set("vizozaradu24/version.json", version);
    server.set("vizozaradu24/my_simaddon2024.zip", "not a zip");
    EXPECT_FALSE(gf_updateMySimaddon());
    server.set("vizozaradu24/my_simaddon2024.zip", LocalHttpServer::Answer{404, "", false});
    EXPECT_FALSE(gf_updateMySimaddon());
    // Two files that pass the unzip cap only together.
    UNZIP_LIMIT_MB.set(1);
    serveZip("vizozaradu24/my_simaddon2024.zip",
             {{"A.txt", std::string(600000, 'a')}, {"B.txt", std::string(600000, 'b')}});
    EXPECT_FALSE(gf_updateMySimaddon());
    UNZIP_LIMIT_MB.resetToDefault();
    EXPECT_EQ(simaddonFiles(), (std::vector<std::string>{"OLD1.txt", "version.json"}));
    EXPECT_FALSE(fs::exists("airports/my_simaddon.new"));

    serveZip("vizozaradu24/my_simaddon2024.zip", {{"EGLL.txt", "E"},
                                                  {"sub/", ""},
                                                  {"sub/KJFK.txt", "K"},
                                                  {"../../escape.txt", "outside"},
                                                  {"other/EGLL.txt", "second copy"},
                                                  {"version.json", "{}"}});
    std::vector<fs::path> emptied;
    gf_setRemoveAllFilesHook([&](const fs::path& folder) {
        emptied.push_back(folder);
        for (const auto& e : fs::directory_iterator(folder)) fs::remove(e.path());
    });
    ASSERT_TRUE(gf_updateMySimaddon());
    EXPECT_EQ(emptied, std::vector<fs::path>{mySimaddonFolder});
    EXPECT_EQ(simaddonFiles(),
              (std::vector<std::string>{"EGLL.txt", "KJFK.txt", "escape.txt", "version.json"}));
    EXPECT_EQ(readWholeFile(mySimaddonFolder / "EGLL.txt"), "E");  // the first of two copies
    EXPECT_EQ(readWholeFile(mySimaddonFolder / "version.json"), version);
    EXPECT_FALSE(fs::exists("escape.txt"));
    EXPECT_FALSE(fs::exists("my_simaddon2024.zip"));
    EXPECT_FALSE(fs::exists("airports/my_simaddon.new"));
    EXPECT_FALSE(gf_updateMySimaddon());  // now up to date
}

TEST_F(UpdaterTest, WholeUpdaterWithAnUnreachableServerChangesNothing) {
    writeWholeFile("input/dbase.xml", dbaseWithVersion("1.0.0", "LOCAL"));
    gf_setServerBaseForTests(LocalHttpServer::unreachableBase());
    const UpdaterOutcome outcome = gf_runUpdater();
    EXPECT_FALSE(outcome.dbaseReplaced);
    EXPECT_FALSE(outcome.mySimaddonRefilled);
    EXPECT_FALSE(outcome.newerProgram);
    EXPECT_EQ(readWholeFile("input/dbase.xml"), dbaseWithVersion("1.0.0", "LOCAL"));
    EXPECT_FALSE(fs::exists(mySimaddonFolder));
    EXPECT_EQ(mainWindow.statusLine(), "");
}

// No address is built in: without UPDATE_SERVER nothing is asked of anyone, and the log says so
// once; an http address is refused the same way.
TEST_F(UpdaterTest, WithoutAnHttpsServerTheUpdaterAsksNothing) {
    writeWholeFile("input/dbase.xml", dbaseWithVersion("1.0.0", "LOCAL"));
    serveZip("dbase.zip", {{"dbase.xml", dbaseWithVersion("2.0.0", "SERVER")}});
    server.set("release/version.json", R"({"major": 99, "minor": 0, "patch": 0})");
    gf_resetRefdata();  // the test base goes: the setting decides
    const std::pair<std::string, std::string> cases[] = {
        {"", "no update server set (UPDATE_SERVER): nothing is updated or downloaded"},
        {server.base(), "===> update server \"" + server.base() + "\" refused (UPDATE_SERVER)"},
    };
    for (const auto& [setting, notice] : cases) {
        UPDATE_SERVER.set(setting);
        const size_t logged = logText().size();
        for (int start = 0; start < 3; ++start) {
            EXPECT_FALSE(gf_runUpdater().dbaseReplaced);
            EXPECT_FALSE(gf_updateDbase());
            EXPECT_FALSE(gf_checkProgramVersion());
            EXPECT_FALSE(gf_updateMySimaddon());
        }
        const std::string log = logText().substr(logged);
        EXPECT_EQ(log.rfind(notice, 0), 0u) << log;
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;  // the notice alone, once
    }
    EXPECT_TRUE(server.requests().empty());
    EXPECT_EQ(readWholeFile("input/dbase.xml"), dbaseWithVersion("1.0.0", "LOCAL"));
    EXPECT_EQ(mainWindow.statusLine(), "");
}

}  // namespace
}  // namespace vdl::test
