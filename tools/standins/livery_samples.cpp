#include "standins/livery_samples.h"

#include <fmt/format.h>

#include <algorithm>

namespace vdl::samples {

namespace {

// Airlines, with the registration formats of their home countries.
constexpr SampleAirline sampleAirlines[] = {
    {"DLH", "Lufthansa", "D-A###", "A319 A320 A321 A20N A21N A333 A343 A346 A359 A388 B744 B748 B789", false,
     10},
    {"BAW", "British Airways", "G-####", "A319 A320 A321 A20N A21N A35K A388 B772 B77W B788 B789 B78X E190",
     false, 9},
    {"AFR", "Air France", "F-H###", "A318 A319 A320 A321 A332 A359 BCS3 B772 B77W B789 E170 E190", false, 8},
    {"KLM", "KLM Royal Dutch Airlines", "PH-###", "B737 B738 B739 B772 B77W B789 B78X A332 A333", false, 7},
    {"EZY", "easyJet", "G-EZ##", "A319 A320 A20N A21N", false, 6},
    {"RYR", "Ryanair", "EI-###", "B738 B38M", false, 8},
    {"UAL", "United Airlines", "N%%%##",
     "A319 A320 A321 B38M B39M B738 B739 B752 B753 B763 B764 B772 B77W B788 B789 B78X", false, 10},
    {"AAL", "American Airlines", "N%%%##", "A319 A320 A321 A21N B38M B738 B772 B77W B788 B789 E175 CRJ9",
     false, 10},
    {"DAL", "Delta Air Lines", "N%%%##",
     "BCS1 BCS3 A319 A320 A321 A21N A332 A333 A339 A359 B712 B738 B739 B752 B753 B763 B764", false, 10},
    {"SWA", "Southwest Airlines", "N%%%##", "B737 B738 B38M", false, 6},
    {"UAE", "Emirates", "A6-E##", "A388 B77W B77L", false, 5},
    {"QTR", "Qatar Airways", "A7-###", "A320 A332 A359 A35K A388 B77W B788 B789", false, 5},
    {"SIA", "Singapore Airlines", "9V-S##", "A359 A388 B77W B78X B38M", false, 4},
    {"THY", "Turkish Airlines", "TC-###", "A320 A321 A21N A332 A333 A359 B738 B38M B77W B789", false, 7},
    {"TKJ", "AJet", "TC-J##", "A20N A21N B738 B38M", false, 2},
    {"PGT", "Pegasus Airlines", "TC-N##", "A20N A21N B738 B38M", false, 2},
    {"SWR", "Swiss International Air Lines", "HB-J##", "BCS1 BCS3 A320 A321 A20N A333 A343 B77W", false, 4},
    {"AUA", "Austrian Airlines", "OE-L##", "A320 A321 A20N E195 B763 B772 B789", false, 3},
    {"IBE", "Iberia", "EC-###", "A319 A320 A321 A20N A21N A332 A333 A359", false, 4},
    {"VLG", "Vueling", "EC-###", "A319 A320 A321 A20N", false, 3},
    {"SAS", "SAS Scandinavian Airlines", "SE-R##", "A319 A320 A20N A21N A333 A359 CRJ9", false, 3},
    {"FIN", "Finnair", "OH-L##", "A319 A320 A321 A333 A359 AT75 E190", false, 3},
    {"EWG", "Eurowings", "D-A###", "A319 A320 A20N A21N", false, 4},
    {"CFG", "Condor", "D-A###", "A20N A21N A339 B763", false, 2},
    {"TUI", "TUIfly", "D-A###", "B738 B38M B789", false, 2},
    {"WZZ", "Wizz Air", "HA-L##", "A320 A321 A20N A21N", false, 4},
    {"LOT", "LOT Polish Airlines", "SP-L##", "B738 B38M B788 B789 E170 E175 E195 DH8D", false, 3},
    {"TAP", "TAP Air Portugal", "CS-T##", "A319 A320 A321 A20N A21N A332 A339 E190 E195", false, 3},
    {"ACA", "Air Canada", "C-F###", "A319 A320 A321 A333 BCS3 B38M B77W B788 B789 E175", false, 5},
    {"ANA", "All Nippon Airways", "JA%%%#", "A320 A321 A20N A21N B763 B772 B77W B788 B789 B78X", false, 4},
    {"JAL", "Japan Airlines", "JA%%%J", "A359 A35K B738 B763 B772 B77W B788 B789", false, 4},
    {"QFA", "Qantas", "VH-###", "A332 A333 A388 B738 B789", false, 3},
    {"CPA", "Cathay Pacific", "B-H##", "A321 A21N A333 A359 A35K B77W", false, 3},
    {"KAL", "Korean Air", "HL%%%%", "A321 A21N A333 A388 B738 B38M B77W B789 B748", false, 3},
    {"AMX", "Aeroméxico", "XA-###", "B738 B38M B39M B788 B789 E190", false, 2},
    {"BEL", "Brussels Airlines", "OO-S##", "A319 A320 A333", false, 2},
    {"SEH", "Sky Express", "SX-###", "A20N A21N AT76", false, 1},
    {"NAX", "Norwegian Air Shuttle", "LN-N##", "B738 B38M", false, 3},
    {"ICE", "Icelandair", "TF-I##", "B752 B763 B38M B39M A21N", false, 2},
    {"AEE", "Aegean Airlines", "SX-D##", "A320 A321 A20N A21N", false, 2},
    {"ELY", "El Al", "4X-E##", "B738 B739 B772 B788 B789", false, 2},
    {"ETD", "Etihad Airways", "A6-###", "A320 A321 A359 B77W B789 B78X", false, 3},
    {"FDX", "FedEx Express", "N%%%FE", "A306 B752 B763 B77L MD11 C208 AT75", true, 4},
    {"UPS", "UPS Airlines", "N%%%UP", "A306 B744 B748 B752 B763 MD11", true, 4},
    {"GEC", "Lufthansa Cargo", "D-AL##", "B77L", true, 1},
    {"BOX", "AeroLogic", "D-AA##", "B77L", true, 1},
    {"CLX", "Cargolux", "LX-###", "B744 B748", true, 1},
    {"DHK", "DHL Air", "G-DH##", "B752 B763 B77L", true, 2},
    {"ZZZ", "Generic", "N%%%##",
     "A320 B738 C172 C152 C208 PA28 SR22 BE58 DA40 DA42 C25A C56X CL35 GLEX E55P PC12 R44 EC35 H145 AS50 B06 "
     "F2TH GLF5 LJ45 TBM9",
     false, 4},
    {"PVT", "Private", "D-E###", "C172 C152 PA28 SR22 BE36 DA40 PC12 C208 TBM9 C25A R44 EC35", false, 2},
};

// Full type names for titles.
std::string_view lf_typeName(std::string_view type) {
    struct Name {
        std::string_view code, name;
    };
    static constexpr Name names[] = {
        {"A306", "Airbus A300-600F"},
        {"A318", "Airbus A318"},
        {"A319", "Airbus A319"},
        {"A320", "Airbus A320"},
        {"A321", "Airbus A321"},
        {"A20N", "Airbus A320neo"},
        {"A21N", "Airbus A321neo"},
        {"A332", "Airbus A330-200"},
        {"A333", "Airbus A330-300"},
        {"A339", "Airbus A330-900"},
        {"A343", "Airbus A340-300"},
        {"A346", "Airbus A340-600"},
        {"A359", "Airbus A350-900"},
        {"A35K", "Airbus A350-1000"},
        {"A388", "Airbus A380-800"},
        {"B712", "Boeing 717-200"},
        {"B737", "Boeing 737-700"},
        {"B738", "Boeing 737-800"},
        {"B739", "Boeing 737-900"},
        {"B38M", "Boeing 737 MAX 8"},
        {"B39M", "Boeing 737 MAX 9"},
        {"B744", "Boeing 747-400"},
        {"B748", "Boeing 747-8"},
        {"B752", "Boeing 757-200"},
        {"B753", "Boeing 757-300"},
        {"B763", "Boeing 767-300"},
        {"B764", "Boeing 767-400"},
        {"B772", "Boeing 777-200"},
        {"B77W", "Boeing 777-300ER"},
        {"B77L", "Boeing 777F"},
        {"B788", "Boeing 787-8"},
        {"B789", "Boeing 787-9"},
        {"B78X", "Boeing 787-10"},
        {"BCS1", "Airbus A220-100"},
        {"BCS3", "Airbus A220-300"},
        {"E170", "Embraer E170"},
        {"E175", "Embraer E175"},
        {"E190", "Embraer E190"},
        {"E195", "Embraer E195"},
        {"CRJ9", "Bombardier CRJ900"},
        {"DH8D", "De Havilland Dash 8-400"},
        {"AT75", "ATR 72-500"},
        {"AT76", "ATR 72-600"},
        {"MD11", "McDonnell Douglas MD-11"},
        {"C172", "Cessna 172 Skyhawk"},
        {"C152", "Cessna 152"},
        {"C208", "Cessna 208 Caravan"},
        {"PA28", "Piper PA-28 Cherokee"},
        {"SR22", "Cirrus SR22"},
        {"BE58", "Beechcraft Baron 58"},
        {"BE36", "Beechcraft Bonanza"},
        {"DA40", "Diamond DA40"},
        {"DA42", "Diamond DA42"},
        {"C25A", "Cessna Citation CJ2"},
        {"C56X", "Cessna Citation Excel"},
        {"CL35", "Bombardier Challenger 350"},
        {"GLEX", "Bombardier Global Express"},
        {"E55P", "Embraer Phenom 300"},
        {"PC12", "Pilatus PC-12"},
        {"R44", "Robinson R44"},
        {"EC35", "Airbus H135"},
        {"H145", "Airbus H145"},
        {"AS50", "Airbus AS350"},
        {"B06", "Bell 206"},
        {"F2TH", "Dassault Falcon 2000"},
        {"GLF5", "Gulfstream G550"},
        {"LJ45", "Learjet 45"},
        {"TBM9", "Daher TBM 900"},
    };
    for (const auto& n : names)
        if (n.code == type) return n.name;
    return type;
}

// The blank-separated words of a text.
std::vector<std::string_view> lf_words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find(' ', pos), text.size());
        if (end > pos) words.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return words;
}

}  // namespace

std::list<LiveryData> SampleMaker::liveries(const SampleOptions& options) {
    std::list<LiveryData> out;
    std::vector<int> weights;
    for (const auto& a : sampleAirlines) weights.push_back(a.weight);
    std::discrete_distribution<size_t> pickAirline(weights.begin(), weights.end());
    std::bernoulli_distribution withReg(options.regShare);
    static constexpr std::string_view packages[] = {"AIG", "FSLTL", "TFS"};
    for (size_t i = 0; i < options.count; ++i) {
        const auto& airline = sampleAirlines[pickAirline(rng_)];
        const auto types = lf_words(airline.types);
        const std::string type(types[pick(types.size())]);
        LiveryData liv;
        liv.airl = std::string(airline.icao);
        liv.type = type;
        liv.cargo = airline.cargo;
        const auto package = packages[pick(std::size(packages))];
        if (withReg(rng_)) liv.atcid = registration(airline.regPattern);
        const std::string detail = liv.atcid.empty() ? fmt::format("#{}", i + 1) : liv.atcid;
        if (package == "FSLTL")
            liv.title = fmt::format("FSLTL_{}_{}-{}_{}", type, airline.icao, airline.name, detail);
        else
            liv.title = fmt::format("{} {} {} {}", package, lf_typeName(type), airline.name, detail);
        out.push_back(std::move(liv));
    }
    return out;
}

std::vector<LiveryRegcodes> SampleMaker::aigRecords(const std::list<LiveryData>& installed, size_t count) {
    std::vector<const LiveryData*> pool;
    for (const auto& l : installed) pool.push_back(&l);
    std::vector<LiveryRegcodes> out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        LiveryRegcodes rec;
        const bool known = !pool.empty() && pick(10) < 7;
        const auto& airline = sampleAirlines[pick(std::size(sampleAirlines))];
        if (known) {
            const LiveryData& liv = *pool[pick(pool.size())];
            rec.title = liv.title;
            if (!liv.atcid.empty() && pick(4) == 0) rec.regs.push_back(liv.atcid);
        } else {
            rec.title = fmt::format("AIG {} {} not installed {}", lf_typeName("A320"), airline.name, i + 1);
        }
        rec.regs.push_back(registration(airline.regPattern));
        rec.special = pick(50) == 0;
        out.push_back(std::move(rec));
    }
    return out;
}

std::string SampleMaker::registration(std::string_view pattern) {
    std::string grown(pattern);
    for (int attempt = 1;; ++attempt) {
        if (attempt % 64 == 0) grown += '#';
        std::string reg;
        for (char c : grown) {
            if (c == '#')
                reg += static_cast<char>('A' + pick(26));
            else if (c == '%')
                reg += static_cast<char>('0' + pick(10));
            else
                reg += c;
        }
        if (regs_.insert(reg).second) return reg;
    }
}

std::string sampleDbaseXml(const std::list<LiveryData>& liveries, size_t regEvery) {
    std::string xml =
        "<?xml version=\"1.0\"?>\n<dbase>\n<meta><info name=\"author\" value=\"samples\"/>"
        "<info name=\"date\" value=\"2026-12-06\"/><info name=\"version\" "
        "value=\"1.0.0\"/></meta>\n<types>\n";
    for (const auto& [type, cat] : sampleTypeCategories)
        xml += fmt::format("<t icao=\"{}\" cat=\"{}\"/>\n", type, cat);
    xml += "</types>\n<similar>\n";
    for (auto group : sampleSimilarGroups) xml += fmt::format("<group models=\"{}\"/>\n", group);
    xml += "</similar>\n<ICAO_airlines>\n";
    for (const auto& a : sampleAirlines) xml += fmt::format("<a icao=\"{}\"/>\n", a.icao);
    xml += "</ICAO_airlines>\n<regs>\n";
    size_t n = 0;
    for (const auto& l : liveries) {
        if (l.atcid.empty() || l.airl == "ZZZ" || l.airl == "PVT" || n++ % regEvery != 0) continue;
        xml += fmt::format("<r reg=\"{}\" airl=\"{}\" type=\"{}\" opr=\"{}\"/>\n", l.atcid, l.airl, l.type,
                           l.airl);
    }
    xml += "</regs>\n</dbase>\n";
    return xml;
}

std::string aigRegcodesXml(const std::vector<LiveryRegcodes>& records) {
    std::string xml = "<?xml version=\"1.0\"?>\n<regcodes>\n";
    auto escape = [](std::string_view s) {
        std::string out;
        for (char c : s) {
            switch (c) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                default:
                    out += c;
            }
        }
        return out;
    };
    for (const auto& r : records) {
        std::string regs;
        for (const auto& reg : r.regs) regs += (regs.empty() ? "" : ",") + reg;
        xml += fmt::format("  <livery title=\"{}\" regs=\"{}\"{}/>\n", escape(r.title), regs,
                           r.special ? " special=\"true\"" : "");
    }
    xml += "</regcodes>\n";
    return xml;
}

std::span<const SampleAirline> gf_sampleAirlines() {
    return sampleAirlines;
}

}  // namespace vdl::samples
