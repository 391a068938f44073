// Loader and queries of input/dbase.xml.
//
// Layout (root "dbase"; sections may be missing, unknown elements are ignored):
//   <meta>              <info name="..." value="..."/> (author, date, version, copyright, MSFS)
//   <types>             <t icao="A320" cat="2" span="35.8"/>
//                       cat 0 Light, 1 Buzjets, 2 Large, 3 Heavy, 4 HighPerf, 5 Rotorcraft; span is the
//                       wingspan in metres. Both are optional: a type without "cat" is valid but in no
//                       category, one without "span" gets the mean of its category.
//   <similar>           <group models="A320 A20N A321 ..."/> (blank-separated, in matching order)
//   <ICAO_airlines>     <a icao="DLH" name="Lufthansa"/>
//   <regs>              <r reg="D-AINA" airl="DLH" type="A20N" opr="CLH" cargo="true"/>
//                       "opr" and "cargo" are optional; a key of at most 4 characters with airl "PVT"
//                       is a private registration prefix.
//   <fixes>             <fx wro="A320N" cor="A20N"/>
//   <publishers>        <p name="FlyTampa" alias="fly tampa"/> (alias compared lower case)
//   <simaddons20        arpts="EGLL LFPG ..."/>
//   <thirdparties20>    <tp pub="FlyTampa" arpts="EKCH148 LOWW127"/>
//   <thirdparties24>    as thirdparties20
#include "refdata/dbase.h"

#include <array>
#include <atomic>
#include <cctype>
#include <charconv>
#include <cmath>
#include <functional>
#include <memory>
#include <pugixml.hpp>
#include <unordered_set>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/text_keys.h"
#include "foundation/utf8_path.h"
#include "refdata/hooks.h"

namespace vdl {

namespace {

constexpr int dbaseErrorCode = 30;
constexpr double metresPerNm = 1852.0;
constexpr size_t maxFaultLines = 20;

// Used for a category without any wingspan in the data base (metres).
constexpr std::array<double, categoryCount> fallbackWingspan = {11.0, 18.0, 34.0, 60.0, 11.0, 11.0};

struct TypeInfo {
    std::optional<AircraftCategory> category;
    std::optional<double> halfWingspan;  // nm
};

struct DbaseData {
    TextMap<TypeInfo> types;
    std::array<double, categoryCount> meanHalfWingspan{};
    TextSet airlines;
    TextMap<RegcodeData> regs;
    std::vector<std::string> pvtPrefixes;
    std::unordered_map<std::string, std::string> fixes;
    std::set<std::string> simaddons20;
    std::vector<ThirdpartyData> thirdparties20;
    std::vector<ThirdpartyData> thirdparties24;
    SimilarGroups similar;
    std::unordered_map<std::string, std::string> publishers;

    DbaseData() {
        for (size_t i = 0; i < meanHalfWingspan.size(); ++i)
            meanHalfWingspan[i] = fallbackWingspan[i] / 2.0 / metresPerNm;
    }
};

// Every loaded set stays alive until the reset, so references handed out never dangle.
std::mutex dbaseMutex;
std::vector<std::unique_ptr<const DbaseData>> loadedSets;  // guarded by dbaseMutex
std::atomic<const DbaseData*> currentSet{nullptr};

const DbaseData& lf_data() {
    static const DbaseData empty;
    const DbaseData* d = currentSet.load(std::memory_order_acquire);
    return d ? *d : empty;
}

std::vector<std::string> lf_words(std::string_view text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        size_t j = i;
        while (j < text.size() && !std::isspace(static_cast<unsigned char>(text[j]))) ++j;
        if (j > i) words.emplace_back(text.substr(i, j - i));
        i = j;
    }
    return words;
}

std::string lf_lower(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::optional<double> lf_parseDouble(std::string_view text) {
    double v = 0.0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<int> lf_parseInt(std::string_view text) {
    int v = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return v;
}

class Loader {
  public:
    explicit Loader(std::string fileName) : fileName_(std::move(fileName)) {}

    void readTypes(const pugi::xml_node& section, DbaseData& d) {
        std::array<double, categoryCount> sum{};
        std::array<int, categoryCount> count{};
        for (const auto& t : section.children("t")) {
            const std::string icao = t.attribute("icao").value();
            if (icao.empty()) {
                fault(t, "type without icao");
                continue;
            }
            TypeInfo info;
            if (const auto cat = t.attribute("cat")) {
                const auto c = lf_parseInt(cat.value());
                if (!c || *c < 0 || *c >= categoryCount) {
                    fault(t, fmt::format("type {} has category \"{}\"", icao, cat.value()));
                    continue;
                }
                info.category = static_cast<AircraftCategory>(*c);
            }
            if (const auto span = t.attribute("span")) {
                const auto s = lf_parseDouble(span.value());
                if (!s || *s <= 0.0) {
                    fault(t, fmt::format("type {} has wingspan \"{}\"", icao, span.value()));
                    continue;
                }
                info.halfWingspan = *s / 2.0 / metresPerNm;
            }
            if (!d.types.emplace(icao, info).second) {
                fault(t, fmt::format("type {} appears twice", icao));
                continue;
            }
            if (info.category && info.halfWingspan) {
                const size_t i = gf_categoryIndex(*info.category);
                sum[i] += *info.halfWingspan;
                ++count[i];
            }
        }
        for (size_t i = 0; i < sum.size(); ++i)
            if (count[i] > 0) d.meanHalfWingspan[i] = sum[i] / count[i];
    }

    void readSimilar(const pugi::xml_node& section, DbaseData& d) {
        for (const auto& g : section.children("group")) {
            auto models = lf_words(g.attribute("models").value());
            if (models.size() < 2) {
                fault(g, "similar group with fewer than two models");
                continue;
            }
            const size_t index = d.similar.groups.size();
            for (const auto& m : models) d.similar.groupOf.emplace(m, index);
            d.similar.groups.push_back(std::move(models));
        }
    }

    void readAirlines(const pugi::xml_node& section, DbaseData& d) {
        for (const auto& a : section.children("a")) {
            const std::string icao = a.attribute("icao").value();
            if (icao.empty()) {
                fault(a, "airline without icao");
                continue;
            }
            d.airlines.insert(icao);
        }
    }

    void readRegs(const pugi::xml_node& section, DbaseData& d) {
        for (const auto& r : section.children("r")) {
            const std::string reg = r.attribute("reg").value();
            RegcodeData data{r.attribute("airl").value(), r.attribute("type").value(),
                             r.attribute("opr").value(), gf_textToBool(r.attribute("cargo").value())};
            if (reg.empty() || data.airl.empty()) {
                fault(r, fmt::format("registration \"{}\" without airline", reg));
                continue;
            }
            const bool pvtPrefix = reg.size() <= 4 && data.airl == "PVT";
            if (!d.regs.emplace(reg, std::move(data)).second) {
                fault(r, fmt::format("registration {} appears twice", reg));
                continue;
            }
            if (pvtPrefix) d.pvtPrefixes.push_back(reg);
        }
    }

    void readFixes(const pugi::xml_node& section, DbaseData& d) {
        for (const auto& fx : section.children("fx")) {
            const std::string wro = fx.attribute("wro").value();
            const std::string cor = fx.attribute("cor").value();
            if (wro.empty() || cor.empty()) {
                fault(fx, "fix without wro or cor");
                continue;
            }
            d.fixes.emplace(wro, cor);
        }
    }

    void readPublishers(const pugi::xml_node& section, DbaseData& d) {
        for (const auto& p : section.children("p")) {
            const std::string name = p.attribute("name").value();
            const std::string alias = lf_lower(p.attribute("alias").value());
            if (name.empty() || alias.empty()) {
                fault(p, "publisher without name or alias");
                continue;
            }
            d.publishers.emplace(alias, name);
        }
    }

    void readThirdparties(const pugi::xml_node& section, std::vector<ThirdpartyData>& list) {
        for (const auto& tp : section.children("tp")) {
            ThirdpartyData data{tp.attribute("pub").value(), lf_words(tp.attribute("arpts").value())};
            if (data.pub.empty()) {
                fault(tp, "third-party entry without pub");
                continue;
            }
            list.push_back(std::move(data));
        }
    }

    size_t faults() const { return faults_; }

  private:
    void fault(const pugi::xml_node& node, std::string_view what) {
        if (++faults_ <= maxFaultLines)
            gf_logError(fmt::format("{}: {} (offset {})", fileName_, what, node.offset_debug()));
    }

    std::string fileName_;
    size_t faults_ = 0;
};

}  // namespace

void gf_loadDbase(const std::filesystem::path& file) {
    const std::string name = gf_utf8FromPath(file);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw UserErrorException(dbaseErrorCode, fmt::format("data base {} not found", name));
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_file(file.c_str());
    if (!parsed)
        throw UserErrorException(dbaseErrorCode, fmt::format("data base {} not readable: {} at offset {}",
                                                             name, parsed.description(), parsed.offset));
    const pugi::xml_node root = doc.child("dbase");
    if (!root)
        throw UserErrorException(dbaseErrorCode, fmt::format("data base {} has no \"dbase\" element", name));

    auto d = std::make_unique<DbaseData>();
    Loader loader(name);
    loader.readTypes(root.child("types"), *d);
    loader.readSimilar(root.child("similar"), *d);
    loader.readAirlines(root.child("ICAO_airlines"), *d);
    loader.readRegs(root.child("regs"), *d);
    loader.readFixes(root.child("fixes"), *d);
    loader.readPublishers(root.child("publishers"), *d);
    for (auto& code : lf_words(root.child("simaddons20").attribute("arpts").value()))
        d->simaddons20.insert(std::move(code));
    loader.readThirdparties(root.child("thirdparties20"), d->thirdparties20);
    loader.readThirdparties(root.child("thirdparties24"), d->thirdparties24);

    if (d->types.empty() || d->airlines.empty())
        throw UserErrorException(dbaseErrorCode,
                                 fmt::format("data base {} holds no aircraft types or airlines", name));

    const std::string version =
        root.child("meta").find_child_by_attribute("info", "name", "version").attribute("value").value();
    gf_log(fmt::format(
        "{} version {}: {} type{}, {} airline{}, {} registration{}, {} similar group{}, {} fix{}", name,
        version.empty() ? "?" : version, d->types.size(), gf_plural(d->types.size()), d->airlines.size(),
        gf_plural(d->airlines.size()), d->regs.size(), gf_plural(d->regs.size()), d->similar.groups.size(),
        gf_plural(d->similar.groups.size()), d->fixes.size(), d->fixes.size() == 1 ? "" : "es"));
    if (loader.faults() > 0)
        gf_logError(
            fmt::format("{}: {} faulty record{} skipped", name, loader.faults(), gf_plural(loader.faults())));

    std::lock_guard lock(dbaseMutex);
    loadedSets.push_back(std::move(d));
    currentSet.store(loadedSets.back().get(), std::memory_order_release);
}

bool gf_dbaseLoaded() {
    return currentSet.load(std::memory_order_acquire) != nullptr;
}

bool gf_isValidModel(std::string_view model) {
    return !model.empty() && lf_data().types.contains(model);
}

bool gf_isValidAirline(std::string_view airline) {
    return !airline.empty() && lf_data().airlines.contains(airline);
}

AircraftCategory gf_modelCategory(std::string_view model) {
    const auto& types = lf_data().types;
    const auto it = types.find(model);
    if (it == types.end() || !it->second.category) return AircraftCategory::Light;
    return *it->second.category;
}

double gf_halfWingspan(std::string_view model) {
    const DbaseData& d = lf_data();
    const auto it = d.types.find(model);
    if (it != d.types.end() && it->second.halfWingspan) return *it->second.halfWingspan;
    const AircraftCategory c =
        (it != d.types.end() && it->second.category) ? *it->second.category : AircraftCategory::Light;
    return d.meanHalfWingspan[gf_categoryIndex(c)];
}

bool gf_findRegcode(std::string_view reg, RegcodeData* entry) {
    if (reg.empty()) return false;
    const auto& regs = lf_data().regs;
    const auto it = regs.find(reg);
    if (it == regs.end()) return false;
    if (entry) *entry = it->second;
    return true;
}

std::optional<RegcodeData> gf_regcodeData(std::string_view reg) {
    if (reg.empty()) return std::nullopt;
    const auto& regs = lf_data().regs;
    for (const auto& variant : gf_regVariants(reg)) {
        const auto it = regs.find(variant);
        if (it != regs.end()) return it->second;
    }
    return std::nullopt;
}

std::string gf_modelOfReg(std::string_view reg) {
    auto data = gf_regcodeData(reg);
    return data ? std::move(data->type) : std::string();
}

std::string gf_operatorOfReg(std::string_view reg) {
    auto data = gf_regcodeData(reg);
    return data ? std::move(data->opr) : std::string();
}

std::string gf_airlineOfReg(std::string_view reg) {
    auto data = gf_regcodeData(reg);
    return data ? std::move(data->airl) : std::string();
}

std::string gf_findPvtPrefix(std::string_view text) {
    for (const auto& prefix : lf_data().pvtPrefixes)
        if (text.find(prefix) != std::string_view::npos) return prefix;
    return {};
}

const std::unordered_map<std::string, std::string>& fixes() {
    return lf_data().fixes;
}
const std::set<std::string>& simaddons20() {
    return lf_data().simaddons20;
}
const std::vector<ThirdpartyData>& thirdparties20() {
    return lf_data().thirdparties20;
}
const std::vector<ThirdpartyData>& thirdparties24() {
    return lf_data().thirdparties24;
}
const SimilarGroups& gf_similarGroups() {
    return lf_data().similar;
}
const std::unordered_map<std::string, std::string>& gf_publisherNames() {
    return lf_data().publishers;
}

void gf_forgetDbaseSets() {
    std::lock_guard lock(dbaseMutex);
    currentSet.store(nullptr, std::memory_order_release);
    loadedSets.clear();
}

}  // namespace vdl
