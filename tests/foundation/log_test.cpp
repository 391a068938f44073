#include "foundation/log.h"

#include <gtest/gtest.h>
#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/errors.h"
#include "foundation/files.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "foundation/version.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

using test::readWholeFile;
using test::TempWorkDir;

TEST(LogTest, FirstLineAndLineKinds) {
    TempWorkDir dir;
    gf_setTestClock(1796591924);
    MSFS_2020.set(false);
    gf_log("before the log is open");
    ASSERT_TRUE(gf_openLog(gf_simulatorName()));
    gf_logError("it broke");
    gf_logIndented("continued");
    gf_closeLog();
    gf_log("after closing");
    EXPECT_EQ(readWholeFile("Log.txt"),
              "Sun Dec 06 21:18:44 2026 (utc) Vandrel version 10.10.4 for MSFS 2024\n"
              "===> it broke\n"
              "          continued\n");
    EXPECT_FALSE(gf_openLog("MSFS 2020", "no/such/folder/Log.txt"));
    EXPECT_FALSE(gf_logIsOpen());
}

// A flood of one kind of line: the allowance per interval passes, the rest is counted and the
// count comes before the next line that passes, when the log closes, or when it opens anew.
TEST(LogLimiterTest, FloodsBecomeOneCountedLine) {
    TempWorkDir dir;
    using namespace std::chrono_literals;
    const auto t0 = LogLimiter::Clock::now();
    LogLimiter limiter("refused line", 3, 10s);
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    for (int i = 0; i < 9815; ++i) limiter.write(fmt::format("refused {}", i), false, t0 + 1ms * (i % 1000));
    limiter.write("late", true, t0 + 10s);  // the next interval
    limiter.write("same interval", false, t0 + 12s);
    for (int i = 0; i < 5; ++i) limiter.write("held", true, t0 + 13s);
    gf_closeLog();
    auto lines = gf_readFileLines("Log.txt");
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(std::vector(lines->begin() + 1, lines->end()),
              (std::vector<std::string>{"refused 0", "refused 1", "refused 2",
                                        "refused line: ... and 9,812 more", "===> late", "same interval",
                                        "===> held", "===> refused line: ... and 4 more"}));

    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    limiter.write("fresh allowance", false, t0 + 14s);
    const std::string huge(1'570'000, 'x');  // a line end that never came
    limiter.write(huge, false, t0 + 14s);
    gf_closeLog();
    lines = gf_readFileLines("Log.txt");
    ASSERT_TRUE(lines.has_value());
    ASSERT_EQ(lines->size(), 3u);
    EXPECT_EQ((*lines)[1], "fresh allowance");
    EXPECT_EQ((*lines)[2], std::string(LogLimiter::maxLogLineChars, 'x') + "... (1570000 characters)");
}

// Outside text in a line: control bytes and broken UTF-8 escaped, each physical line cut; titles
// and paths keep their bytes everywhere else, so only the log escapes them.
TEST(LogTest, OutsideTextIsEscapedAndCut) {
    TempWorkDir dir;
    const std::pair<std::string, std::string> cases[] = {
        {"plain Z\xC3\xBCrich \xE2\x9C\x88", "plain Z\xC3\xBCrich \xE2\x9C\x88"},
        {std::string("nul\0here", 8), "nul\\x00here"},
        {"esc \x1B[31mred\x7F", "esc \\x1B[31mred\\x7F"},
        {"ansi Caf\xE9 \xFF", "ansi Caf\\xE9 \\xFF"},
        {"c1 \xC2\x9B" "2J cut \xE2\x9C", "c1 \\xC2\\x9B2J cut \\xE2\\x9C"},
        {"overlong \xC0\xAF", "overlong \\xC0\\xAF"},
        {"tab\tkept", "tab\tkept"},
    };
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    for (const auto& [in, out] : cases) EXPECT_EQ(gf_escapedForLog(in), out) << in;
    gf_log("Title: \x1B]0;pwned\x07");
    const std::string path(6000, 'p');
    gf_log("\nInstall path " + path + "\nnext line");
    gf_closeLog();
    const auto lines = gf_readFileLines("Log.txt");
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(std::vector(lines->begin() + 1, lines->end()),
              (std::vector<std::string>{"Title: \\x1B]0;pwned\\x07", "",
                                        ("Install path " + path).substr(0, LogFile::maxLineChars) +
                                            "... (6013 characters)",
                                        "next line"}));
}

TEST(UserErrorTest, MessageCarriesTheCodeExceptFor99) {
    for (auto [code, what] : {std::pair{65, "65: no stands"}, {99, "no stands"}}) {
        try {
            throw UserErrorException(code, "no stands");
        } catch (const std::runtime_error& e) {  // callers may catch it as a standard error
            EXPECT_STREQ(e.what(), what);
            EXPECT_EQ(dynamic_cast<const UserErrorException&>(e).code(), code);
        }
    }
}

TEST(VersionTest, FromTextAndJson) {
    const std::pair<const char*, std::optional<Version>> texts[] = {{"10.10.4", Version{10, 10, 4}},
                                                                    {"version 1.2.3 beta", Version{1, 2, 3}},
                                                                    {"1.2", std::nullopt},
                                                                    {"99999999999.1.1", std::nullopt},
                                                                    {"a 1.2 b 3_4-5 c", Version{3, 4, 5}},
                                                                    {"12345", std::nullopt},
                                                                    {"1.2\n3", std::nullopt}};
    for (const auto& [text, v] : texts) EXPECT_EQ(Version::fromText(text), v) << text;
    // A RealTraffic client's reply is outside input: a long run of digits neither crashes nor
    // parses.
    EXPECT_EQ(Version::fromText("{\"version\":\"" + std::string(30000, '1') + "\"}"), std::nullopt);
    EXPECT_EQ(Version::fromText(std::string(30000, '1') + ".2.3"), std::nullopt);
    const std::pair<const char*, std::optional<Version>> jsons[] = {
        {R"({"patch": 0, "minor": 2, "major": 1, "other": "x"})", Version{1, 2, 0}},
        {R"({"major": "11", "minor": "0", "patch": "1"})", Version{11, 0, 1}},
        {R"({"major": 10, "minor": 10})", std::nullopt},
        {R"([10, 10, 4])", std::nullopt},
    };
    for (const auto& [json, v] : jsons) EXPECT_EQ(Version::fromJson(nlohmann::json::parse(json)), v) << json;
    EXPECT_LT((Version{1, 0, 10}), (Version{1, 2, 0}));
}

}  // namespace
}  // namespace vdl
