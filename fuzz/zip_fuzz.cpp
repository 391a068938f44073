// A downloaded zip archive: opened from the bytes as a file, its entries listed, each read as
// text and streamed in chunks. ZipArchive trusts the sizes the archive claims, so only entries
// claiming at most maxRead bytes are read as text, and a stream takes at most maxRead bytes:
// a few bytes claiming gigabytes would otherwise make every run allocate them.
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <streambuf>

#include "fuzz_support.h"
#include "refdata/zip_archive.h"

using namespace vdl;
using fuzz::gf_expect;

namespace {

constexpr uint64_t maxRead = 4 << 20;
constexpr size_t maxEntries = 64;

// Counts what it is given and fails once past maxRead, which ends the chunked read.
class CappedBuf : public std::streambuf {
  public:
    uint64_t count = 0;

  protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        if (count + static_cast<uint64_t>(n) > maxRead) return 0;
        count += static_cast<uint64_t>(n);
        return n;
    }
    int_type overflow(int_type c) override { return xsputn(nullptr, 1) == 1 ? c : traits_type::eof(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzz::InScratchDir inScratch;
    fuzz::gf_writeFile("in.zip", fuzz::gf_text(data, size));
    ZipArchive zip("in.zip");
    if (!zip.open()) {
        gf_expect(!zip.error().empty(), "failed open without error");
        return 0;
    }
    const auto entries = zip.entries();
    for (size_t i = 0; i < entries.size() && i < maxEntries; ++i) {
        const ZipEntry& e = entries[i];
        const auto found = zip.findEntry(e.name);
        gf_expect(found.has_value(), "listed entry not found by name");
        if (e.size <= maxRead) {
            if (const auto text = zip.readText(e))
                gf_expect(text->size() == e.size, "text size differs from entry");
        }
        CappedBuf buf;
        std::ostream out(&buf);
        if (zip.readToStream(e, out)) gf_expect(buf.count == e.size, "streamed size differs from entry");
    }
    zip.close();
    gf_expect(!zip.isOpen(), "closed zip still open");
    return 0;
}
