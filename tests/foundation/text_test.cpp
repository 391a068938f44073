#include "foundation/text.h"

#include "foundation/encoding.h"

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

TEST(TextTest, InvisibleCharactersLeaveBothEndsOnly) {
    // Each invisible character before and after a registration; the ones inside stay.
    const char* invisible[] = {"\u00A0", "\u2007", "\u202F", "\u200B", "\u200C", "\u200D", "\u200E",
                               "\u200F", "\u2060", "\uFEFF", "\u3000", "\u00AD", "\u1680", "\u2028",
                               "\u0085", "\u061C", "\u206F", "\U000E0001", "\U000E007F", " ", "\t"};
    for (const char* c : invisible) {
        const std::string s(c);
        EXPECT_EQ(gf_trimInvisible(s + "RA-89035" + s + s), "RA-89035") << s;
        EXPECT_EQ(gf_trimInvisible(s + "RA" + s + "89035"), "RA" + s + "89035") << s;
        EXPECT_EQ(gf_trimInvisible(s + s), "") << s;
    }
    // Neighbours of the ranges are visible; so are bytes of no valid sequence, and a cut sequence.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\u2010x\u2010", "\u2010x\u2010"},
        {"\u2030x\u2065", "\u2030x\u2065"},
        {"\u00A1x\u00A1", "\u00A1x\u00A1"},
        {"\x1Fx\x1F", "\x1Fx\x1F"},
        {"\xA0x\xA0", "\xA0x\xA0"},
        {"x\xC2", "x\xC2"},
        {"\xE2\x80x\u00A0", "\xE2\x80x"},
        {"\u00A0\xC2\xA0\xC2", "\xC2"},  // C2 A0 is a no-break space too
        {"\U0001F600\u200E", "\U0001F600"},
        {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(gf_trimInvisible(in), out) << in;
    EXPECT_FALSE(gf_isInvisible(0x1F));
    EXPECT_TRUE(gf_isInvisible(0x200A));
    EXPECT_FALSE(gf_isInvisible(0xE0080));
}

TEST(TextTest, DecodedTextsAreMadeInOnePiece) {
    // UTF-16: a pair, an unpaired high and low surrogate, a dangling last byte.
    const std::string le("A\0\xAC\x20\x3D\xD8\x00\xDE\x3D\xD8" "B\0\x00\xDC\xE9\0\x01", 17);
    const std::string out = gf_utf16BytesToUtf8(le, false);
    EXPECT_EQ(out, "A€\U0001F600\uFFFDB\uFFFDé\uFFFD");
    std::string many;
    for (int i = 0; i < 1000; ++i) many += std::string("A\0\xAC\x20\xE9\0", 6);
    const std::string manyOut = gf_utf16BytesToUtf8(many, false);
    EXPECT_EQ(manyOut.size(), 6000u);
    EXPECT_LE(manyOut.capacity(), manyOut.size() + 3);  // no doubling: the size was counted first
    std::string be;
    for (size_t i = 0; i + 1 < 16; i += 2) be += std::string{le[i + 1], le[i]};
    EXPECT_EQ(gf_utf16BytesToUtf8(be, true), "A€\U0001F600\uFFFDB\uFFFDé");

    // Windows-1252 lines among UTF-8 ones; every byte of 0x80..0xFF once.
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
    const std::string mixed = gf_mixedLinesToUtf8("Café\n" + high + "\nTürk\r\n" + high);
    const std::string decoded = gf_ansiToUtf8(high);
    EXPECT_EQ(mixed, "Café\n" + decoded + "\nTürk\r\n" + decoded);
    EXPECT_EQ(mixed.capacity(), mixed.size());
    EXPECT_EQ(decoded.substr(0, 3), "€");
    EXPECT_EQ(decoded.substr(decoded.size() - 2), "ÿ");
    EXPECT_EQ(decoded.capacity(), decoded.size());
}

}  // namespace
}  // namespace vdl
