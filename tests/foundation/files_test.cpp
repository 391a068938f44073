#include "foundation/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <list>
#include <sstream>
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

// "A€😀" with a line break, as UTF-8.
const std::string euroSmileyUtf8 = "A\xE2\x82\xAC\xF0\x9F\x98\x80";

TEST(EncodingTest, DetectFromTheFirstTwoBytes) {
    TempWorkDir dir;
    struct Case {
        std::string bytes;
        FileEncoding enc;
    };
    const Case cases[] = {
        {"\xFF\xFE"
         "A\0",
         UTF16_LE},
        {"\xFE\xFF\0A", UTF16_BE},
        {"\xEF\xBB\xBF"
         "abc",
         UTF8_BOM},
        {"abc", ANSI},
        {"", ANSI},
        {"\xFF", ANSI},
        {"\xEF\xBB", UTF8_BOM},
    };
    for (const Case& c : cases) {
        writeWholeFile("f.txt", c.bytes);
        EXPECT_EQ(gf_detectEncoding("f.txt"), c.enc);
    }
    ASSERT_TRUE(gf_openLog("MSFS 2020"));
    EXPECT_EQ(gf_detectEncoding("missing.txt"), CANNOT_OPEN);
    gf_closeLog();
    EXPECT_NE(readWholeFile("Log.txt").find("===> could not open \"missing.txt\""), std::string::npos);
}

TEST(EncodingTest, Utf16FilesWithSurrogatePairsAndByteOrderMark) {
    TempWorkDir dir;
    // A, euro sign, U+1F600 (surrogate pair D83D DE00), CR LF, "z"
    const char16_t units[] = {u'A', 0x20AC, 0xD83D, 0xDE00, u'\r', u'\n', u'z'};
    auto bytesOf = [&](bool big) {
        std::string b = big ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
        for (char16_t u : units) {
            char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
            b += big ? hi : lo;
            b += big ? lo : hi;
        }
        return b;
    };
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big endian" : "little endian");
        writeWholeFile("u16.txt", bytesOf(big));
        FileEncoding enc = gf_detectEncoding("u16.txt");
        EXPECT_EQ(enc, big ? UTF16_BE : UTF16_LE);
        Lines lines;
        ASSERT_TRUE(gf_readFileByEncoding(enc, "u16.txt", lines));
        EXPECT_EQ(lines, (Lines{euroSmileyUtf8, "z"}));
    }
}

TEST(EncodingTest, InvalidUtf16UnitsBecomeReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case {
        std::u16string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {u"", ""},
        {std::u16string{0xD83D}, fffd},              // lone high at the end
        {std::u16string{0xDE00, u'a'}, fffd + "a"},  // lone low
        {std::u16string{0xD83D, u'a'}, fffd + "a"},  // high followed by no low
        {std::u16string{0xD83D, 0xD83D, 0xDE00}, fffd + "\xF0\x9F\x98\x80"},
        {std::u16string{0x00E9, 0x07FF, 0x0800, 0xFFFF}, "\xC3\xA9\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {std::u16string{0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"},  // U+10FFFF
    };
    for (const Case& c : cases) EXPECT_EQ(gf_utf16ToUtf8(c.in), c.out);
    // A dangling last byte of an odd-sized file.
    EXPECT_EQ(gf_utf16BytesToUtf8(std::string("A\0B", 3), false), "A" + fffd);
    EXPECT_EQ(gf_utf16BytesToUtf8(std::string("\0A\0", 3), true), "A" + fffd);
}

TEST(EncodingTest, AnsiIsReadByteForByteAndUtf8LosesItsMark) {
    TempWorkDir dir;
    const std::string ansi = "Caf\xE9 M\xFCnchen\r\nline2\n\nlast";
    writeWholeFile("ansi.txt", ansi);
    Lines lines;
    ASSERT_TRUE(gf_readFileByEncoding(gf_detectEncoding("ansi.txt"), "ansi.txt", lines));
    EXPECT_EQ(lines, (Lines{"Caf\xE9 M\xFCnchen", "line2", "", "last"}));

    writeWholeFile("bom.txt", "\xEF\xBB\xBF" + euroSmileyUtf8 + "\n");
    Lines bom;
    ASSERT_TRUE(gf_readFileByEncoding(gf_detectEncoding("bom.txt"), "bom.txt", bom));
    EXPECT_EQ(bom, (Lines{euroSmileyUtf8}));

    Lines appended{"kept"};
    ASSERT_TRUE(gf_readFileByEncoding(UTF8, "bom.txt", appended));
    EXPECT_EQ(appended, (Lines{"kept", euroSmileyUtf8}));

    Lines none;
    EXPECT_FALSE(gf_readFileByEncoding(ANSI, "missing.txt", none));
    EXPECT_FALSE(gf_readFileByEncoding(CANNOT_OPEN, "ansi.txt", none));
    EXPECT_TRUE(none.empty());
}

TEST(FilesTest, ReadingLines) {
    TempWorkDir dir;
    writeWholeFile("a.txt", "one\r\ntwo\nthree");
    auto lines = gf_readFileLines("a.txt", 8);
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ(*lines, (Lines{"one", "two", "three"}));
    writeWholeFile("empty.txt", "");
    EXPECT_FALSE(gf_readFileLines("empty.txt").has_value());
    EXPECT_FALSE(gf_readFileLines("missing.txt").has_value());

    std::istringstream in("x\ny\n");
    Lines got{"before"};
    gf_readLines(in, got);
    EXPECT_EQ(got, (Lines{"before", "x", "y"}));
    EXPECT_TRUE(in.good());  // state cleared for the caller
}

TEST(FilesTest, WritingReplacesTheFileWhole) {
    TempWorkDir dir;
    writeWholeFile("out.txt", "an old and much longer content\nwith lines\n");
    EXPECT_TRUE(gf_writeLines(Lines{"a", "b"}, "out.txt"));
    EXPECT_EQ(readWholeFile("out.txt"), "a\nb\n");
    EXPECT_TRUE(gf_writeLines(std::list<std::string>{"c"}, "out.txt"));
    EXPECT_EQ(readWholeFile("out.txt"), "c\n");
    EXPECT_TRUE(gf_writeLines(Lines{}, "out.txt"));
    EXPECT_EQ(readWholeFile("out.txt"), "");

    EXPECT_TRUE(gf_writeTextFile("text", "t.txt", false));
    EXPECT_EQ(readWholeFile("t.txt"), "text");
    EXPECT_TRUE(gf_writeTextFile("text", "t.txt", true));
    EXPECT_EQ(readWholeFile("t.txt"), "text\n");

    // Nothing beside the files: the temporary copies were renamed.
    EXPECT_EQ(gf_countFiles("."), 2);
}

TEST(FilesTest, WriteFailureLeavesTheOldFileAlone) {
    TempWorkDir dir;
    EXPECT_FALSE(gf_writeLines(Lines{"a"}, "no/such/folder/x.txt"));
    EXPECT_FALSE(gf_writeTextFile("a", "no/such/folder/x.txt", true));

    // A folder in the file's place cannot be replaced; its content stays.
    std::filesystem::create_directories("taken/inner");
    EXPECT_FALSE(gf_writeTextFile("x", "taken", false));
    EXPECT_TRUE(std::filesystem::is_directory("taken/inner"));
    EXPECT_EQ(gf_countFiles("."), 0);  // no temporary file left behind
}

TEST(FilesTest, CountFiles) {
    TempWorkDir dir;
    EXPECT_EQ(gf_countFiles("missing"), 0);
    std::filesystem::create_directories("f/sub");
    writeWholeFile("f/a", "");
    writeWholeFile("f/b.xml", "x");
    writeWholeFile("f/sub/c", "x");
    EXPECT_EQ(gf_countFiles("f"), 2);
    EXPECT_EQ(gf_countFiles("f/a"), 0);
}

}  // namespace
}  // namespace vdl
