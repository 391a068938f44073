// The aircraft.cfg line matchers against the regular expressions they replace, the key readers,
// and the four encodings of a file.
#include "liveries/cfg_lines.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>

#include "liveries/cfg_reader.h"
#include "support/data_env.h"
#include "support/odd_files.h"

namespace vdl::test {
namespace {

// Random lines made of the pieces that matter to the patterns, up to `maxPieces` pieces.
std::string randomLine(std::mt19937& rng, const std::vector<std::string>& pieces, size_t maxPieces) {
    std::uniform_int_distribution<size_t> count(0, maxPieces), pick(0, pieces.size() - 1);
    std::string line;
    for (size_t n = count(rng); n > 0; --n) line += pieces[pick(rng)];
    return line;
}

const std::vector<std::string> keyPieces = {" ",  "\t", "\r", "\v", "\f", "\n", "=",  "\"", ";",   "//", "a",
                                            "Z",  "9",  "é",  ".",  "[",  "]",  "-",  "_",  "  ",  "= ", "title",
                                            "TITLE", "TiTle", "atc_id", "ATC_ID", "texture", "icao_airline"};

TEST(CfgLines, KeyMatchersAgreeWithTheRegularExpressions) {
    std::mt19937 rng(19);
    for (const std::string key : {"title", "texture", "base_container", "icao_type_designator", "atc_id",
                                  "icao_airline", "atc_parking_types"}) {
        const std::regex pattern("\\s*(" + key + ")\\s*=\\s*(.*\\S)\\s*", std::regex::icase | std::regex::ECMAScript);
        std::vector<std::string> pieces = keyPieces;
        size_t matches = 0;
        pieces.push_back(key);
        pieces.push_back(" " + key + " = ");
        for (int i = 0; i < 1500; ++i) {
            // Every tenth line is long (up to about 1,000 characters); a line often starts with the key.
            std::string line = (i % 3 == 0 ? " " + key + " =" : std::string()) +
                               randomLine(rng, pieces, i % 10 == 0 ? 200 : 12);
            std::smatch m;
            const bool matched = std::regex_match(line, m, pattern);
            const auto mine = gf_cfgRawValue(line, key);
            ASSERT_EQ(matched, mine.has_value()) << key << " line \"" << line << "\"";
            if (matched) {
                ASSERT_EQ(m[2].str(), std::string(*mine)) << key << " line \"" << line << "\"";
                ++matches;
            }
        }
        EXPECT_GT(matches, 100u) << key;
    }
}

TEST(CfgLines, HeaderMatcherAgreesWithTheRegularExpression) {
    const std::regex pattern("\\s*(\\[fltsim\\.)(\\d+)\\]\\s*", std::regex::icase | std::regex::ECMAScript);
    const std::vector<std::string> pieces = {" ", "\t", "\r", "[fltsim.", "[FLTSIM.", "[FltSim.", "[fltsim",
                                             "0", "7", "12", "]", "x", ".", "//", ";", "é"};
    std::mt19937 rng(6);
    size_t matches = 0;
    for (int i = 0; i < 4000; ++i) {
        // Half of them are headers with a piece or two around or inside.
        const std::string line = i % 2 ? randomLine(rng, pieces, i % 10 == 1 ? 300 : 6)
                                       : randomLine(rng, {" ", "\t", ""}, 2) + "[FltSim." +
                                             randomLine(rng, {"1", "23", "0"}, 3) + randomLine(rng, pieces, 1) + "]" +
                                             randomLine(rng, {" ", "\r", "", "x"}, 2);
        std::smatch m;
        const bool matched = std::regex_match(line, m, pattern);
        const auto mine = gf_fltsimHeaderDigits(line);
        ASSERT_EQ(matched, mine.has_value()) << "line \"" << line << "\"";
        if (matched) {
            ASSERT_EQ(m[2].str(), std::string(*mine)) << "line \"" << line << "\"";
            ++matches;
        }
    }
    EXPECT_GT(matches, 100u);
}

TEST(CfgLines, IvaoPatternsAgreeWithTheRegularExpressions) {
    // The separators of the pattern taken as either '\' or '/'.
    const std::string sep = "[\\\\/]";
    const auto pathPattern = [&](const std::string& set) {
        return std::regex(".+" + sep + set + sep + "SimObjects" + sep + "Airplanes" + sep + "IVAO_(\\w+)" + sep +
                              "aircraft.cfg$",
                          std::regex::icase | std::regex::ECMAScript);
    };
    const std::regex mtl = pathPattern("IVAO_MTL"), csl = pathPattern("ivao_x-csl");
    const std::vector<std::string> pieces = {"\\", "/", "IVAO_MTL", "ivao_x-csl", "SimObjects", "Airplanes", "IVAO_",
                                             "aircraft", ".", "cfg", "B738", "x", "_", "-", " ", "\r", "é"};
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coin(0, 1);
    size_t pathMatches = 0, titleMatches = 0;
    for (int i = 0; i < 3000; ++i) {
        std::string path;
        if (i % 2 == 0) {
            const char s = coin(rng) ? '\\' : '/';
            path = randomLine(rng, pieces, 3) + s + (coin(rng) ? "IVAO_MTL" : "ivao_X-CSL") + s + "SimObjects" + s +
                   "airplanes" + s + "IVAO_" + randomLine(rng, {"B738", "x", "_", "-", "é"}, 3) + s + "Aircraft" +
                   (i % 4 == 0 ? randomLine(rng, pieces, 1) : ".") + "cfg" +
                   (i % 8 == 0 ? randomLine(rng, pieces, 1) : "");
        } else {
            path = randomLine(rng, pieces, 30);
        }
        std::smatch m;
        std::string expected;
        if (std::regex_match(path, m, mtl) || std::regex_match(path, m, csl)) {
            expected = m[1].str();
            ++pathMatches;
        }
        ASSERT_EQ(expected, gf_ivaoCodeOfPath(path)) << "path \"" << path << "\"";
    }

    const std::vector<std::string> titlePieces = {"B738", "b738", "W", "w", " ", "\t", "\r", "DLH", "D", "_", "1",
                                                  "é", "-"};
    for (int i = 0; i < 3000; ++i) {
        const bool special = i % 2 == 0;
        const std::string title = (i % 3 ? "B738" : "") + randomLine(rng, titlePieces, 8);
        const std::regex airline(std::string("B738") + (special ? "W" : "") + "\\s*(\\w\\w\\w).*$",
                                 std::regex::icase | std::regex::ECMAScript);
        std::smatch m;
        const std::string expected = std::regex_match(title, m, airline) ? m[1].str() : std::string();
        titleMatches += !expected.empty();
        ASSERT_EQ(expected, gf_ivaoTitleAirline(title, "B738", special)) << "title \"" << title << "\"";
    }
    EXPECT_GT(pathMatches, 100u);
    EXPECT_GT(titleMatches, 100u);
}

TEST(CfgLines, KeyReadersApplyTheQuotingRuleAndTheirOwnLimits) {
    std::string text = "old";
    EXPECT_TRUE(gf_readTitle(R"(title = "Airbus A320 Foo" ; a comment)", text));
    EXPECT_EQ(text, "Airbus A320 Foo");
    EXPECT_TRUE(gf_readTitle(R"(  TITLE=""Second"")", text));  // adjacent quotes: the title stays
    EXPECT_EQ(text, "Airbus A320 Foo");
    EXPECT_TRUE(gf_readTitle("title=Foo Bar  ", text));
    EXPECT_EQ(text, "Foo Bar");
    EXPECT_FALSE(gf_readTitle("title =   ", text));
    EXPECT_FALSE(gf_readTitle("titles = x", text));
    EXPECT_FALSE(gf_readTitle(";title = x", text));

    EXPECT_EQ(gf_icaoTypeDesignator("icao_type_designator = \"b738x\""), "B738");
    EXPECT_EQ(gf_icaoTypeDesignator("icao_type_designator = \"\""), "");
    EXPECT_EQ(gf_icaoTypeDesignator("icao_type_designator = \"Ä320\""), "Ä32");  // never half a letter
    EXPECT_EQ(gf_baseContainerModel(R"(base_container = "..\Asobo_A320_NEO")"), "A20N");
    EXPECT_EQ(gf_baseContainerModel(R"(base_container = "..\asobo_a320_neo")"), "");  // with case
    EXPECT_EQ(gf_baseContainerModel(R"(base_container = "..")"), "");  // too short: no model, no error
    EXPECT_EQ(gf_baseContainerModel("base_container = x"), "");

    std::string airline;
    EXPECT_TRUE(gf_readIcaoAirline("icao_airline = \"dlh\"", airline));
    EXPECT_EQ(airline, "DLH");
    EXPECT_TRUE(gf_readIcaoAirline("icao_airline = \"\"", airline));
    EXPECT_EQ(airline, "ZZZ");
    EXPECT_TRUE(gf_readIcaoAirline("icao_airline = zzzz", airline));
    EXPECT_EQ(airline, "ZZZ");

    std::string reg = "none";
    EXPECT_FALSE(gf_readAtcId("atc_id = N123", reg));
    EXPECT_EQ(reg, "none");
    EXPECT_TRUE(gf_readAtcId("atc_id = \"D-ABCD\" ; reg", reg));
    EXPECT_EQ(reg, "D-ABCD");
    std::string types;
    EXPECT_FALSE(gf_readParkingTypes("atc_parking_types = \"\"", types));
    EXPECT_TRUE(gf_readParkingTypes("atc_parking_types = cargo", types));
    EXPECT_EQ(types, "cargo");

    EXPECT_EQ(gf_sectionNumber("[fltsim.12]"), "12");
    EXPECT_EQ(gf_sectionNumber(" [FltSim.3] "), "3");
    EXPECT_EQ(gf_sectionNumber("//[fltsim.3]"), "");
    EXPECT_EQ(gf_sectionNumber(";[fltsim.3]"), "10000");
    EXPECT_EQ(gf_sectionNumber("[FLTSIM.]"), "10000");
    EXPECT_EQ(gf_sectionNumber("[FltSim.x]"), "");  // neither form of the plain test
    EXPECT_TRUE(gf_mentions("atc_id=D-ABC", "atc_id="));
    EXPECT_FALSE(gf_mentions("  ;atc_id=D-ABC", "atc_id="));
    EXPECT_FALSE(gf_mentions("//icao_airline = X", "icao_airline"));
}

TEST(CfgLines, AHundredKilobyteTitleIsReadWithoutRecursion) {
    const std::string value(100'000, 'x');
    std::string title;
    EXPECT_TRUE(gf_readTitle("title = \"" + value + "\"", title));
    EXPECT_EQ(title, value);
    EXPECT_FALSE(gf_fltsimHeaderDigits("[fltsim." + std::string(100'000, '1')).has_value());
}

std::string utf16(std::u16string_view text, bool big) {
    std::string out = big ? std::string("\xFE\xFF", 2) : std::string("\xFF\xFE", 2);
    for (const char16_t u : text) {
        const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += big ? hi : lo;
        out += big ? lo : hi;
    }
    return out;
}

TEST(CfgLines, TheFourEncodingsReadAlike) {
    const std::vector<std::string_view> expected = {"[fltsim.0]", "title = \"Air Lïnes Café\"", "", "x"};
    const std::vector<std::pair<const char*, std::string>> files = {
        {"ansi (Windows-1252)", "[fltsim.0]\r\ntitle = \"Air L\xEFnes Caf\xE9\"\r\n\r\nx"},
        {"ansi that is UTF-8", "[fltsim.0]\ntitle = \"Air Lïnes Café\"\n\nx\n"},
        {"UTF-8 with mark", "\xEF\xBB\xBF[fltsim.0]\ntitle = \"Air Lïnes Café\"\n\nx"},
        {"UTF-16 LE", utf16(u"[fltsim.0]\r\ntitle = \"Air Lïnes Café\"\r\n\r\nx", false)},
        {"UTF-16 BE", utf16(u"[fltsim.0]\ntitle = \"Air Lïnes Café\"\n\nx\n", true)},
    };
    for (const auto& [name, bytes] : files) {
        CfgText cfg;
        gf_cfgFromBytes(bytes, cfg);
        EXPECT_EQ(cfg.lines, expected) << name;
    }
    TempWorkDir dir;
    writeWholeFile("a.cfg", files[3].second);
    CfgText cfg;
    ASSERT_EQ(gf_readCfgFile("a.cfg", cfg), CfgRead::Ok);
    EXPECT_EQ(cfg.lines, expected);
    EXPECT_EQ(gf_readCfgFile("missing.cfg", cfg), CfgRead::CannotOpen);
    for (const OddFile kind : oddFileKinds()) {  // a FIFO blocked the open
        ASSERT_TRUE(makeOddFile(kind, "odd.cfg"));
        EXPECT_EQ(gf_readCfgFile("odd.cfg", cfg), CfgRead::CannotOpen) << oddFileName(kind);
    }
}

TEST(CfgLines, AFileMixingWindows1252AndUtf8IsDecodedLineByLine) {
    // An edited file: UTF-8 lines among Windows-1252 ones, a line break inside neither.
    const std::string bytes =
        "[fltsim.0]\r\ntitle = \"T\xC3\xBCrk\xE2\x80\xA6\"\r\nui_variation = Caf\xE9 \x80\r\n"
        "atc_id = \"RA-89035\xC2\xA0\"\nx = \xC3\x28\n\xEF\xBB\xBFmark";
    const std::vector<std::string_view> expected = {
        "[fltsim.0]", "title = \"Türk…\"", "ui_variation = Café €", "atc_id = \"RA-89035\u00A0\"",
        "x = Ã(", "\uFEFFmark"};
    CfgText cfg;
    ASSERT_EQ(gf_cfgFromBytes(bytes, cfg), CfgRead::Ok);
    EXPECT_EQ(cfg.lines, expected);
    // A byte-order mark still decides for the whole file.
    ASSERT_EQ(gf_cfgFromBytes("\xEF\xBB\xBF" "a\n\xE9", cfg), CfgRead::Ok);
    EXPECT_EQ(cfg.lines, (std::vector<std::string_view>{"a", "\xE9"}));
}

TEST(CfgLines, LineLimitCountsTheLastLineWithoutBreak) {
    CfgText cfg;
    EXPECT_EQ(gf_cfgFromBytes(std::string(maxCfgLines, '\n'), cfg), CfgRead::Ok);
    EXPECT_EQ(cfg.lines.size(), maxCfgLines);
    EXPECT_EQ(gf_cfgFromBytes(std::string(maxCfgLines - 1, '\n') + "x", cfg), CfgRead::Ok);
    EXPECT_EQ(cfg.lines.size(), maxCfgLines);
    EXPECT_EQ(gf_cfgFromBytes(std::string(maxCfgLines, '\n') + "x", cfg), CfgRead::TooManyLines);
    EXPECT_TRUE(cfg.lines.empty());
    // UTF-16 is counted after decoding: a byte 0x0A inside a character is no line break.
    std::string wide = "\xFF\xFE";
    for (size_t i = 0; i <= maxCfgLines; ++i) wide += "\x0A\x01";  // U+010A
    EXPECT_EQ(gf_cfgFromBytes(wide, cfg), CfgRead::Ok);
    EXPECT_EQ(cfg.lines.size(), 1u);
}

}  // namespace
}  // namespace vdl::test
