#include "refdata/packages.h"

#include <filesystem>
#include <string>

#include "files_fixture.h"
#include "foundation/parameters.h"
#include "refdata/hooks.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

class PackagesTest : public RefFilesTest {};

TEST_F(PackagesTest, InstalledPackagesPathLine) {
    const std::vector<std::pair<const char*, std::optional<std::string>>> cases = {
        {"InstalledPackagesPathNextBoot \"E:\\New Place\"\r\nInstalledPackagesPath \"C:\\My Sim "
         "Packages\"\r\n",
         "C:\\My Sim Packages"},  // a prefix match would take the sibling key
        {"InstalledPackagesPathNextBoot \"E:\\New\"\n", std::nullopt},
        {"  \tInstalledPackagesPath\t\"/mnt/sim/My Packages\"  \n", "/mnt/sim/My Packages"},
        {"InstalledPackagesPath \"\"\n", std::nullopt},
    };
    for (const auto& [cfg, expected] : cases) EXPECT_EQ(gf_installedPackagesPath(cfg), expected) << cfg;
}

TEST_F(PackagesTest, CommunityPathFromUserCfgUnderTheLocalDataFolder) {
    const fs::path cfg =
        work.path() / "data/Packages/Microsoft.FlightSimulator_8wekyb3d8bbwe/LocalCache/UserCfg.opt";
    fs::create_directories(cfg.parent_path());
    writeWholeFile(cfg, "InstalledPackagesPathNextBoot \"/next\"\nInstalledPackagesPath \"" +
                            (work.path() / "Sim Packages").string() + "\"\n");
    MSFS_2020.set(true);
    ASSERT_TRUE(gf_deriveCommunityPath());
    EXPECT_EQ(gf_communityPath(), work.path() / "Sim Packages" / "Community");
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), (work.path() / "Sim Packages").string());
    // A path set by the user wins over UserCfg.opt; backslashes are separators.
    MSFS_INSTALL_PATH.set("\\mnt\\sim\\Packages");
    ASSERT_TRUE(gf_deriveCommunityPath());
    EXPECT_EQ(gf_communityPath(), fs::path("/mnt/sim/Packages/Community"));
    // The other simulator has its own parameter and UserCfg.opt, here missing.
    MSFS_2020.set(false);
    EXPECT_FALSE(gf_deriveCommunityPath());
    EXPECT_TRUE(gf_communityPath().empty());
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
    const fs::path bgl =
        makePackage("orbx-airport-eham",
                    "\xEF\xBB\xBF{\"title\": \"EHAM Amsterdam\", \"manufacturer\": \"Orbx\", "
                    "\"creator\": \"Orbx Simulation Systems\", \"package_version\": \"1.0.0\"}");
    // Written the way the simulator's users write paths.
    std::string windowsStyle = bgl.string();
    std::replace(windowsStyle.begin(), windowsStyle.end(), '/', '\\');
    for (const std::string& text : {bgl.string(), windowsStyle}) {
        const ManifestInfo m = gf_searchManifest(text);
        EXPECT_TRUE(m.found && m.title == "EHAM Amsterdam" && m.manufacturer == "Orbx") << text;
        EXPECT_EQ(m.creator, "Orbx Simulation Systems");
        EXPECT_EQ(m.packageFolder.filename(), "orbx-airport-eham");
    }
    EXPECT_FALSE(gf_searchManifest(makePackage("no-manifest", "").string()).found);
    EXPECT_FALSE(gf_searchManifest(makePackage("bad-json", "{\"title\": ").string()).found);
}

TEST_F(PackagesTest, PublisherByFolderManufacturerCreatorOrUnknown) {
    fs::create_directories("input");
    writeWholeFile("input/dbase.xml",
                   R"(<dbase><types><t icao="A320" cat="2"/></types><ICAO_airlines><a icao="DLH"/>
</ICAO_airlines><publishers><p name="FlyTampa" alias="flytampa"/><p name="Orbx" alias="Orbx Simulation Systems"/>
<p name="JustSim" alias="justsim"/><p name="Fly Tampa X" alias="flytampa-x"/></publishers></dbase>)");
    gf_loadDbase();
    struct Case {
        const char* folder;
        const char* manifest;
        const char* publisher;
    } cases[] = {
        {"flytampa-dubai", R"({"creator":"someone"})", "FlyTampa"},
        {"FlyTampa_EKCH", "", "FlyTampa"},
        {"flytampa-x-lowm", "{}", "Fly Tampa X"},  // the longest folder key wins
        {"mycompany-lszh", R"({"manufacturer":"JustSim","creator":"Orbx Simulation Systems"})",
         "JustSim"},  // first
        {"mycompany-lsgg", R"({"manufacturer":"","creator":"  orbx simulation systems "})", "Orbx"},
        {"microsoft-airport-egll", R"({"creator":"JustSim"})", "simaddon"},
        {"flytampalike-abcd", R"({"manufacturer":"Nobody","creator":"Noone"})", "unknown"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_findPublisher(makePackage(c.folder, c.manifest).string()).publisher, c.publisher)
            << c.folder;
    const auto lines = gf_takePendingScanLog();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "publisher unknown for package \"flytampalike-abcd\", manufacturer \"Nobody\", "
                        "creator \"Noone\""),
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
