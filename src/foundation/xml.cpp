#include "foundation/xml.h"

#include <fmt/format.h>

#include <ctime>
#include <sstream>
#include <system_error>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "foundation/utf8_path.h"
#include "foundation/version.h"

namespace vdl {

namespace {
std::string lf_metaXPath(std::string_view name) {
    return fmt::format("/meta/info[@name='{}']", name);
}
}  // namespace

pugi::xml_parse_result gf_loadXmlFile(pugi::xml_document& doc, const std::filesystem::path& path, unsigned options) {
    if (gf_isRegularFile(path)) return doc.load_file(path.c_str(), options);
    doc.reset();
    pugi::xml_parse_result result;
    std::error_code ec;
    result.status = std::filesystem::exists(path, ec) ? pugi::status_io_error : pugi::status_file_not_found;
    return result;
}

bool gf_saveXml(const pugi::xml_document& doc, const std::filesystem::path& path) {
    std::ostringstream out;
    doc.save(out);
    if (gf_replaceFile(path, out.str())) {
        gf_log(fmt::format("\"{}\" saved", gf_utf8FromPath(path)));
        return true;
    }
    gf_log(fmt::format("could not save to \"{}\"", gf_utf8FromPath(path)));
    return false;
}

MetaInfo gf_programMeta() {
    const std::tm tm = gf_utcCalendar(gf_nowUtc());
    MetaInfo meta;
    meta.author = std::string(programName);
    meta.date = fmt::format("{:04}-{:02}-{:02}", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    meta.version = programVersion.text();
    meta.copyright = fmt::format("(c) {} {}", tm.tm_year + 1900, programName);
    meta.msfs = MSFS_2020.value() ? "2020" : "2024";
    return meta;
}

bool gf_writeMeta(pugi::xml_node parent, const MetaInfo& meta) {
    pugi::xml_node block = parent.append_child("meta");
    if (!block) return false;
    auto values = meta.values();
    for (size_t i = 0; i < MetaInfo::names.size(); ++i) {
        pugi::xml_node info = block.append_child("info");
        if (!info) return false;
        info.append_attribute("name") = std::string(MetaInfo::names[i]).c_str();
        info.append_attribute("value") = std::string(values[i]).c_str();
    }
    return true;
}

bool gf_checkMeta(const pugi::xml_document& doc) {
    for (std::string_view name : {"author", "date", "version"}) {
        if (!doc.select_node(lf_metaXPath(name).c_str())) {
            gf_logError("meta data incorrect?");
            return false;
        }
    }
    return true;
}

std::optional<std::string> gf_metaValue(const pugi::xml_document& doc, std::string_view name) {
    pugi::xpath_node n = doc.select_node(lf_metaXPath(name).c_str());
    if (!n) return std::nullopt;
    return std::string(n.node().attribute("value").value());
}

}  // namespace vdl
