#include "foundation/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vdl {
namespace {

using Items = std::vector<std::string>;

TEST(TextTest, PluralSuffix) {
    EXPECT_EQ(gf_plural(1), "");
    EXPECT_EQ(gf_plural(0), "s");
    EXPECT_EQ(gf_plural(2), "s");
    EXPECT_EQ(gf_plural(-1), "");
    EXPECT_EQ(gf_plural(-7), "");
    EXPECT_EQ(gf_plural(size_t{1}), "");
    EXPECT_EQ(gf_plural(size_t{0}), "s");
    EXPECT_EQ(gf_plural(uint32_t{3}), "s");
    EXPECT_EQ(gf_plural(int64_t{-1}), "");
}

TEST(TextTest, Quoted) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"title = \"Airbus A320 Lufthansa\"", "Airbus A320 Lufthansa"},
        {"no quotes at all", "no quotes at all"},
        {"", ""},
        {"open \"but never closed", ""},
        {"empty \"\" pair", ""},
        {"\"first\" and \"second\"", "first"},
        {"\"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(gf_quoted(c.in), c.out) << c.in;
}

TEST(TextTest, SplitAndTrim) {
    struct Case {
        const char* in;
        char delim;
        Items out;
    };
    const std::vector<Case> cases = {
        {"", ',', {}},
        {"a", ',', {"a"}},
        {"a,b", ',', {"a", "b"}},
        {"a,b,", ',', {"a", "b", ""}},
        {",", ',', {"", ""}},
        {" a \t, b\r\n ,c", ',', {"a", "b", "c"}},
        {"x;;y", ';', {"x", "", "y"}},
        {"   ", ',', {""}},
    };
    for (const Case& c : cases) EXPECT_EQ(gf_split(c.in, c.delim), c.out) << "'" << c.in << "'";
    EXPECT_EQ(gf_splitComma(" DLH , BAW,"), (Items{"DLH", "BAW", ""}));
    EXPECT_EQ(gf_trim(" \t\r\nab c\n "), "ab c");
    EXPECT_EQ(gf_trim(" \t\r\n"), "");
}

TEST(TextTest, TrimCommaList) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"A320,A321", "A320,A321"},
        {"A320, A321 ,B738", "A320,A321,B738"},
        {"A320,\tA321\r\n", "A320,A321"},
        {"", ""},
        {" ", ""},
    };
    for (const Case& c : cases) {
        std::string s = c.in;
        gf_trimCommaList(s);
        EXPECT_EQ(s, c.out) << "'" << c.in << "'";
    }
}

TEST(TextTest, StarBanner) {
    const std::string text = "live traffic livery matching summary";  // 36 characters
    EXPECT_EQ(gf_starBanner(64, 0, true, false, text),
              "\n" + std::string(31, '*') + " " + text + " " + std::string(31, '*'));
    EXPECT_EQ(gf_starBanner(64, 36, false, true, ""), std::string(100, '*') + "\n");
    EXPECT_EQ(gf_starBanner(3, 0, false, false, ""), "****");      // widths rounded up to even
    EXPECT_EQ(gf_starBanner(5, 0, false, false, "abcd"), "abcd");  // 6 is not above 4 + 2
    EXPECT_EQ(gf_starBanner(7, 0, false, false, "abcd"), "*** abcd ***");
    EXPECT_EQ(gf_starBanner(0, 0, true, true, "x"), "\nx\n");
}

TEST(TextTest, FloatText) {
    struct Case {
        float v;
        const char* out;
    };
    const Case cases[] = {
        {24.0f, "24"}, {0.0f, "0"},     {0.5f, "0.5"},    {12.25f, "12.2"},
        {-1.0f, "-1"}, {-0.5f, "-0.5"}, {23.96f, "24.0"},
    };
    for (const Case& c : cases) EXPECT_EQ(gf_floatText(c.v), c.out) << c.v;
}

TEST(TextTest, SmallHelpers) {
    EXPECT_EQ(gf_airportLabel("EDDF", "Frankfurt"), "EDDF (Frankfurt)");
    EXPECT_EQ(gf_airportLabel("EDDF", ""), "EDDF");
    EXPECT_EQ(gf_airportLabel("", "x"), "? (x)");
    EXPECT_EQ(gf_airportLabel("", ""), "?");

    EXPECT_TRUE(gf_equalsUpper("DLH", "dlh"));
    EXPECT_TRUE(gf_equalsUpper("DLH", "DLH"));
    EXPECT_FALSE(gf_equalsUpper("dlh", "dlh"));
    EXPECT_FALSE(gf_equalsUpper("DLH", "dl"));
    EXPECT_TRUE(gf_equalsUpper("", ""));

    for (const char* t : {"1", "true", "True", "yes", "Y", "t"}) EXPECT_TRUE(gf_textToBool(t)) << t;
    for (const char* t : {"", "0", "false", "no", "N", " true"}) EXPECT_FALSE(gf_textToBool(t)) << t;
}

}  // namespace
}  // namespace vdl
