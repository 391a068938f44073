#include "foundation/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vdl {
namespace {

using Items = std::vector<std::string>;

TEST(TextTest, PluralQuotedAndFloatText) {
    EXPECT_EQ(gf_plural(1), "");
    EXPECT_EQ(gf_plural(0), "s");
    EXPECT_EQ(gf_plural(-1), "");
    EXPECT_EQ(gf_plural(size_t{0}), "s");

    const std::pair<const char*, const char*> quoted[] = {
        {"title = \"Airbus A320 Lufthansa\"", "Airbus A320 Lufthansa"},
        {"no quotes at all", "no quotes at all"},
        {"open \"but never closed", ""},
        {"\"first\" and \"second\"", "first"},
    };
    for (const auto& [in, out] : quoted) EXPECT_EQ(gf_quoted(in), out) << in;

    const std::pair<float, const char*> floats[] = {
        {24.0f, "24"}, {0.5f, "0.5"}, {-0.5f, "-0.5"}, {23.96f, "24.0"}};
    for (const auto& [v, out] : floats) EXPECT_EQ(gf_floatText(v), out) << v;
}

TEST(TextTest, SplitAndTrim) {
    const std::pair<const char*, Items> cases[] = {
        {"", {}},
        {"a,b,", {"a", "b", ""}},  // a trailing delimiter gives an empty item
        {" a \t, b\r\n ,c", {"a", "b", "c"}},
        {"   ", {""}},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(gf_split(in, ','), out) << "'" << in << "'";
    std::string list = "A320, A321 ,\tB738\r\n";
    gf_trimCommaList(list);
    EXPECT_EQ(list, "A320,A321,B738");
}

TEST(TextTest, StarBanner) {
    const std::string text = "live traffic livery matching summary";  // 36 characters
    EXPECT_EQ(gf_starBanner(64, 0, true, false, text),
              "\n" + std::string(31, '*') + " " + text + " " + std::string(31, '*'));
    EXPECT_EQ(gf_starBanner(64, 36, false, true, ""), std::string(100, '*') + "\n");
    EXPECT_EQ(gf_starBanner(3, 0, false, false, ""), "****");      // widths rounded up to even
    EXPECT_EQ(gf_starBanner(5, 0, false, false, "abcd"), "abcd");  // 6 is not above 4 + 2
    EXPECT_EQ(gf_starBanner(7, 0, false, false, "abcd"), "*** abcd ***");
}

}  // namespace
}  // namespace vdl
