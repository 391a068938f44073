#include "airports/stand_learned.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "airports/stand_file.h"
#include "airports/stand_plain.h"
#include "airports/stand_xml.h"
#include "foundation/errors.h"
#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "foundation/utf8_path.h"
#include "foundation/xml.h"
#include "window/main_window.h"

namespace vdl {

namespace fs = std::filesystem;

namespace {

constexpr int32_t defaultParkingPercentage = 30;

void lf_logValue(std::string_view key, std::string_view value) { gf_logIndented(fmt::format("{:24}: {}", key, value)); }

void lf_readBool(const pugi::xml_document& doc, BoolParameter& option) {
    if (auto v = gf_apfBoolValue(doc, option.name())) {
        option.set(*v);
        lf_logValue(option.name(), gf_boolText(*v));
    }
}

void lf_autoRangeRead(bool on) {
    if (on) {
        // The main loop computes the automatic range on its next step.
        savedLateralRange = LATERAL_RANGE.value();
        LATERAL_RANGE.setEnabled(false);
    } else {
        LATERAL_RANGE.setEnabled(true);
        if (savedLateralRange >= 0) gf_setLateralRange(savedLateralRange);
        savedLateralRange = -1;
        gf_clearStatusLine();
    }
}

void lf_readOptions(const pugi::xml_document& doc) {
    lf_readBool(doc, LEARN_SOFT);
    if (auto v = gf_apfIntValue(doc, MAX_LIVE.name())) {
        MAX_LIVE.set(*v);
        lf_logValue(MAX_LIVE.name(), std::to_string(*v));
    } else {
        MAX_LIVE.set(-1);
    }
    gf_setTbInt(MAX_LIVE);
    if (auto v = gf_apfIntValue(doc, LATERAL_RANGE.name())) {
        gf_setLateralRange(*v);
        LATERAL_RANGE.setEnabled(true);
        gf_setTbInt(LATERAL_RANGE);
        lf_logValue(LATERAL_RANGE.name(), std::to_string(*v));
    }
    const auto autoRange = gf_apfBoolValue(doc, AUTO_RANGE.name());
    if (autoRange) {
        AUTO_RANGE.set(*autoRange);
        lf_logValue(AUTO_RANGE.name(), gf_boolText(*autoRange));
        lf_autoRangeRead(*autoRange);
        gf_setTbInt(LATERAL_RANGE);
        atTenNm = AUTO_RANGE.value() && lateralRangeNm.load() == 10.0;
    }
    lf_readBool(doc, PARK_FAKE);
    lf_readBool(doc, WEEK);
    lf_readBool(doc, PARK_SOFT);
    // Clamped to 0..100: the parking plan takes it as a share.
    if (auto v = gf_apfIntValue(doc, parking_percentage.name()))
        lf_logValue(parking_percentage.name(), std::to_string(parking_percentage.set(*v)));
    else
        parking_percentage.set(defaultParkingPercentage);
    gf_setTbInt(parking_percentage);
    lf_readBool(doc, INITIAL_LOAD_ONLY);
    if (auto v = gf_apfIntValue(doc, MAX_FIT.name())) {
        const int32_t halfHours = MAX_FIT.set(*v);
        MAX_FIT_FL.set(static_cast<float>(halfHours) * 0.5f + 0.5f);
        gf_setTbFloat(MAX_FIT_FL);
        gf_logIndented(fmt::format("{:24}: {} (max number of half hours, is {} hrs decimal)", MAX_FIT.name(), halfHours,
                                   gf_floatText(MAX_FIT_FL.value())));
    }
}

// The options of one stand that a learned option may repeat, by day, kind, registration, airline
// and type. Options of the base file (fixed) are not widened: a learned option that meets one of
// their half hours is discarded. A learned option that meets an earlier learned one adds its half
// hours to it: recording never makes two options of one key, so such a pair comes from a file
// saved while it did, and its half hours were learned all the same.
class OptionRepeats {
  public:
    enum class Found { none, fixed, learned };

    // Where the last option of the list, just read, already is; for a learned one, its index.
    Found find(const std::vector<ParkPosOption>& options, size_t& at) {
        const ParkPosOption& o = options.back();
        if (!started_) {
            started_ = true;
            for (size_t i = 0; i + 1 < options.size(); ++i) anyHours_ |= options[i].hours;
        }
        // Most learned options share no half hour with any other option of their stand: those
        // need no index.
        if (!indexed_) {
            if ((o.hours & anyHours_).none()) return Found::none;
            indexed_ = true;
            for (size_t i = 0; i + 1 < options.size(); ++i) note(options, i);
        }
        const Key* k = lookUp(options, o);
        if (k == nullptr) return Found::none;
        if ((o.hours & k->fixedHours).any()) return Found::fixed;
        if ((o.hours & k->learnedHours).none()) return Found::none;
        for (uint32_t i = k->firstLearned; i != endOfList; i = nextLearned_[i]) {
            if ((options[i].hours & o.hours).none()) continue;
            at = i;
            return Found::learned;
        }
        return Found::none;  // not reached: the listed options hold every learned half hour
    }

    // The option at i was appended or widened (a widened one is listed already).
    void note(const std::vector<ParkPosOption>& options, size_t i) {
        const ParkPosOption& o = options[i];
        if (!indexed_) {
            anyHours_ |= o.hours;
            return;
        }
        if (o.hours.none()) return;  // meets nothing, ever
        Key* k = lookUp(options, o);
        if (k == nullptr) {
            const uint64_t h = lf_hash(o);
            const auto [it, added] = byHash_.try_emplace(h, static_cast<uint32_t>(keys_.size()));
            k = &keys_.emplace_back();
            k->option = static_cast<uint32_t>(i);
            k->nextSameHash = added ? endOfList : it->second;
            it->second = static_cast<uint32_t>(keys_.size() - 1);
        }
        if (o.fixed != 0) {
            k->fixedHours |= o.hours;
            return;
        }
        // An option whose half hours all lie in earlier listed ones is never the first one met:
        // at most 48 are listed per key whatever the file holds. Appended options come in list
        // order, so the list stays in it.
        if ((o.hours & ~k->learnedHours).any() && (k->lastLearned == endOfList || k->lastLearned < i)) {
            if (nextLearned_.size() <= i) nextLearned_.resize(std::max(options.size(), i + 1), endOfList);
            if (k->lastLearned == endOfList)
                k->firstLearned = static_cast<uint32_t>(i);
            else
                nextLearned_[k->lastLearned] = static_cast<uint32_t>(i);
            k->lastLearned = static_cast<uint32_t>(i);
        }
        k->learnedHours |= o.hours;
    }

  private:
    static constexpr uint32_t endOfList = UINT32_MAX;

    struct Key {
        uint32_t option = 0;                // the first option of the key, which stays where it is
        uint32_t nextSameHash = endOfList;  // another key whose hash is the same
        HalfHourSet fixedHours;
        HalfHourSet learnedHours;
        uint32_t firstLearned = endOfList;  // the listed learned options, linked in nextLearned_
        uint32_t lastLearned = endOfList;
    };

    static bool lf_sameKey(const ParkPosOption& a, const ParkPosOption& b) {
        return a.day == b.day && a.kind == b.kind && a.reg() == b.reg() && a.airline() == b.airline() &&
               a.type() == b.type();
    }

    static uint64_t lf_hash(const ParkPosOption& o) {
        uint64_t h = (uint64_t{o.day} << 1) | o.kind;
        for (const std::string_view v : {o.reg(), o.airline(), o.type()})
            h ^= std::hash<std::string_view>{}(v) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        return h;
    }

    Key* lookUp(const std::vector<ParkPosOption>& options, const ParkPosOption& o) {
        const auto it = byHash_.find(lf_hash(o));
        if (it == byHash_.end()) return nullptr;
        for (uint32_t k = it->second; k != endOfList; k = keys_[k].nextSameHash)
            if (lf_sameKey(options[keys_[k].option], o)) return &keys_[k];
        return nullptr;
    }

    bool started_ = false;
    bool indexed_ = false;
    HalfHourSet anyHours_;
    std::vector<Key> keys_;
    std::unordered_map<uint64_t, uint32_t> byHash_;  // the last key added of each hash
    std::vector<uint32_t> nextLearned_;              // by option index
};

// False when an option was discarded.
bool lf_mergeLearnedParkPos(const ParkPosElement& e, ParkPos& stand, OptionRepeats& repeats) {
    const ParkPosFields& f = e.fields;
    if (gf_apfFlag(f.radiusChange)) {
        stand.radius = gf_apfNumber(f.radius) * nmPerMetre;
        stand.radiusChange = 1;
    }
    if (gf_apfFlag(f.cargoChange)) {
        stand.cargo = gf_apfFlag(f.cargo) ? 1 : 0;
        stand.cargoChange = 1;
    }
    if (e.opts.empty()) return true;
    uint32_t next = stand.options.empty() ? 1 : stand.options.back().id + 1;
    auto& options = stand.options;
    if (const size_t needed = options.size() + e.opts.size(); options.capacity() < needed) {
        std::vector<ParkPosOption> room = gf_optionStorage(needed);
        std::move(options.begin(), options.end(), std::back_inserter(room));
        options.swap(room);
    }
    bool complete = true;
    for (const OptFields& opt : e.opts) {
        // Read in place; a repetition is taken off again.
        ParkPosOption& o = options.emplace_back();
        try {
            gf_readOptInto(opt, 0, "lf_mergeLearnedParkPos", o);
        } catch (...) {
            options.pop_back();
            throw;
        }
        size_t at = 0;
        const auto found = repeats.find(options, at);
        if (found == OptionRepeats::Found::none) {
            o.id = next++;
            repeats.note(options, options.size() - 1);
            continue;
        }
        const HalfHourSet hours = o.hours;
        options.pop_back();
        if (found == OptionRepeats::Found::learned) {
            options[at].hours |= hours;
            repeats.note(options, at);
            continue;
        }
        complete = false;
    }
    return complete;
}

// A handmade file: its stands replace the base stands. False when a stand was left out.
bool lf_readHandmade(ParkPosSource& source, std::vector<ParkPos>& stands) {
    handmadeLoaded = true;
    gf_keepOptionStorage(stands);
    return gf_readParkPositions(source, 1, stands);
}

// The learned stands merged into the base stands, found by name. False when an element was dropped.
bool lf_mergeStands(ParkPosSource& source, const fs::path& learnedPath, std::vector<ParkPos>& stands) {
    const std::string path = gf_utf8FromPath(learnedPath);
    std::unordered_map<std::string, size_t> byName;
    byName.reserve(stands.size() * 2);
    for (size_t i = 0; i < stands.size(); ++i) byName.emplace(stands[i].name, i);
    bool complete = true;
    static LogLimiter limiter("learned stand file");
    std::vector<OptionRepeats> repeats(stands.size());  // by stand
    ParkPosElement e;
    while (source.next(e)) {
        const std::string id(e.fields.id);
        if (gf_apfFlag(e.fields.manual)) {
            if (byName.count(id) != 0) {
                limiter.logError(fmt::format("manually created standid {} already exists in {}", id, path));
                complete = false;
                continue;
            }
            const double lat = gf_apfNumber(e.fields.latitude);
            const double lon = gf_apfNumber(e.fields.longitude);
            const double radius = gf_apfNumber(e.fields.radius);
            if (radius == 0.0 || (lat >= 0.0 && lat <= 0.0009 && lon >= 0.0 && lon <= 0.05)) {
                limiter.logError(fmt::format("manually created standid {} misses correct attributes in {}", id, path));
                complete = false;
                continue;
            }
            // Only a stand actually appended is marked: a refused one must not mark its predecessor.
            if (!gf_readParkPos(e, id, 0, stands)) {
                complete = false;
                continue;
            }
            stands.back().manual = 1;
            byName.emplace(id, stands.size() - 1);
            continue;
        }
        auto it = byName.find(id);
        if (it == byName.end()) {
            limiter.log(fmt::format("learned stand {} in {} not found?", id, path));
            complete = false;
            continue;
        }
        if (repeats.size() < stands.size()) repeats.resize(stands.size());
        if (!lf_mergeLearnedParkPos(e, stands[it->second], repeats[it->second])) complete = false;
    }
    return complete;
}

void lf_backUp(const fs::path& learnedPath) {
    const fs::path backup = gf_learnedBackupPath(learnedPath);
    if (backup.empty() || !gf_isRegularFile(learnedPath)) return;  // a folder or FIFO holds nothing to keep
    // Removed first: MinGW's copy_file leaves an existing target as it is even when told to
    // overwrite it, and the older backup would stay.
    std::error_code ec;
    fs::remove(backup, ec);
    if (!ec) fs::copy_file(learnedPath, backup, ec);
    if (ec) throw fs::filesystem_error("copy_file", learnedPath, backup, ec);
}

}  // namespace

fs::path gf_learnedBackupPath(const fs::path& learnedPath) {
    if (!learnedPath.has_extension()) return {};
    fs::path backup = learnedPath;
    fs::path name = learnedPath.stem();
    name += "0";
    name += learnedPath.extension();
    backup.replace_filename(name);
    return backup;
}

void gf_readLearned(const fs::path& learnedPath, const StandFileInfo& info, std::vector<ParkPos>& stands) {
    const std::string path = gf_utf8FromPath(learnedPath);
    try {
        StandFileReader parsed;
        const pugi::xml_parse_result loaded = parsed.load(learnedPath);
        if (!loaded) {
            lf_backUp(learnedPath);
            gf_log(fmt::format("{} found, but could not be loaded, saved as *.0.xml: {}", path, loaded.description()));
            return;
        }
        gf_log(fmt::format("Read from learned airport file: \"{}\"", path));
        const pugi::xml_document& doc = parsed.doc();
        if (!gf_checkMeta(doc)) {
            // Kept aside: the next save writes over the file.
            lf_backUp(learnedPath);
            return;
        }
        const std::string learnedName = gf_apfStringValue(doc, "airport_name").value_or("");
        if (learnedName != info.airportName)
            gf_setStatusLine(fmt::format("Warning: learned file airport name: \"{}\" differs from archived file airport "
                                         "name: \"{}\"",
                                         learnedName, info.airportName),
                             true);
        lf_readOptions(doc);
        if (auto handmade = gf_apfStringValue(doc, "handmade")) {
            bool complete = false;
            try {
                complete = lf_readHandmade(parsed.parkPositions(), stands);
            } catch (...) {
                lf_backUp(learnedPath);
                throw;
            }
            if (!complete) lf_backUp(learnedPath);
            lf_logValue("handmade", *handmade);
            return;
        }
        handmadeLoaded = false;
        if (!lf_mergeStands(parsed.parkPositions(), learnedPath, stands)) lf_backUp(learnedPath);
    } catch (const std::exception& e) {
        gf_log(fmt::format("{}: {}", "gf_readLearned", e.what()));
    }
}

}  // namespace vdl
