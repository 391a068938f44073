#include "foundation/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/file_system.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/utf8_path.h"
#include "foundation/xml.h"
#include "support/foundation_env.h"
#include "support/odd_files.h"
#include "support/platform.h"

namespace vdl {
namespace {

namespace fs = std::filesystem;

// With this variable set, the test binary is no test run but a writer that saves the named
// file over and over, before main, until it is killed: the victim of the kill test below.
constexpr const char* killedWriterVariable = "VDL_TEST_KILLED_WRITER";
constexpr size_t killedWriterSize = 4 << 20;

[[maybe_unused]] const bool killedWriterMode = [] {
    const auto target = gf_environmentText(killedWriterVariable);
    if (!target) return false;
    const std::filesystem::path path = gf_pathFromUtf8(*target);
    for (unsigned i = 0;; ++i) gf_replaceFile(path, std::string(killedWriterSize, i % 2 ? 'b' : 'a'));
}();

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

// Folder and file names outside ASCII survive text -> path -> file -> listing -> text.
TEST(FilesTest, NonAsciiFolderAndFileNamesRoundTripThroughUtf8) {
    TempWorkDir dir;
    const std::string folder = "Flugsimulation/J\xC3\xBCrgen \xE2\x82\xAC";  // "Jürgen €"
    const std::string file = folder + "/Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC.txt";  // "Zürich 東京"
    std::filesystem::create_directories(gf_pathFromUtf8(folder));
    ASSERT_TRUE(gf_writeTextFile("x", gf_pathFromUtf8(file), false));

    std::vector<fs::path> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator("Flugsimulation"))
        found.push_back(entry.path().lexically_relative("."));
    std::sort(found.begin(), found.end());
    ASSERT_EQ(found, (std::vector<fs::path>{gf_pathFromUtf8(folder).make_preferred(),
                                            gf_pathFromUtf8(file).make_preferred()}));
    EXPECT_EQ(gf_utf8FromPath(found[1].filename()), "Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC.txt");
    EXPECT_EQ(gf_utf8FromPath(found[0].filename()), "J\xC3\xBCrgen \xE2\x82\xAC");
    EXPECT_EQ(gf_utf8FromPath(gf_pathFromUtf8(file)), file);
    EXPECT_EQ(gf_utf8FromPath(gf_pathFromUtf8(file).filename()), "Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC.txt");
}

// Only names of the writer's exact form whose process is gone are removed. The made-up
// process ids lie above the largest the kernel hands out.
TEST(FilesTest, StaleTemporaryFilesGoAndEveryOtherFileStays) {
    TempWorkDir dir;
    const std::string self = std::to_string(gf_currentProcessId());
    const std::vector<std::string> stale = {"parameters.xml.99999999.0.tmp",
                                            "LiveriesScanned.xml.4194305.17.tmp",
                                            "a b.\u00E9.99999998.4294967295.tmp"};
    // The last one has a running writer: this process.
    const std::vector<std::string> kept = {"notes.tmp",
                                           "parameters.xml.tmp",
                                           "a.12.tmp",
                                           "a.99999999.1.tmp.bak",
                                           ".99999999.1.tmp",
                                           "a.-99999999.1.tmp",
                                           "a.9999x.1.tmp",
                                           "a.99999999.1.TMP",
                                           "a..1.tmp",
                                           "a.99999999..tmp",
                                           "a.0.1.tmp",
                                           "a.99999999.4294967296.tmp",
                                           "a." + self + ".0.tmp"};
    fs::create_directories("folder/sub");
    for (const auto& name : stale) writeWholeFile("folder/" + name, "x");
    for (const auto& name : kept) writeWholeFile("folder/" + name, "x");
    writeWholeFile("folder/sub/deeper.txt.99999999.2.tmp", "x");
    fs::create_directories("folder/dir.99999999.3.tmp");            // not a file
    std::error_code noLinks;  // MinGW's library makes none
    fs::create_symlink("notes.tmp", "folder/link.99999999.4.tmp", noLinks);  // not followed, not removed
    ASSERT_TRUE(gf_openLog("MSFS 2020", "Log.txt"));

    EXPECT_EQ(gf_removeStaleTempFiles("folder", false), 3);
    for (const auto& name : stale) EXPECT_FALSE(fs::exists("folder/" + name)) << name;
    for (const auto& name : kept) EXPECT_TRUE(fs::exists("folder/" + name)) << name;
    EXPECT_TRUE(fs::exists("folder/sub/deeper.txt.99999999.2.tmp"));
    EXPECT_TRUE(fs::is_directory("folder/dir.99999999.3.tmp"));
    if (!noLinks) {
        EXPECT_TRUE(fs::is_symlink("folder/link.99999999.4.tmp"));
    }
    EXPECT_EQ(gf_removeStaleTempFiles("folder", true), 1);
    EXPECT_FALSE(fs::exists("folder/sub/deeper.txt.99999999.2.tmp"));
    EXPECT_EQ(gf_removeStaleTempFiles("none", true), 0);
    gf_closeLog();
    EXPECT_NE(readWholeFile("Log.txt").find("3 left-over temporary files removed from \"folder\""),
              std::string::npos);
}

// A real writer killed mid-save: the file stays whole, and what it leaves behind is cleaned up.
TEST(FilesTest, KilledWriterLeavesTheFileWholeAndItsTemporaryFileIsRemoved) {
    TempWorkDir dir;
    const fs::path target = dir.path() / "saved.xml";
    const std::string first(killedWriterSize, 'a'), second(killedWriterSize, 'b');
    writeWholeFile(target, first);
    writeWholeFile("mine.tmp", "the user's");
    auto tempsOf = [&](uint32_t pid) {
        int n = 0;
        const std::string prefix = "saved.xml." + std::to_string(pid) + ".";
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (gf_utf8FromPath(e.path().filename()).rfind(prefix, 0) == 0) ++n;
        return n;
    };
    int leftOver = 0;
    for (int round = 0; round < 40 && leftOver < 3; ++round) {
        test::ChildProcess writer(killedWriterVariable, gf_utf8FromPath(target));
        // Kill it as soon as it is seen writing.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (tempsOf(writer.id()) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        writer.kill();
        ASSERT_EQ(writer.wait(), test::ChildProcess::killed) << "the writer ended by itself";
        const std::string now = readWholeFile(target);
        EXPECT_TRUE(now == first || now == second) << "damaged: " << now.size() << " bytes";
        leftOver += tempsOf(writer.id());
    }
    ASSERT_GT(leftOver, 0) << "no writer was caught mid-save";
    EXPECT_EQ(gf_removeStaleTempFiles(dir.path(), false), leftOver);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(gf_utf8FromPath(e.path().filename()));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"mine.tmp", "saved.xml"}));
}

// A folder claims an absurd size to some readers, and opening a FIFO waits for a writer for
// good: the readers by name take neither for a file.
TEST(FilesTest, OnlyRegularFilesAreRead) {
    TempWorkDir dir;
    test::writeWholeFile("plain.xml", "<a/>\n");
    EXPECT_TRUE(gf_isRegularFile("plain.xml"));
    EXPECT_FALSE(gf_isRegularFile("missing.xml"));
    EXPECT_EQ(gf_loadXmlFile(*std::make_unique<pugi::xml_document>(), "missing.xml").status, pugi::status_file_not_found);
    for (const test::OddFile kind : test::oddFileKinds()) {
        const char* name = test::oddFileName(kind);
        ASSERT_TRUE(test::makeOddFile(kind, "odd.xml")) << name;
        EXPECT_FALSE(gf_isRegularFile("odd.xml")) << name;
        EXPECT_EQ(gf_detectEncoding("odd.xml"), CANNOT_OPEN) << name;
        std::vector<std::string> lines;
        EXPECT_FALSE(gf_readFileByEncoding(UTF8, "odd.xml", lines)) << name;
        EXPECT_FALSE(gf_readFileLines("odd.xml", 4).has_value()) << name;
        pugi::xml_document doc;
        EXPECT_EQ(gf_loadXmlFile(doc, "odd.xml").status, pugi::status_io_error) << name;
    }
}

}  // namespace
}  // namespace vdl
