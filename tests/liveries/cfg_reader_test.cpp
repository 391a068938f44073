// aircraft.cfg files and [fltsim.N] sections into liveries and report lines.
#include "liveries/cfg_reader.h"

#include <gtest/gtest.h>

#include <optional>

#include "foundation/parameters.h"
#include "liveries/cfg_lines.h"
#include "liveries/livery_regcodes.h"
#include "liveries/scan_env.h"

namespace vdl::test {
namespace {

using Lines = std::vector<std::string>;

class CfgReader : public ScanEnv {
  protected:
    // One section through the rules, header "[fltsim.0]", folder "pkg/A", path "pkg/A/aircraft.cfg".
    std::list<LiveryData> section(const Lines& body, std::string_view model = "A320") {
        std::vector<std::string> owned = {"[fltsim.0]"};
        owned.insert(owned.end(), body.begin(), body.end());
        CfgLines lines(owned.begin(), owned.end());
        return gf_procesFltSimSection({7, model, "pkg/A/aircraft.cfg", "pkg/A"}, lines);
    }
    // The file's liveries, as a worker gets them (the slot counted as the folder scan does).
    std::list<LiveryData> file(const std::string& path, const std::string& text) {
        const auto p = writeCfg(path, text);
        gf_workerStarted();
        return gf_searchLiveriesinFile(3, p);
    }
};

struct SectionCase {
    const char* name;
    Lines body;
    std::string_view model;
    std::optional<LiveryData> record;  // airl, type, title, atcid, folderNo 7, cargo
    std::string report;                // the incomplete-sections line, "" for none
};

TEST_F(CfgReader, SectionRules) {
    const auto liv = [](std::string airl, std::string type, std::string title, std::string atcid, bool cargo) {
        return std::optional<LiveryData>(LiveryData{airl, type, title, atcid, 7, cargo});
    };
    const std::vector<SectionCase> cases = {
        {"plain", {"title = \"T1\" ; c", "icao_airline = DLH", "atc_id = D-ABCD"}, "A320", liv("DLH", "A320", "T1", "D-ABCD", false), ""},
        {"atc_id cut at ;", {"title=T2", "icao_airline=DLH", "atc_id=D-ABC;comment"}, "A320", liv("DLH", "A320", "T2", "D-ABC", false), ""},
        {"atc_id too short", {"title=T3", "icao_airline=DLH", "atc_id=N123"}, "A320", liv("DLH", "A320", "T3", "", false), ""},
        {"two registrations", {"title=T4", "icao_airline=DLH", "atc_id=D-ABCD, D-ABCE"}, "A320", liv("DLH", "A320", "T4", "", false), ""},
        {"wild card", {"title=T5", "icao_airline=DLH", "atc_id=D-AB*"}, "A320", liv("DLH", "A320", "T5", "", false), ""},
        {"airline DLHX", {"title=T6", "icao_airline=dlhx"}, "A320", liv("DLH", "A320", "T6", "", false), ""},
        {"airline DLHC", {"title=T7", "icao_airline=DLHC"}, "A320", liv("DLH", "A320", "T7", "", false), ""},
        {"RFO dropped silently", {"title=T8", "icao_airline=RFO"}, "A320", std::nullopt, ""},
        {"ZZZ drops the registration", {"title=T9", "icao_airline=\"\"", "atc_id=D-ABCD"}, "A320", liv("ZZZ", "A320", "T9", "", false), ""},
        {"no airline, light model", {"title=Cessna HB-CQA"}, "C172", liv("PVT", "C172", "Cessna HB-CQA", "HB-", false), ""},
        {"no airline, heavy model", {"title=T10"}, "B77W", std::nullopt, "\"pkg/A\" \"[fltsim.0]\" has no airline and no regcode info"},
        {"airline from the registration", {"title=T11", "atc_id=D-AIZX"}, "A320", liv("DLH", "A320", "T11", "D-AIZX", false), ""},
        {"unknown registration, large", {"title=T12", "atc_id=D-QQQQ"}, "A320", std::nullopt, "\"pkg/A\" \"[fltsim.0]\" has no airline and its regcode is not in my dbase (very old liv?)"},
        {"unknown registration, light", {"title=T13", "atc_id=D-QQQQ"}, "C172", liv("PVT", "C172", "T13", "D-QQQQ", false), ""},
        {"cargo", {"title=T14", "icao_airline=FDX", "atc_parking_types = cargo"}, "B77W", liv("FDX", "B77W", "T14", "", true), ""},
        {"cargo and gate", {"title=T15", "icao_airline=FDX", "atc_parking_types = GATE_HEAVY, CARGO"}, "B77W", liv("FDX", "B77W", "T15", "", false), ""},
        {"two titles", {"title=T16", "title=T16b", "icao_airline=DLH"}, "A320", std::nullopt, "pkg/A [fltsim.0] has more than one title key"},
        {"two airlines", {"title=T17", "icao_airline=DLH", "icao_airline=BAW"}, "A320", std::nullopt, "pkg/A [fltsim.0] has more than one icao_airline key"},
        {"two parking types", {"title=T18", "atc_parking_types=GATE", "atc_parking_types=RAMP"}, "A320", std::nullopt, "pkg/A [fltsim.0] has more than one atc_parking_types key"},
        {"two atc_ids", {"title=T19", "icao_airline=DLH", "atc_id=D-ABCD", "atc_id=D-ABCE"}, "A320", std::nullopt, "pkg/A, [fltsim.0], has more than one atc_id key"},
        {"commented keys are no second key", {"title=T20", "icao_airline=DLH", "atc_id=D-ABCD", ";atc_id=D-ABCE", "  //icao_airline=BAW"}, "A320", liv("DLH", "A320", "T20", "D-ABCD", false), ""},
        {"no title", {"icao_airline=DLH"}, "A320", std::nullopt, "pkg/A [fltsim.0] misses title"},
        {"adjacent quotes, later title counts", {"title=\"\"", "title=T21", "icao_airline=DLH"}, "A320", liv("DLH", "A320", "T21", "", false), ""},
        {"FenixA320 excluded", {"title=FenixA320 Lufthansa", "icao_airline=DLH"}, "A320", std::nullopt, ""},
        {"PMDG 737 excluded", {"title=PMDG 737-800 KLM", "icao_airline=KLM"}, "B738", std::nullopt, ""},
        {"stub while suppressed", {"title=T22-STUB", "icao_airline=DLH"}, "A320", std::nullopt, ""},
        {"invalid airline, then a valid one", {"title=T23", "icao_airline=QQQ", "icao_airline=DLH"}, "A320", liv("DLH", "A320", "T23", "", false), ""},
        {"trailing comment lines dropped", {"title=T24", "icao_airline=DLH", "", "//atc_id=x"}, "A320", liv("DLH", "A320", "T24", "", false), ""},
        {"don't-use title", {"title=Unwanted", "icao_airline=DLH"}, "A320", std::nullopt, ""},
        {"title already taken", {"title=T1", "icao_airline=DLH"}, "A320", std::nullopt, "pkg/A [fltsim.0] title \"T1\" already exists"},
    };
    dontUseTitles.insert("Unwanted");
    for (const auto& c : cases) {
        const size_t before = incompleteSections.size();
        const auto result = section(c.body, c.model);
        if (c.record) {
            ASSERT_EQ(result.size(), 1u) << c.name;
            EXPECT_EQ(result.front(), *c.record) << c.name;
            EXPECT_EQ(result.front().folderNo, 7) << c.name;
        } else {
            EXPECT_TRUE(result.empty()) << c.name;
        }
        const auto lines = incompleteSections.lines();
        if (c.report.empty())
            EXPECT_EQ(lines.size(), before) << c.name;
        else
            EXPECT_EQ(lines.size() == before + 1 ? lines.back() : std::string("<none>"), c.report) << c.name;
    }
    EXPECT_EQ(invalidAirlineCodes.lines(), Lines{"QQQ          in pkg/A/aircraft.cfg [fltsim.0]"});

    SUPPRESS_STUB.set(false);
    EXPECT_EQ(section({"title=T25-STUB", "icao_airline=DLH"}).size(), 1u);
}

TEST_F(CfgReader, RegistrationsLoseInvisibleCharactersAtBothEnds) {
    const char* invisible[] = {"\u00A0", "\u2007", "\u202F", "\u200B", "\u200C", "\u200D",
                               "\u200E", "\u200F", "\u2060", "\uFEFF", "\u3000", "\u00AD"};
    int n = 0;
    for (const std::string c : invisible) {
        const auto title = [&] { return "R" + std::to_string(++n); };
        // Behind, before and both; the 12-character limit counts what remains.
        for (const auto& [value, registration] :
             std::vector<std::pair<std::string, std::string>>{{"RA-89035" + c, "RA-89035"},
                                                              {c + c + "D-ABCD", "D-ABCD"},
                                                              {c + "ABCDEFGHIJKL " + c, "ABCDEFGHIJKL"},
                                                              {"     " + c + c, ""},
                                                              {"D-ABCD," + c, ""}}) {
            const auto result = section({"title=" + title(), "icao_airline=DLH", "atc_id = \"" + value + "\""});
            ASSERT_EQ(result.size(), 1u) << value;
            EXPECT_EQ(result.front().atcid, registration) << value;
        }
        // Only invisible characters: no registration to look the airline up with.
        EXPECT_TRUE(section({"title=" + title(), "atc_id = \"" + c + c + c + c + c + "\""}).empty()) << c;
    }
    EXPECT_EQ(incompleteSections.size(), std::size(invisible));
}

TEST_F(CfgReader, ControlBytesInTitleOrRegistrationRefuseTheSection) {
    const struct {
        Lines body;
        std::string report;
    } cases[] = {
        {{std::string("title=\"A\0B C-17\"", 16), "icao_airline=DLH"}, "pkg/A [fltsim.0] has a control character in its title"},
        {{"title=Esc\x1B", "icao_airline=DLH"}, "pkg/A [fltsim.0] has a control character in its title"},
        {{"title=C1", "icao_airline=DLH", "atc_id=D-AB\x1B" "CD"}, "pkg/A [fltsim.0] has a control character in its atc_id"},
        {{"title=C2", "icao_airline=DLH", std::string("atc_id=D-ABCD\0", 14)}, "pkg/A [fltsim.0] has a control character in its atc_id"},
    };
    for (const auto& c : cases) {
        const size_t before = incompleteSections.size();
        EXPECT_TRUE(section(c.body).empty()) << c.report;
        ASSERT_EQ(incompleteSections.size(), before + 1) << c.report;
        EXPECT_EQ(incompleteSections.lines().back(), c.report);
    }
    // A tab inside a title is no such byte.
    EXPECT_EQ(section({"title=\"Tab\there\"", "icao_airline=DLH"}).size(), 1u);
}

TEST_F(CfgReader, NumberingCheck) {
    const struct {
        const char* name;
        Lines lines;
        bool ok;
        std::string invalid;  // the invalid-aircraft.cfg line
    } cases[] = {
        {"0 and 2", {"[fltsim.0]", "[fltsim.2]"}, false, "p contains non-consecutive [fltsim.x] numbers at .x=2"},
        {"1 before 0", {"[fltsim.1]", "[FLTSIM.0]"}, true, ""},
        {"a repeat", {"[fltsim.0]", "[fltsim.1]", "[fltsim.1]"}, false, "p contains non-consecutive [fltsim.x] numbers at .x=1"},
        {"without number", {"[fltsim.0]", ";[fltsim.3]", "[fltsim.1]"}, false, "p contains a [fltsim.] section without a number"},
        {"commented out", {"[fltsim.0]", "//[fltsim.3]"}, true, ""},
        {"overflow", {"[fltsim.0]", "[fltsim.99999999999]"}, false, ""},
        {"no section", {"[General]", "title=x"}, true, ""},
    };
    for (const auto& c : cases) {
        const size_t before = invalidCfgFiles.size();
        CfgLines lines(c.lines.begin(), c.lines.end());
        EXPECT_EQ(gf_checkFltsimNumbers(lines, "p"), c.ok) << c.name;
        const auto reported = invalidCfgFiles.lines();
        if (c.invalid.empty())
            EXPECT_EQ(reported.size(), before) << c.name;
        else
            EXPECT_EQ(reported.back(), c.invalid) << c.name;
    }
    EXPECT_EQ(emptyCfgFiles.lines(), Lines{"p"});
    EXPECT_NE(logText().find("===> fltsim num [fltsim.99999999999] incorrect"), std::string::npos);
}

TEST_F(CfgReader, ModelRule) {
    const struct {
        const char* name;
        Lines lines;
        std::string path;
        std::string model;
    } cases[] = {
        {"first designator wins", {"[fltsim.0]", "icao_type_designator = \"\"", "icao_type_designator=b738x", "icao_type_designator=A320"}, "p1", "B738"},
        {"a fix", {"icao_type_designator = b73hx"}, "p2", "B738"},
        {"unknown code", {"icao_type_designator = QQ12"}, "p3", ""},
        {"base_container", {"base_container = \"..\\Asobo_A320_NEO\""}, "p4", "A20N"},
        {"base_container fixed", {"base_container = \"..\\Asobo_Icon\""}, "p5", ""},  // A5: in no table
        {"nothing", {"[General]"}, "p6", ""},
        {"silent for Fenix", {"[General]"}, "x/fnx-aircraft-320/y", ""},
        {"silent for PMDG", {"[General]"}, "x/pmdg-aircraft-77w/y", ""},
    };
    for (const auto& c : cases) {
        CfgLines lines(c.lines.begin(), c.lines.end());
        EXPECT_EQ(gf_modelOfFile(c.path, lines), c.model) << c.name;
    }
    EXPECT_EQ(modelFixes.lines(), Lines{"Model fix: B73H found in p2 changed into B738"});
    EXPECT_EQ(invalidModelCodes.lines(),
              (Lines{"QQ12             in p3", "A5               in p5"}));
    EXPECT_EQ(invalidCfgFiles.lines(),
              Lines{"Line icao_type_designator= is missing in [General] section of p6"});
}

TEST_F(CfgReader, SectionCutting) {
    const Lines text = {"[VERSION]", "[fltsim.0]", "a", "//[fltsim.3]", "b", "[fltsim.1]", "c", "     [x]",
                        "d", "[fltsim.2]", "e", "      [still in]", "f"};
    CfgLines lines(text.begin(), text.end());
    std::vector<Lines> sections;
    gf_cutSections(lines, false, [&](CfgLines& s) { sections.emplace_back(s.begin(), s.end()); });
    EXPECT_EQ(sections, (std::vector<Lines>{{"[fltsim.0]", "a"},
                                            {"[fltsim.1]", "c"},
                                            {"[fltsim.2]", "e", "      [still in]", "f"}}));
    sections.clear();
    gf_cutSections(lines, true, [&](CfgLines& s) { sections.emplace_back(s.begin(), s.end()); });
    EXPECT_EQ(sections.back(), (Lines{"[fltsim.2]", "e"}));
}

TEST_F(CfgReader, FilesAndTheWorkerSlot) {
    const std::string good =
        "[GENERAL]\nicao_type_designator = \"A320\"\n[FLTSIM.1]\ntitle = \"Zwei\"\nicao_airline=DLH\n"
        "[fltsim.0]\ntitle = \"Eins Café\" ; x\nicao_airline=DLH\natc_id=D-AIZX\n";
    const auto result = file("pkg/A/aircraft.cfg", good);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result.front().title, "Zwei");
    EXPECT_EQ(result.back(), (LiveryData{"DLH", "A320", "Eins Café", "D-AIZX", 3, false}));
    EXPECT_EQ(result.back().folderNo, 3);

    // Every early exit releases the slot once.
    EXPECT_TRUE(file("pkg/B/aircraft.cfg", "[fltsim.0]\n[fltsim.2]\n").empty());
    EXPECT_TRUE(file("pkg/C/aircraft.cfg", "[fltsim.0]\ntitle=x\n").empty());  // no model
    EXPECT_TRUE(file("pkg/D/aircraft.cfg", "").empty());
    gf_workerStarted();
    EXPECT_TRUE(gf_searchLiveriesinFile(1, "pkg/missing/aircraft.cfg").empty());
    std::filesystem::create_directories("pkg/E/aircraft.cfg");  // a folder: cannot be read
    gf_workerStarted();
    EXPECT_TRUE(gf_searchLiveriesinFile(1, "pkg/E/aircraft.cfg").empty());
    gf_workerStarted();
    EXPECT_TRUE(gf_searchIvaoLiveriesinFile(1, "pkg/F/aircraft.cfg").empty());
    EXPECT_EQ(runningWorkers.load(), 0);
}

TEST_F(CfgReader, OversizedFilesAreRefusedWithAReportLine) {
    const std::string section = "[GENERAL]\nicao_type_designator = A320\n[fltsim.0]\ntitle=Big\nicao_airline=DLH\n";
    std::string tooLarge = section;
    tooLarge.resize(maxCfgBytes + 1, ' ');
    std::string tooLong = section + std::string(maxCfgLines, '\n');
    std::string atTheLimits = section + std::string(maxCfgLines - 6, '\n');
    atTheLimits.resize(maxCfgBytes, ' ');
    EXPECT_TRUE(file("pkg/L/aircraft.cfg", tooLarge).empty());
    EXPECT_TRUE(file("pkg/M/aircraft.cfg", tooLong).empty());
    EXPECT_EQ(file("pkg/N/aircraft.cfg", atTheLimits).size(), 1u);
    // The IVAO reader refuses alike.
    const std::string ivao = "Community/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg";
    gf_workerStarted();
    EXPECT_TRUE(gf_searchIvaoLiveriesinFile(1, writeCfg(ivao, tooLong)).empty());
    const auto path = [](const std::string& p) { return gf_utf8FromPath(gf_pathFromUtf8(p).make_preferred()); };
    EXPECT_EQ(invalidCfgFiles.lines(),
              (Lines{path("pkg/L/aircraft.cfg") + " is larger than 8388608 bytes and was not read",
                     path("pkg/M/aircraft.cfg") + " has more than 250000 lines and was not read",
                     path(ivao) + " has more than 250000 lines and was not read"}));
    EXPECT_EQ(runningWorkers.load(), 0);
}

TEST_F(CfgReader, IvaoModelSets) {
    const std::string root = "Community/IVAO_MTL/SimObjects/Airplanes/";
    for (const auto* folder : {"IVAO_B738", "IVAO_B738WLfa"})
        for (const auto* texture : {"texture.DLH", "texture.KLM", "texture.SP"})
            std::filesystem::create_directories(root + folder + "/" + texture);
    const std::string sections =
        "[fltsim.0]\ntitle = \"  B738 DLH Lufthansa \"\ntexture = DLH\n"
        "[fltsim.1]\ntitle = B738KLM\ntexture = KLM\n"
        "[fltsim.2]\ntitle = B738W DLH winglets\ntexture = DLH\n"
        "[fltsim.3]\ntitle = Boeing of PH-BXA\ntexture = KLM\natc_id = PH-BXA\n"
        "[fltsim.4]\ntitle = Boeing unknown\ntexture = KLM\natc_id = D-QQQQ\n"
        "[fltsim.5]\ntitle = Boeing plain\ntexture = SP\n"
        "[fltsim.6]\ntitle = B738 QQQ\ntexture = SP\n"
        "[fltsim.7]\ntitle = B738 BAW\ntexture = missing\n"
        "[fltsim.8]\ntitle = Boeing marked\ntexture = KLM\natc_id = \"\u200EPH-BXA\u00A0\"\n"
        "[fltsim.9]\ntitle = \"B738 KLM\x1B\"\ntexture = KLM\n";
    const auto plain = writeCfg(root + "IVAO_B738/aircraft.cfg", sections);
    gf_workerStarted();
    const auto result = gf_searchIvaoLiveriesinFile(2, plain);
    std::vector<std::string> got;
    for (const auto& l : result) got.push_back(fmt::format("{} {} {} {}", l.airl, l.type, l.title, l.atcid));
    EXPECT_EQ(got, (Lines{"DLH B738 B738 DLH Lufthansa ", "KLM B738 B738KLM ", "KLM B738 Boeing of PH-BXA PH-BXA",
                          "KLM B738 Boeing marked PH-BXA"}));
    const std::filesystem::path folderPath =
        std::filesystem::path("Community") / "IVAO_MTL" / "SimObjects" / "Airplanes" / "IVAO_B738";
    const std::string folder = gf_utf8FromPath(folderPath);
    EXPECT_EQ(incompleteSections.lines(),
              (Lines{folder + " [fltsim.2] misses airlinecode in title: B738W DLH winglets, and no regcode",
                     folder + " [fltsim.4] misses airlinecode in title: Boeing unknown, and regcode unknownD-QQQQ",
                     folder + " [fltsim.5] misses airlinecode in title: Boeing plain, and no regcode",
                     gf_utf8FromPath(folderPath / "texture.missing") + " [fltsim.7] does not exist",
                     folder + " [fltsim.9] has a control character in its title"}));
    EXPECT_NE(logText().find("removed spaces around title \"  B738 DLH Lufthansa \" --> \"B738 DLH Lufthansa\""),
              std::string::npos);

    // A special folder: the model is followed by "W"; the Windows separator works alike.
    gf_resetScanReports();
    const auto special = writeCfg(root + "IVAO_B738WLfa/aircraft.cfg",
                                  "[fltsim.0]\ntitle = B738W DLH\ntexture = DLH\n");
    EXPECT_EQ(gf_ivaoModelOfPath("C:\\Games\\IVAO_MTL\\SimObjects\\Airplanes\\IVAO_B738WLfa\\aircraft.cfg"), "B738");
    gf_workerStarted();
    const auto specialResult = gf_searchIvaoLiveriesinFile(2, special);
    ASSERT_EQ(specialResult.size(), 1u);
    EXPECT_EQ(specialResult.front().airl, "DLH");

    EXPECT_EQ(gf_ivaoModelOfPath("x/other/SimObjects/Airplanes/IVAO_B738/aircraft.cfg"), "");
    EXPECT_EQ(invalidModelCodes.lines().back(), "                 in x/other/SimObjects/Airplanes/IVAO_B738/aircraft.cfg");
    EXPECT_EQ(runningWorkers.load(), 0);
}

}  // namespace
}  // namespace vdl::test
