#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "files_fixture.h"
#include "refdata/zip_archive.h"
#include "support/refdata_http_server.h"

namespace vdl::test {
namespace {

namespace fs = std::filesystem;

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

class ZipTest : public RefFilesTest {};

TEST_F(ZipTest, ListsEntriesAndReadsThemWhole) {
    makeZip("a.zip", {{"one.txt", "first\nline"}, {"sub/", ""}, {"sub/two.xml", "<x/>"}, {"empty.txt", ""}});
    ZipArchive zip("a.zip");
    ASSERT_TRUE(zip.open()) << zip.error();
    const auto entries = zip.entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "one.txt");
    EXPECT_EQ(entries[0].size, 10u);
    EXPECT_TRUE(entries[1].isDirectory());
    EXPECT_FALSE(entries[2].isDirectory());
    EXPECT_EQ(zip.readText(entries[0]), std::optional<std::string>("first\nline"));
    EXPECT_EQ(zip.readText(*zip.findEntry("sub/two.xml")), std::optional<std::string>("<x/>"));
    EXPECT_EQ(zip.readText(*zip.findEntry("empty.txt")), std::optional<std::string>(""));
    EXPECT_FALSE(zip.findEntry("two.xml"));
}

TEST_F(ZipTest, EntryLargerThanOneChunkIsStreamedWhole) {
    // Two full chunks and a bit: the chunk edges must neither lose nor repeat bytes.
    const std::string big = randomBytes(2 * ZipArchive::chunkSize + 4321, 7);
    const std::string exact = randomBytes(ZipArchive::chunkSize, 8);
    makeZip("big.zip", {{"big.bin", big}, {"exact.bin", exact}});
    ZipArchive zip("big.zip");
    ASSERT_TRUE(zip.open());
    ASSERT_TRUE(zip.readToFile(*zip.findEntry("big.bin"), "big.bin")) << zip.error();
    EXPECT_EQ(readWholeFile("big.bin"), big);
    std::ostringstream out;
    ASSERT_TRUE(zip.readToStream(*zip.findEntry("exact.bin"), out));
    EXPECT_EQ(out.str(), exact);
}

TEST_F(ZipTest, ZipMadeByTheZipToolReads) {
    if (std::system("command -v zip >/dev/null 2>&1") != 0) GTEST_SKIP() << "no zip tool";
    writeWholeFile("dbase.xml", "<dbase>" + std::string(700000, 'a') + "</dbase>");
    ASSERT_EQ(std::system("zip -q -9 tool.zip dbase.xml"), 0);
    ZipArchive zip("tool.zip");
    ASSERT_TRUE(zip.open());
    EXPECT_EQ(zip.readText(*zip.findEntry("dbase.xml")), std::optional<std::string>(readWholeFile("dbase.xml")));
}

TEST_F(ZipTest, MissingAndBrokenArchivesFailCleanly) {
    ZipArchive missing("nothing.zip");
    EXPECT_FALSE(missing.open());
    EXPECT_NE(missing.error().find("nothing.zip"), std::string::npos);
    EXPECT_TRUE(missing.entries().empty());
    EXPECT_FALSE(missing.readText(ZipEntry{"x", 0, 3}));

    writeWholeFile("text.zip", "PK but not really a zip");
    ZipArchive notZip("text.zip");
    EXPECT_FALSE(notZip.open());

    // A stored entry with one byte changed fails its checksum; no half file is left behind.
    const std::string content = "0123456789abcdefghijklmnopqrstuvwxyz-unique-marker-0123456789";
    makeZip("crc.zip", {{"data.txt", content}}, true);
    std::string bytes = readWholeFile("crc.zip");
    const auto at = bytes.find("unique-marker");
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'U';
    writeWholeFile("crc.zip", bytes);
    ZipArchive corrupt("crc.zip");
    ASSERT_TRUE(corrupt.open());
    const auto entry = corrupt.findEntry("data.txt");
    ASSERT_TRUE(entry);
    EXPECT_FALSE(corrupt.readText(*entry));
    EXPECT_FALSE(corrupt.readToFile(*entry, "data.txt"));
    EXPECT_FALSE(fs::exists("data.txt"));
}

TEST_F(ZipTest, MovedArchiveStaysUsable) {
    makeZip("m.zip", {{"a", "b"}});
    ZipArchive first("m.zip");
    ASSERT_TRUE(first.open());
    ZipArchive second = std::move(first);
    EXPECT_FALSE(first.isOpen());
    ASSERT_TRUE(second.isOpen());
    EXPECT_EQ(second.readText(second.entries().at(0)), std::optional<std::string>("b"));
}

}  // namespace
}  // namespace vdl::test
