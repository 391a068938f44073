#include "foundation/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/log.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

using Lines = std::vector<std::string>;
using test::readWholeFile;
using test::TempWorkDir;
using test::writeWholeFile;

const std::string euroSmileyUtf8 = "A\xE2\x82\xAC\xF0\x9F\x98\x80";  // "A€😀"
const std::string fffd = "\xEF\xBF\xBD";

TEST(EncodingTest, Utf16FilesWithSurrogatePairsAndByteOrderMark) {
    TempWorkDir dir;
    // A, euro sign, U+1F600 (surrogate pair D83D DE00), CR LF, "z"
    const char16_t units[] = {u'A', 0x20AC, 0xD83D, 0xDE00, u'\r', u'\n', u'z'};
    for (bool big : {false, true}) {
        std::string b = big ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t u : units) {
            char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
            b += big ? hi : lo;
            b += big ? lo : hi;
        }
        writeWholeFile("u16.txt", b);
        FileEncoding enc = gf_detectEncoding("u16.txt");
        EXPECT_EQ(enc, big ? UTF16_BE : UTF16_LE);
        Lines lines;
        ASSERT_TRUE(gf_readFileByEncoding(enc, "u16.txt", lines));
        EXPECT_EQ(lines, (Lines{euroSmileyUtf8, "z"})) << big;
    }
}

TEST(EncodingTest, InvalidUtf16UnitsBecomeReplacementCharacters) {
    const std::pair<std::u16string, std::string> cases[] = {
        {std::u16string{0xD83D}, fffd},              // lone high at the end
        {std::u16string{0xDE00, u'a'}, fffd + "a"},  // lone low
        {std::u16string{0xD83D, 0xD83D, 0xDE00}, fffd + "\xF0\x9F\x98\x80"},
        {std::u16string{0x07FF, 0x0800, 0xFFFF}, "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {std::u16string{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},  // U+10FFFF
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(gf_utf16ToUtf8(in), out);
    EXPECT_EQ(gf_utf16BytesToUtf8(std::string("A\0B", 3), false), "A" + fffd);  // odd-sized file
}

TEST(EncodingTest, AnsiIsReadByteForByteAndUtf8LosesItsMark) {
    TempWorkDir dir;
    writeWholeFile("ansi.txt", "Caf\xE9 M\xFCnchen\r\nline2\n\nlast");
    Lines lines;
    ASSERT_TRUE(gf_readFileByEncoding(gf_detectEncoding("ansi.txt"), "ansi.txt", lines));
    EXPECT_EQ(lines, (Lines{"Caf\xE9 M\xFCnchen", "line2", "", "last"}));

    writeWholeFile("bom.txt", "\xEF\xBB\xBF" + euroSmileyUtf8 + "\n");
    Lines bom{"kept"};
    ASSERT_TRUE(gf_readFileByEncoding(gf_detectEncoding("bom.txt"), "bom.txt", bom));
    EXPECT_EQ(bom, (Lines{"kept", euroSmileyUtf8}));
    EXPECT_FALSE(gf_readFileByEncoding(ANSI, "missing.txt", lines));
    EXPECT_EQ(gf_detectEncoding("missing.txt"), CANNOT_OPEN);
}

// Files are written to a temporary file and renamed, so a crash never leaves them truncated.
TEST(FilesTest, WritingReplacesTheFileWholeOrLeavesItAlone) {
    TempWorkDir dir;
    writeWholeFile("out.txt", "an old and much longer content\nwith lines\n");
    EXPECT_TRUE(gf_writeLines(Lines{"a", "b"}, "out.txt"));
    EXPECT_EQ(readWholeFile("out.txt"), "a\nb\n");
    EXPECT_TRUE(gf_writeTextFile("text", "t.txt", true));
    EXPECT_EQ(readWholeFile("t.txt"), "text\n");
    EXPECT_EQ(gf_countFiles("."), 2);  // no temporary copies left

    EXPECT_FALSE(gf_writeLines(Lines{"a"}, "no/such/folder/x.txt"));
    std::filesystem::create_directories("taken/inner");
    EXPECT_FALSE(gf_writeTextFile("x", "taken", false));  // a folder in the file's place stays
    EXPECT_TRUE(std::filesystem::is_directory("taken/inner"));
    EXPECT_EQ(gf_countFiles("."), 2);
}

}  // namespace
}  // namespace vdl
