#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "files_fixture.h"
#include "refdata/zip_archive.h"
#include "support/http_server.h"
#include "support/odd_files.h"

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

TEST_F(ZipTest, ListsEntriesAndReadsThemWholeOrInChunks) {
    // Two full chunks and a bit: the chunk edges must neither lose nor repeat bytes.
    const std::string big = randomBytes(2 * ZipArchive::chunkSize + 4321, 7);
    const std::string exact = randomBytes(ZipArchive::chunkSize, 8);
    makeZip("a.zip",
            {{"big.bin", big}, {"sub/", ""}, {"sub/two.xml", "<x/>"}, {"exact.bin", exact}, {"empty", ""}});
    ZipArchive zip("a.zip");
    ASSERT_TRUE(zip.open()) << zip.error();
    ASSERT_EQ(zip.entries().size(), 5u);
    EXPECT_EQ(zip.entries()[0].size, big.size());
    EXPECT_TRUE(zip.entries()[1].isDirectory());
    EXPECT_EQ(zip.readText(*zip.findEntry("sub/two.xml")), std::optional<std::string>("<x/>"));
    EXPECT_EQ(zip.readText(*zip.findEntry("empty")), std::optional<std::string>(""));
    EXPECT_FALSE(zip.findEntry("two.xml"));
    ASSERT_TRUE(zip.readToFile(*zip.findEntry("big.bin"), "big.bin")) << zip.error();
    EXPECT_EQ(readWholeFile("big.bin"), big);
    std::ostringstream out;
    ASSERT_TRUE(zip.readToStream(*zip.findEntry("exact.bin"), out));
    EXPECT_EQ(out.str(), exact);
}

TEST_F(ZipTest, MissingAndBrokenArchivesFailCleanly) {
    ZipArchive missing("nothing.zip");
    EXPECT_FALSE(missing.open());
    EXPECT_NE(missing.error().find("nothing.zip"), std::string::npos);
    EXPECT_FALSE(missing.readText(ZipEntry{"x", 0, 3}));

    for (const OddFile kind : oddFileKinds()) {  // a FIFO blocked the open
        ASSERT_TRUE(makeOddFile(kind, "odd.zip"));
        ZipArchive odd("odd.zip");
        EXPECT_FALSE(odd.open()) << oddFileName(kind);
    }

    writeWholeFile("text.zip", "PK but not really a zip");
    ZipArchive notZip("text.zip");
    EXPECT_FALSE(notZip.open());

    // A stored entry with one byte changed fails its checksum; no half file is left behind.
    const std::string content = "0123456789abcdefghijklmnopqrstuvwxyz-unique-marker-0123456789";
    makeZip("crc.zip", {{"data.txt", content}}, true);
    std::string bytes = readWholeFile("crc.zip");
    bytes.at(bytes.find("unique-marker")) = 'U';
    writeWholeFile("crc.zip", bytes);
    ZipArchive corrupt("crc.zip");
    ASSERT_TRUE(corrupt.open());
    const auto entry = corrupt.findEntry("data.txt");
    ASSERT_TRUE(entry);
    EXPECT_FALSE(corrupt.readText(*entry));
    EXPECT_FALSE(corrupt.readToFile(*entry, "data.txt"));
    EXPECT_FALSE(fs::exists("data.txt"));
}

// The uncompressed size in the central directory entry of the archive's only file.
void claimSize(const fs::path& zipFile, uint32_t size) {
    std::string bytes = readWholeFile(zipFile);
    const size_t central = bytes.find("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    for (int i = 0; i < 4; ++i) bytes[central + 24 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    writeWholeFile(zipFile, bytes);
}

// Sizes come from the archive, which may lie: a claim over the cap is refused before anything
// is reserved, and a body that unpacks beyond the cap is cut there.
TEST_F(ZipTest, ReadsStayWithinTheSizeLimit) {
    makeZip("claim.zip", {{"small.txt", "hello"}}, true);
    claimSize("claim.zip", 0xFFFFFFFEu);  // about 4 GiB
    ASSERT_LT(fs::file_size("claim.zip"), 200u);
    makeZip("bomb.zip", {{"zeros.bin", std::string(3 << 20, '\0')}});
    makeZip("liar.zip", {{"zeros.bin", std::string(3 << 20, '\0')}});
    claimSize("liar.zip", 100);
    struct Case {
        const char* zip;
        uint64_t limit;
        const char* error;
    } cases[] = {
        {"claim.zip", gf_unzipLimitBytes(), "claims 4294967294 bytes, more than the limit of 209715200"},
        {"claim.zip", UINT64_MAX, "cannot read \"small.txt\""},  // no cap: still no 4 GiB buffer
        {"bomb.zip", 1 << 20, "claims 3145728 bytes, more than the limit of 1048576"},
        {"liar.zip", 1 << 20, "unpacks to more than the limit of 1048576 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zip);
        ZipArchive zip(c.zip);
        ASSERT_TRUE(zip.open()) << zip.error();
        zip.setSizeLimit(c.limit);
        const ZipEntry entry = zip.entries().at(0);
        EXPECT_FALSE(zip.readText(entry));
        EXPECT_NE(zip.error().find(c.error), std::string::npos) << zip.error();
        EXPECT_FALSE(zip.readToFile(entry, "out.bin"));
        EXPECT_FALSE(fs::exists("out.bin"));
    }
}

}  // namespace
}  // namespace vdl::test
