// What the RealTraffic TCP link reads: the version reply to "Qs999=version". The handshake takes
// the reply's first line, trimmed; the whole text is tried as well for replies without a line end.
#include <cstdint>
#include <string>

#include "feed/rt_link.h"
#include "foundation/text.h"
#include "fuzz_support.h"

using namespace vdl;
using fuzz::gf_expect;

namespace {

void lf_parse(std::string_view text) {
    std::optional<Version> version;
    std::optional<int> level;
    gf_parseVersionReply(text, version, level);
    if (version) {
        gf_expect(version->major >= 0 && version->minor >= 0 && version->patch >= 0, "negative version part");
        gf_expect(Version::fromText(version->text()) == version, "version text does not read back");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto text = fuzz::gf_text(data, size);
    lf_parse(text);
    lf_parse(gf_trim(text.substr(0, text.find('\n'))));
    Version::fromText(text);
    return 0;
}
