#include "liveries/livery_data.h"

#include <fmt/format.h>

#include <pugixml.hpp>
#include <sstream>

#include "foundation/errors.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "foundation/xml.h"

namespace vdl {

namespace {

void lf_appendLiv(pugi::xml_node list, const LiveryData& liv) {
    auto node = list.append_child("liv");
    node.append_attribute("airl").set_value(liv.airl.c_str());
    node.append_attribute("type").set_value(liv.type.c_str());
    if (liv.cargo) node.append_attribute("cargo").set_value("true");
    node.append_attribute("title").set_value(liv.title.c_str());
    if (!liv.atcid.empty()) node.append_attribute("atcid").set_value(liv.atcid.c_str());
}

std::string lf_loadError(const pugi::xml_parse_result& result, const std::filesystem::path& path) {
    if (result.status == pugi::status_file_not_found) return fmt::format("File {} not found", gf_utf8FromPath(path));
    return fmt::format("File {} could not be read: {} at offset {}", gf_utf8FromPath(path), result.description(),
                       result.offset);
}

}  // namespace

bool gf_saveScannedLiveries() {
    if (liveries.empty()) return true;
    pugi::xml_document doc;
    gf_writeMeta(doc);
    auto list = doc.append_child("liveries");
    for (const auto& liv : liveries) lf_appendLiv(list, liv);

    std::error_code ec;
    std::filesystem::create_directories(scannedLiveriesPath.parent_path(), ec);
    if (!gf_saveXml(doc, scannedLiveriesPath)) {
        gf_logError(fmt::format("{} liveries not saved: {} could not be written", liveries.size(),
                                gf_utf8FromPath(scannedLiveriesPath)));
        return false;
    }
    gf_log(fmt::format("{} liveries in {}", liveries.size(), gf_utf8FromPath(scannedLiveriesPath)));
    return true;
}

void gf_readScannedLiveries() {
    liveries.clear();
    const auto& path = scannedLiveriesPath;
    pugi::xml_document doc;
    const auto result = doc.load_file(path.c_str());
    if (!result) throw UserErrorException(51, lf_loadError(result, path));

    // The meta block only informs; a failed query there must not cost the catalogue.
    try {
        gf_checkMeta(doc);
    } catch (const pugi::xpath_exception& e) {
        const char* what = e.result().description();
        gf_logError(fmt::format("meta data of {} not checked: {}", gf_utf8FromPath(path),
                                (what && *what) ? what : "No error"));
    }

    const auto list = doc.child("liveries");
    if (!list)
        throw UserErrorException(52, fmt::format("{} does not contain a <liveries> section", gf_utf8FromPath(path)));
    for (const auto& node : list.children("liv")) {
        LiveryData liv;
        liv.airl = node.attribute("airl").as_string();
        liv.type = node.attribute("type").as_string();
        liv.title = node.attribute("title").as_string();
        liv.atcid = node.attribute("atcid").as_string();
        const auto cargo = node.attribute("cargo");
        liv.cargo = cargo && gf_textToBool(cargo.as_string());
        liveries.push_back(std::move(liv));
    }
    if (liveries.empty()) throw UserErrorException(533, gf_utf8FromPath(path) + " does not contain liveries");
    gf_log(fmt::format("{} liveries read from {}", liveries.size(), gf_utf8FromPath(path)));
    liveries.sort([](const LiveryData& a, const LiveryData& b) {
        if (a.airl != b.airl) return a.airl < b.airl;
        if (a.type != b.type) return a.type < b.type;
        return a.title < b.title;
    });
}

}  // namespace vdl
