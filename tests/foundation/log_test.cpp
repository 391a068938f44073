#include "foundation/log.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <thread>
#include <vector>

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

TEST(LogTest, FirstLineNamesTimeProgramVersionAndSimulator) {
    TempWorkDir dir;
    gf_setTestClock(1796591924);
    ASSERT_TRUE(gf_openLog(gf_simulatorName()));
    gf_closeLog();
    EXPECT_EQ(readWholeFile("Log.txt"),
              "Sun Dec 06 21:18:44 2026 (utc) Vandrel version 10.10.4 for MSFS 2020\n");
    MSFS_2020.set(false);
    EXPECT_EQ(gf_simulatorName(), "MSFS 2024");
}

TEST(LogTest, LineKinds) {
    TempWorkDir dir;
    gf_log("before the log is open");
    ASSERT_TRUE(gf_openLog("MSFS 2024", "sub.log"));
    EXPECT_TRUE(gf_logIsOpen());
    gf_log("plain");
    gf_logError("it broke");
    gf_logIndented("continued");
    gf_logString(std::string("a string"));
    gf_closeLog();
    gf_log("after closing");
    auto lines = gf_readFileLines("sub.log");
    ASSERT_TRUE(lines.has_value());
    ASSERT_EQ(lines->size(), 5u);
    EXPECT_EQ((*lines)[1], "plain");
    EXPECT_EQ((*lines)[2], "===> it broke");
    EXPECT_EQ((*lines)[3], "          continued");
    EXPECT_EQ((*lines)[4], "a string");
    EXPECT_FALSE(std::filesystem::exists("Log.txt"));
}

TEST(LogTest, ReopeningStartsAFreshLog) {
    TempWorkDir dir;
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    gf_log("first run");
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    gf_closeLog();
    EXPECT_EQ(readWholeFile("Log.txt").find("first run"), std::string::npos);
    EXPECT_FALSE(gf_openLog("MSFS 2020", "no/such/folder/Log.txt"));
    EXPECT_FALSE(gf_logIsOpen());
}

TEST(LogTest, LinesFromManyThreadsStayWhole) {
    TempWorkDir dir;
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                gf_log(fmt::format("thread {} line {} {}", t, i, std::string(50, 'x')));
        });
    std::thread closer([] { gf_logError("closing soon"); });
    for (auto& th : threads) th.join();
    closer.join();
    gf_closeLog();
    auto lines = gf_readFileLines("Log.txt");
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(lines->size(), 1u + 800u + 1u);
    std::regex whole(R"(thread \d line \d+ x{50}|===> closing soon)");
    for (size_t i = 1; i < lines->size(); ++i)
        EXPECT_TRUE(std::regex_match((*lines)[i], whole)) << (*lines)[i];
}

TEST(UserErrorTest, MessageCarriesTheCodeExceptFor99) {
    struct Case {
        int code;
        const char* text;
        const char* what;
    };
    const Case cases[] = {
        {65, "stand file has no stands", "65: stand file has no stands"},
        {94, "", "94: "},
        {99, "just the text", "just the text"},
        {-1, "negative", "-1: negative"},
    };
    for (const Case& c : cases) {
        try {
            throw UserErrorException(c.code, c.text);
        } catch (const std::runtime_error& e) {  // callers may catch it as a standard error
            EXPECT_STREQ(e.what(), c.what);
            auto* user = dynamic_cast<const UserErrorException*>(&e);
            ASSERT_NE(user, nullptr);
            EXPECT_EQ(user->code(), c.code);
            EXPECT_EQ(user->text(), c.text);
        }
    }
}

TEST(VersionTest, FromText) {
    struct Case {
        const char* text;
        std::optional<Version> v;
    };
    const Case cases[] = {
        {"10.10.4", Version{10, 10, 4}},
        {"version 1.2.3 beta", Version{1, 2, 3}},
        {"1-2-3", Version{1, 2, 3}},  // any character separates
        {"v2024.05.017", Version{2024, 5, 17}},
        {"1.2", std::nullopt},
        {"", std::nullopt},
        {"a.b.c", std::nullopt},
        {"99999999999.1.1", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(Version::fromText(c.text), c.v) << c.text;
}

TEST(VersionTest, FromJson) {
    using nlohmann::json;
    struct Case {
        const char* json;
        std::optional<Version> v;
    };
    const Case cases[] = {
        {R"({"major": 10, "minor": 10, "patch": 5})", Version{10, 10, 5}},
        {R"({"patch": 0, "minor": 2, "major": 1, "other": "x"})", Version{1, 2, 0}},
        {R"({"major": "11", "minor": "0", "patch": "1"})", Version{11, 0, 1}},
        {R"({"major": 10, "minor": 10})", std::nullopt},
        {R"({"major": -1, "minor": 0, "patch": 0})", std::nullopt},
        {R"({"major": 1.5, "minor": 0, "patch": 0})", std::nullopt},
        {R"({"major": "x", "minor": 0, "patch": 0})", std::nullopt},
        {R"({"major": 99999999999, "minor": 0, "patch": 0})", std::nullopt},
        {R"([10, 10, 4])", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(Version::fromJson(json::parse(c.json)), c.v) << c.json;
}

TEST(VersionTest, TextAndOrder) {
    EXPECT_EQ(programVersion.text(), "10.10.4");
    EXPECT_EQ(Version::fromText(programVersion.text()), programVersion);
    const Version ordered[] = {{0, 0, 0}, {0, 0, 9},   {0, 1, 0},   {1, 0, 0},  {1, 0, 10},
                               {1, 2, 0}, {10, 10, 4}, {10, 10, 5}, {10, 11, 0}};
    for (size_t i = 0; i + 1 < std::size(ordered); ++i) {
        EXPECT_LT(ordered[i], ordered[i + 1]) << ordered[i].text() << " " << ordered[i + 1].text();
        EXPECT_NE(ordered[i], ordered[i + 1]);
        EXPECT_GT(ordered[i + 1], ordered[i]);
    }
}

}  // namespace
}  // namespace vdl
