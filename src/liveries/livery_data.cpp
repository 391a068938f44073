#include "liveries/livery_data.h"

#include <fmt/format.h>

#include <algorithm>
#include <limits>
#include <pugixml.hpp>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "foundation/encoding.h"
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

ScannedLiveries::ScannedLiveries() : doc_(std::make_unique<pugi::xml_document>()) {}
ScannedLiveries::~ScannedLiveries() = default;

void ScannedLiveries::read() {
    records_.clear();
    doc_->reset();
    const auto& path = scannedLiveriesPath;
    const auto result = gf_loadXmlFile(*doc_, path);
    if (!result) throw UserErrorException(51, lf_loadError(result, path));

    // The meta block only informs; a failed query there must not cost the catalogue.
    try {
        gf_checkMeta(*doc_);
    } catch (const pugi::xpath_exception& e) {
        const char* what = e.result().description();
        gf_logError(fmt::format("meta data of {} not checked: {}", gf_utf8FromPath(path),
                                (what && *what) ? what : "No error"));
    }

    const auto list = doc_->child("liveries");
    if (!list)
        throw UserErrorException(52, fmt::format("{} does not contain a <liveries> section", gf_utf8FromPath(path)));
    for (const auto& node : list.children("liv")) {
        LiveryRecord& rec = records_.emplace_back();
        rec.airl = node.attribute("airl").as_string();
        rec.type = node.attribute("type").as_string();
        rec.title = node.attribute("title").as_string();
        // A catalogue written before registrations were trimmed may hold a no-break space or a
        // direction mark at an end; no feed registration matches that.
        rec.atcid = gf_trimInvisible(node.attribute("atcid").as_string());
        const auto cargo = node.attribute("cargo");
        rec.cargo = cargo && gf_textToBool(cargo.as_string());
    }
    if (records_.empty()) throw UserErrorException(533, gf_utf8FromPath(path) + " does not contain liveries");
    gf_log(fmt::format("{} liveries read from {}", records_.size(), gf_utf8FromPath(path)));
    gf_sortLiveryRecords(records_);
}

void gf_sortLiveryRecords(std::vector<LiveryRecord>& records) {
    if (records.size() > std::numeric_limits<uint32_t>::max()) throw std::length_error("too many liveries");
    // Group of each record; a record of the same airline and type as the one before (the usual
    // file, written sorted) needs no look-up.
    struct PairHash {
        size_t operator()(const std::pair<std::string_view, std::string_view>& p) const noexcept {
            const size_t h = std::hash<std::string_view>{}(p.first);
            return h ^ (std::hash<std::string_view>{}(p.second) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
        }
    };
    std::unordered_map<std::pair<std::string_view, std::string_view>, uint32_t, PairHash> groupOf;
    std::vector<std::pair<std::string_view, std::string_view>> groups;
    std::vector<uint32_t> recordGroup(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        const LiveryRecord& r = records[i];
        if (i > 0 && r.airl == records[i - 1].airl && r.type == records[i - 1].type) {
            recordGroup[i] = recordGroup[i - 1];
            continue;
        }
        auto [it, inserted] = groupOf.try_emplace({r.airl, r.type}, static_cast<uint32_t>(groups.size()));
        if (inserted) groups.emplace_back(r.airl, r.type);
        recordGroup[i] = it->second;
    }

    // Groups in airline and type order, then each group's start in the sorted list.
    std::vector<uint32_t> order(groups.size());
    for (uint32_t g = 0; g < order.size(); ++g) order[g] = g;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return groups[a] < groups[b]; });
    std::vector<uint32_t> count(groups.size(), 0);
    for (uint32_t g : recordGroup) ++count[g];
    std::vector<uint32_t> start(groups.size());
    uint32_t at = 0;
    for (uint32_t g : order) {
        start[g] = at;
        at += count[g];
    }

    // Counted into place in file order, so that a group keeps it; then sorted by title, ties by
    // position.
    struct Key {
        std::string_view title;
        uint32_t pos;
    };
    std::vector<Key> keys(records.size());
    std::vector<uint32_t> next = start;
    for (uint32_t i = 0; i < records.size(); ++i) keys[next[recordGroup[i]]++] = Key{records[i].title, i};
    auto before = [](const Key& a, const Key& b) {
        const int c = a.title.compare(b.title);
        return c != 0 ? c < 0 : a.pos < b.pos;
    };
    for (uint32_t g = 0; g < groups.size(); ++g) {
        const auto first = keys.begin() + start[g];
        const auto last = keys.begin() + next[g];
        if (!std::is_sorted(first, last, before)) std::sort(first, last, before);
    }

    std::vector<LiveryRecord> sorted;
    sorted.reserve(records.size());
    for (const Key& k : keys) sorted.push_back(records[k.pos]);
    records = std::move(sorted);
}

void gf_readScannedLiveries() {
    liveries.clear();
    ScannedLiveries scanned;
    scanned.read();
    for (const LiveryRecord& r : scanned.records())
        liveries.push_back(LiveryData{std::string(r.airl), std::string(r.type), std::string(r.title),
                                      std::string(r.atcid), 0, r.cargo});
}

}  // namespace vdl
