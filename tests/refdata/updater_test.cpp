#include <filesystem>
#include <string>

#include "files_fixture.h"
#include "refdata/download.h"
#include "refdata/hooks.h"
#include "refdata/updater.h"
#include "shell/window/main_window.h"
#include "support/refdata_http_server.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

std::string dbaseWithVersion(const std::string& version, const std::string& marker) {
    return "<dbase><meta><info name=\"author\" value=\"x\"/><info name=\"version\" value=\"" + version +
           "\"/></meta><types><t icao=\"" + marker + "\"/></types></dbase>\n";
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

    void serveDbase(const std::string& xml) {
        makeZip("serve.zip", {{"dbase.xml", xml}});
        server.set("dbase.zip", readWholeFile("serve.zip"));
        fs::remove("serve.zip");
    }

    LocalHttpServer server;
};

TEST_F(UpdaterTest, MetaVersionReadsTriplesAndPlainNumbers) {
    struct Case {
        const char* value;
        std::optional<Version> expected;
    } cases[] = {
        {"1.2.3", Version{1, 2, 3}}, {"7", Version{7, 0, 0}}, {"2024.8", Version{2024, 8, 0}}, {"2024-08-01", Version{2024, 8, 1}},
        {"v 3.10.0 beta", Version{3, 10, 0}}, {"none", std::nullopt}, {"", std::nullopt},
        {"99999999999", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        writeWholeFile("m.xml", std::string("<x><meta><info name=\"version\" value=\"") + c.value + "\"/></meta></x>");
        EXPECT_EQ(gf_metaVersion("m.xml"), c.expected);
    }
    writeWholeFile("m.xml", "<x><meta><info name=\"date\" value=\"1.2.3\"/></meta></x>");
    EXPECT_FALSE(gf_metaVersion("m.xml"));
    EXPECT_FALSE(gf_metaVersion("missing.xml"));
}

TEST_F(UpdaterTest, NewerDbaseReplacesTheLocalOneOthersKeepIt) {
    struct Case {
        const char* name;
        const char* local;   // nullptr: no local file
        const char* server;  // version on the server
        bool replaced;
    } cases[] = {
        {"newer", "1.0.0", "1.0.1", true},       {"plain numbers", "7", "8", true},
        {"same", "1.0.1", "1.0.1", false},       {"older", "2.0.0", "1.9.9", false},
        {"no local copy", nullptr, "1.0.0", true}, {"local without version", "", "0.0.1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove("input/dbase.xml");
        const std::string localXml = c.local ? dbaseWithVersion(c.local, "LOCAL") : "";
        if (c.local) writeWholeFile("input/dbase.xml", localXml);
        if (c.local && std::string(c.local).empty()) writeWholeFile("input/dbase.xml", "<dbase/>");
        const std::string serverXml = dbaseWithVersion(c.server, "SERVER");
        serveDbase(serverXml);
        EXPECT_EQ(gf_updateDbase(), c.replaced);
        if (c.replaced) {
            EXPECT_EQ(readWholeFile("input/dbase.xml"), serverXml);
        } else {
            EXPECT_EQ(readWholeFile("input/dbase.xml"), localXml);
        }
        EXPECT_FALSE(fs::exists("dbase.zip"));
        EXPECT_FALSE(fs::exists("input/dbase.xml.download"));
    }
}

TEST_F(UpdaterTest, DbaseFailuresLeaveTheLocalFile) {
    const std::string localXml = dbaseWithVersion("1.0.0", "LOCAL");
    writeWholeFile("input/dbase.xml", localXml);
    // No version in the server's file, a broken zip, a 404, and nobody listening.
    serveDbase("<dbase><types/></dbase>");
    EXPECT_FALSE(gf_updateDbase());
    server.set("dbase.zip", "PK\x03\x04 broken");
    EXPECT_FALSE(gf_updateDbase());
    server.set("dbase.zip", LocalHttpServer::Answer{404, "", false});
    EXPECT_FALSE(gf_updateDbase());
    gf_setServerBaseForTests(LocalHttpServer::unreachableBase());
    EXPECT_FALSE(gf_updateDbase());
    EXPECT_EQ(readWholeFile("input/dbase.xml"), localXml);
    EXPECT_FALSE(fs::exists("dbase.zip"));
    EXPECT_FALSE(fs::exists("input/dbase.xml.download"));
    const std::string log = logText();
    EXPECT_NE(log.find("===> dbase.zip holds no data base with a version"), std::string::npos);
    EXPECT_NE(log.find("===> download of \"" + server.base() + "dbase.zip\" failed"), std::string::npos);
}

TEST_F(UpdaterTest, NewerProgramIsReportedNotInstalled) {
    server.set("release/version.json", R"({"major": 10, "minor": 11, "patch": 0})");
    const auto v = gf_checkProgramVersion();
    ASSERT_TRUE(v);
    EXPECT_EQ(*v, (Version{10, 11, 0}));
    EXPECT_EQ(mainWindow.statusLine(), "Vandrel 10.11.0 is available, see Log.txt");
    EXPECT_NE(logText().find("Vandrel 10.11.0 is available (running 10.10.4): " + server.base() +
                             "release/setup_Vandrel_d_v10.11.0.zip"),
              std::string::npos);
    EXPECT_EQ(server.requests(), std::vector<std::string>{"release/version.json"});  // nothing else fetched

    mainWindow.reset();
    for (const char* body : {R"({"major": 10, "minor": 10, "patch": 4})", R"({"major": 9, "minor": 99, "patch": 99})",
                             R"({"major": "x"})", "not json"}) {
        SCOPED_TRACE(body);
        server.set("release/version.json", body);
        EXPECT_FALSE(gf_checkProgramVersion());
        EXPECT_EQ(mainWindow.statusLine(), "");
    }
    gf_setServerBaseForTests(LocalHttpServer::unreachableBase());
    EXPECT_FALSE(gf_checkProgramVersion());
}

class MySimaddonTest : public UpdaterTest {
protected:
    void SetUp() override {
        UpdaterTest::SetUp();
        fs::create_directories(mySimaddonFolder);
        writeWholeFile(mySimaddonFolder / "OLD1.txt", "archive/simaddon/OLD1.xml\n");
        writeWholeFile(mySimaddonFolder / "version.json", R"({"major":1,"minor":0,"patch":0})");
    }
    void serveList(const std::string& version, const std::vector<std::pair<std::string, std::string>>& files) {
        server.set("vizozaradu24/version.json", version);
        makeZip("serve.zip", files);
        server.set("vizozaradu24/my_simaddon2024.zip", readWholeFile("serve.zip"));
        fs::remove("serve.zip");
    }
    static std::vector<std::string> folderFiles() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(mySimaddonFolder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(MySimaddonTest, NewerListRefillsTheFolder) {
    const std::string version = R"({"major":1,"minor":1,"patch":0})";
    serveList(version, {{"EGLL.txt", "archive/simaddon/EGLL.xml\n"},
                        {"sub/", ""},
                        {"sub/KJFK.txt", "archive/simaddon/KJFK.xml\n"},
                        {"../../escape.txt", "outside"},
                        {"other/EGLL.txt", "second copy"},
                        {"version.json", "{}"}});
    std::vector<fs::path> emptied;
    gf_setRemoveAllFilesHook([&](const fs::path& folder) {
        emptied.push_back(folder);
        gf_emptyFolder(folder);
    });
    ASSERT_TRUE(gf_updateMySimaddon());
    EXPECT_EQ(emptied, std::vector<fs::path>{mySimaddonFolder});
    EXPECT_EQ(folderFiles(), (std::vector<std::string>{"EGLL.txt", "KJFK.txt", "escape.txt", "version.json"}));
    EXPECT_EQ(readWholeFile(mySimaddonFolder / "KJFK.txt"), "archive/simaddon/KJFK.xml\n");
    EXPECT_EQ(readWholeFile(mySimaddonFolder / "EGLL.txt"), "archive/simaddon/EGLL.xml\n");
    EXPECT_EQ(readWholeFile(mySimaddonFolder / "version.json"), version);
    EXPECT_FALSE(fs::exists("escape.txt"));
    EXPECT_FALSE(fs::exists("my_simaddon2024.zip"));
    EXPECT_FALSE(fs::exists("airports/my_simaddon.new"));

    // Now up to date: nothing fetched but the version.
    EXPECT_FALSE(gf_updateMySimaddon());
    const auto requests = server.requests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "vizozaradu24/my_simaddon2024.zip"), 1);
}

TEST_F(MySimaddonTest, FailuresLeaveTheFolderAsItWas) {
    const std::vector<std::string> before = folderFiles();
    // Same version; a broken zip; a missing zip; an unreadable version; an unreachable server.
    serveList(R"({"major":1,"minor":0,"patch":0})", {{"NEW.txt", "x"}});
    EXPECT_FALSE(gf_updateMySimaddon());
    server.set("vizozaradu24/version.json", R"({"major":2,"minor":0,"patch":0})");
    server.set("vizozaradu24/my_simaddon2024.zip", "not a zip");
    EXPECT_FALSE(gf_updateMySimaddon());
    server.set("vizozaradu24/my_simaddon2024.zip", LocalHttpServer::Answer{404, "", false});
    EXPECT_FALSE(gf_updateMySimaddon());
    server.set("vizozaradu24/version.json", "{\"major\":");
    EXPECT_FALSE(gf_updateMySimaddon());
    gf_setServerBaseForTests(LocalHttpServer::unreachableBase());
    EXPECT_FALSE(gf_updateMySimaddon());
    EXPECT_EQ(folderFiles(), before);
    EXPECT_EQ(readWholeFile(mySimaddonFolder / "OLD1.txt"), "archive/simaddon/OLD1.xml\n");
    EXPECT_FALSE(fs::exists("my_simaddon2024.zip"));
    EXPECT_FALSE(fs::exists("airports/my_simaddon.new"));
}

TEST_F(UpdaterTest, WholeUpdaterWithAnUnreachableServerChangesNothing) {
    const std::string localXml = dbaseWithVersion("1.0.0", "LOCAL");
    writeWholeFile("input/dbase.xml", localXml);
    gf_setServerBaseForTests(LocalHttpServer::unreachableBase());
    EXPECT_FALSE(gf_runUpdater());
    EXPECT_EQ(readWholeFile("input/dbase.xml"), localXml);
    EXPECT_FALSE(fs::exists(mySimaddonFolder));
    EXPECT_EQ(mainWindow.statusLine(), "");
}

}  // namespace
}  // namespace vdl::test
