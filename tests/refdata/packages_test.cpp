#include <filesystem>
#include <string>

#include "files_fixture.h"
#include "foundation/parameters.h"
#include "refdata/hooks.h"
#include "refdata/packages.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

class PackagesTest : public RefFilesTest {};

TEST_F(PackagesTest, InstalledPackagesPathLine) {
    struct Case {
        const char* name;
        const char* cfg;
        std::optional<std::string> expected;
    } cases[] = {
        {"plain", "UseLowMemory 0\nInstalledPackagesPath \"D:\\MSFS\\Packages\"\n", "D:\\MSFS\\Packages"},
        {"next boot first",
         "InstalledPackagesPathNextBoot \"E:\\New Place\"\r\nInstalledPackagesPath \"C:\\Users\\Me\\Flight Sim Packages\"\r\n",
         "C:\\Users\\Me\\Flight Sim Packages"},
        {"only next boot", "InstalledPackagesPathNextBoot \"E:\\New\"\n", std::nullopt},
        {"indented with tab", "  \tInstalledPackagesPath\t\"/mnt/sim/My Packages\"  \n", "/mnt/sim/My Packages"},
        {"unquoted", "InstalledPackagesPath D:\\Packages\n", "D:\\Packages"},
        {"empty value", "InstalledPackagesPath \"\"\n", std::nullopt},
        {"no line", "{Graphics\nVersion 1.1\n}\n", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gf_installedPackagesPath(c.cfg), c.expected);
    }
}

TEST_F(PackagesTest, CommunityPathFromUserCfgUnderTheLocalDataFolder) {
    const fs::path cfg = work.path() / "data/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache/UserCfg.opt";
    fs::create_directories(cfg.parent_path());
    writeWholeFile(cfg, "InstalledPackagesPathNextBoot \"/next\"\nInstalledPackagesPath \"" +
                            (work.path() / "Sim Packages").string() + "\"\n");
    MSFS_2020.set(true);
    ASSERT_TRUE(gf_deriveCommunityPath());
    EXPECT_EQ(gf_communityPath(), work.path() / "Sim Packages" / "Community");
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), (work.path() / "Sim Packages").string());
    EXPECT_EQ(gf_installPath("Official"), work.path() / "Sim Packages" / "Official");

    // A path set by the user wins over UserCfg.opt; backslashes are separators.
    MSFS_INSTALL_PATH.set("\\mnt\\sim\\Packages");
    ASSERT_TRUE(gf_deriveCommunityPath());
    EXPECT_EQ(gf_communityPath(), fs::path("/mnt/sim/Packages/Community"));
}

TEST_F(PackagesTest, SimulatorChoosesItsParameterAndItsUserCfg) {
    MSFS_2020.set(false);
    EXPECT_TRUE(gf_installPath("Community").empty());
    EXPECT_FALSE(gf_deriveCommunityPath());
    EXPECT_TRUE(gf_communityPath().empty());
    const fs::path cfg = work.path() / "config/Microsoft Flight Simulator 2024/UserCfg.opt";
    fs::create_directories(cfg.parent_path());
    writeWholeFile(cfg, "InstalledPackagesPath \"/p24\"\n");
    ASSERT_TRUE(gf_deriveCommunityPath());
    EXPECT_EQ(gf_communityPath(), fs::path("/p24/Community"));
    EXPECT_EQ(MSFS_2024_INSTALL_PATH.value(), "/p24");
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), "");
}

// Community/<package>/scenery/<deep folders>/file.bgl
fs::path makePackage(const std::string& folder, const std::string& manifest) {
    const fs::path pkg = fs::current_path() / "Community" / folder;
    const fs::path bgl = pkg / "scenery" / "world" / "airports" / "deep" / "AIRPORT.bgl";
    fs::create_directories(bgl.parent_path());
    writeWholeFile(bgl, "BGL");
    if (!manifest.empty()) writeWholeFile(pkg / "manifest.json", manifest);
    return bgl;
}

TEST_F(PackagesTest, ManifestFoundFromAFileDeepInThePackage) {
    const fs::path bgl = makePackage("orbx-airport-eham",
                                     "\xEF\xBB\xBF{\"title\": \"EHAM Amsterdam\", \"manufacturer\": \"Orbx\", "
                                     "\"creator\": \"Orbx Simulation Systems\", \"package_version\": \"1.0.0\"}");
    // Written the way the simulator's users write paths.
    std::string windowsStyle = bgl.string();
    std::replace(windowsStyle.begin(), windowsStyle.end(), '/', '\\');
    for (const std::string& text : {bgl.string(), windowsStyle}) {
        const ManifestInfo m = gf_searchManifest(text);
        ASSERT_TRUE(m.found);
        EXPECT_EQ(m.title, "EHAM Amsterdam");
        EXPECT_EQ(m.manufacturer, "Orbx");
        EXPECT_EQ(m.creator, "Orbx Simulation Systems");
        EXPECT_EQ(m.packageFolder.filename(), "orbx-airport-eham");
    }
    EXPECT_FALSE(gf_searchManifest(makePackage("no-manifest", "").string()).found);
    EXPECT_FALSE(gf_searchManifest(makePackage("bad-json", "{\"title\": ").string()).found);
    const ManifestInfo odd = gf_searchManifest(makePackage("odd-json", R"({"title": 5, "creator": "X"})").string());
    EXPECT_TRUE(odd.found);
    EXPECT_EQ(odd.title, "");
    EXPECT_EQ(odd.creator, "X");
}

TEST_F(PackagesTest, PublisherByFolderManufacturerCreatorOrUnknown) {
    fs::create_directories("input");
    writeWholeFile("input/dbase.xml", R"(<dbase><meta><info name="version" value="3"/></meta>
<types><t icao="A320" cat="2"/></types><ICAO_airlines><a icao="DLH"/></ICAO_airlines>
<publishers><p name="FlyTampa" alias="flytampa"/><p name="Orbx" alias="Orbx Simulation Systems"/>
<p name="JustSim" alias="justsim"/><p name="Aerosoft" alias="aerosoft"/><p name="Fly Tampa X" alias="flytampa-x"/></publishers>
</dbase>)");
    gf_loadDbase();
    struct Case {
        const char* folder;
        const char* manifest;
        const char* publisher;
    } cases[] = {
        {"flytampa-dubai", R"({"creator":"someone"})", "FlyTampa"},
        {"FlyTampa_EKCH", "", "FlyTampa"},
        {"flytampa-x-lowm", "{}", "Fly Tampa X"},  // the longest folder key wins
        {"mycompany-lszh", R"({"manufacturer":"JustSim","creator":"Orbx Simulation Systems"})", "JustSim"},
        {"mycompany-lsgg", R"({"manufacturer":"","creator":"  orbx simulation systems "})", "Orbx"},
        {"microsoft-airport-egll", R"({"creator":"JustSim"})", "simaddon"},
        {"asobo-airport-lfpg", "", "simaddon"},
        {"fs-base-genericairports", "{}", "simaddon"},
        {"flytampalike-abcd", R"({"manufacturer":"Nobody","creator":"Noone"})", "unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        const fs::path bgl = makePackage(c.folder, c.manifest);
        const PublisherInfo p = gf_findPublisher(bgl.string());
        EXPECT_EQ(p.publisher, c.publisher);
    }
    const PublisherInfo lsgg = gf_findPublisher(makePackage("mycompany-lsgg", "").string());
    EXPECT_EQ(lsgg.creator, "  orbx simulation systems ");
    const auto lines = gf_takePendingScanLog();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "publisher unknown for package \"flytampalike-abcd\", manufacturer \"Nobody\", creator \"Noone\""),
              lines.end());
    EXPECT_TRUE(gf_takePendingScanLog().empty());

    // Once the airport scan sets its log, lines go there.
    std::vector<std::string> scanLog;
    gf_setAirportsScanLogHook([&](const std::string& line) { scanLog.push_back(line); });
    EXPECT_EQ(gf_findPublisher("/nowhere/Community/x-y/a.bgl").publisher, "unknown");
    EXPECT_EQ(scanLog.size(), 2u);  // no manifest, unknown publisher
    EXPECT_TRUE(gf_takePendingScanLog().empty());
}

}  // namespace
}  // namespace vdl::test
