#include "airports/stand_info.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <system_error>

#include "airports/stand_file.h"
#include "airports/stand_load.h"
#include "airports/stand_locations.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/utf8_path.h"
#include "foundation/xml.h"
#include "refdata/download.h"

namespace vdl {

namespace fs = std::filesystem;

namespace {

constexpr double noStandNm = 100.0;
constexpr int32_t offlineLearningWeeks = 20;

void lf_removeCopy(const fs::path& copy) {
    std::error_code ec;
    fs::remove(copy, ec);
    if (ec) gf_logError(fmt::format("cannot remove \"{}\": {}", gf_utf8FromPath(copy), ec.message()));
}

}  // namespace

std::string gf_readApfPublisher(const fs::path& path) {
    pugi::xml_document doc;
    if (!gf_loadXmlFile(doc, path)) return {};
    return gf_apfStringValue(doc, "publisher").value_or("");
}

std::string gf_readApfCreatorCheck(const fs::path& path) {
    pugi::xml_document doc;
    if (!gf_loadXmlFile(doc, path)) return fmt::format("\"{}\" not found", gf_utf8FromPath(path));
    const auto publisher = gf_apfStringValue(doc, "publisher");
    if (!publisher || *publisher != "unknown") return {};
    const std::string manufacturer = gf_apfStringValue(doc, "manufacturer").value_or("");
    const std::string creator = gf_apfStringValue(doc, "creator").value_or("");
    if (manufacturer.size() >= 4 || creator.size() >= 4) return {};
    return fmt::format("{}={}, {}={}", "manufacturer", manufacturer, "creator", creator);
}

bool gf_isOfflineLearningCandidate(const std::string& code) {
    const fs::path copy = gf_apfXmlPath(code);
    const std::string url = gf_stockUrl(code);
    if (url.empty()) return false;  // no update server: nothing fetched, no failure to report
    bool candidate = false;
    bool fetched = false;
    if (gf_isAirportCode(code)) {
        CurlHandle handle;
        fetched = gf_download(handle.get(), url, copy, false);
    }
    pugi::xml_document doc;
    if (fetched && gf_loadXmlFile(doc, copy)) {
        lf_removeCopy(copy);
        const int32_t real = gf_apfIntValue(doc, "Qf_real").value_or(-1);
        const int32_t soft = gf_apfIntValue(doc, "Qf_soft").value_or(-1);
        if (real >= 0 || soft >= 0) {
            const auto week = gf_apfIntValue(doc, "WEEK");
            candidate = week && *week >= offlineLearningWeeks;
        }
        return candidate;
    }
    if (fetched) lf_removeCopy(copy);
    gf_logError(fmt::format("{} Not suitable for offline learning", code));
    return false;
}

double gf_readDestApfForClosestStand(const std::string& code, double lat, double lon, std::string& standId) {
    const std::string reference = gf_findApf(code);
    if (reference.empty()) return noStandNm;
    const fs::path copy = "airport.xml";
    const bool local = reference.compare(0, 8, "airports") == 0;
    if (!local && !gf_downloadApf(reference, copy).empty()) return noStandNm;
    pugi::xml_document doc;
    const bool loaded = static_cast<bool>(gf_loadXmlFile(doc, local ? gf_pathFromUtf8(reference) : copy));
    pugi::xml_node parkpositions = doc.child("parkpositions");
    if (!loaded || !parkpositions) {
        if (!local) lf_removeCopy(copy);
        return noStandNm;
    }
    double best = noStandNm;
    for (pugi::xml_node e : parkpositions.children("parkpos")) {
        const double d = gf_distanceNm({lat, lon}, {e.attribute("latitude").as_double(), e.attribute("longitude").as_double()});
        if (d < best) {
            best = d;
            standId = e.attribute("id").as_string();
        }
    }
    return best;
}

}  // namespace vdl
