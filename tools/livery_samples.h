// Sample livery catalogues from real airlines (ICAO codes, names, the registration formats of
// their countries) and the types they fly, for the make_liveries tool and the benchmarks.
// Deterministic for a given seed.
#pragma once

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <list>
#include <random>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "liveries/livery_data.h"
#include "refdata/regcodes.h"

namespace vdl::samples {

struct SampleAirline {
    std::string_view icao;
    std::string_view name;
    // Registration pattern: letters and '-' as given, '#' a random letter, '%' a random digit.
    std::string_view regPattern;
    std::string_view types;  // blank-separated ICAO type designators
    bool cargo;
    int weight;  // share of the catalogue
};

// Airlines, with the registration formats of their home countries.
inline constexpr SampleAirline sampleAirlines[] = {
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
inline std::string_view sampleTypeName(std::string_view type) {
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

struct SampleOptions {
    size_t count = 1000;
    double regShare = 0.8;  // share of liveries with a registration
    uint32_t seed = 1;
};

class SampleMaker {
  public:
    explicit SampleMaker(uint32_t seed) : rng_(seed) {}

    // `count` liveries, each title unique; registrations unique too.
    std::list<LiveryData> liveries(const SampleOptions& options) {
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
                liv.title = fmt::format("{} {} {} {}", package, sampleTypeName(type), airline.name, detail);
            out.push_back(std::move(liv));
        }
        return out;
    }

    // AIG entries: `count` records; about 70 % name installed titles (a new registration, some a
    // registration already in use), the rest titles that are not installed; one in 50 special.
    std::vector<LiveryRegcodes> aigRecords(const std::list<LiveryData>& installed, size_t count) {
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
                rec.title =
                    fmt::format("AIG {} {} not installed {}", sampleTypeName("A320"), airline.name, i + 1);
            }
            rec.regs.push_back(registration(airline.regPattern));
            rec.special = pick(50) == 0;
            out.push_back(std::move(rec));
        }
        return out;
    }

    // A registration after the pattern that was not handed out before; a pattern that has run
    // out of registrations grows by a letter.
    std::string registration(std::string_view pattern) {
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

    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

  private:
    static std::vector<std::string_view> lf_words(std::string_view text) {
        std::vector<std::string_view> words;
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t end = std::min(text.find(' ', pos), text.size());
            if (end > pos) words.push_back(text.substr(pos, end - pos));
            pos = end + 1;
        }
        return words;
    }

    std::mt19937 rng_;
    std::unordered_set<std::string> regs_;
};

// Categories (input/dbase.xml "cat") of the sample types; similar-type groups among them.
inline constexpr std::pair<std::string_view, int> sampleTypeCategories[] = {
    {"C172", 0}, {"C152", 0}, {"PA28", 0}, {"SR22", 0}, {"BE58", 0}, {"BE36", 0}, {"DA40", 0}, {"DA42", 0},
    {"PC12", 0}, {"C208", 0}, {"TBM9", 0}, {"C25A", 1}, {"C56X", 1}, {"CL35", 1}, {"GLEX", 1}, {"E55P", 1},
    {"F2TH", 1}, {"GLF5", 1}, {"LJ45", 1}, {"A318", 2}, {"A319", 2}, {"A320", 2}, {"A321", 2}, {"A20N", 2},
    {"A21N", 2}, {"B712", 2}, {"B737", 2}, {"B738", 2}, {"B739", 2}, {"B38M", 2}, {"B39M", 2}, {"B752", 2},
    {"B753", 2}, {"BCS1", 2}, {"BCS3", 2}, {"E170", 2}, {"E175", 2}, {"E190", 2}, {"E195", 2}, {"CRJ9", 2},
    {"DH8D", 2}, {"AT75", 2}, {"AT76", 2}, {"A306", 3}, {"A332", 3}, {"A333", 3}, {"A339", 3}, {"A343", 3},
    {"A346", 3}, {"A359", 3}, {"A35K", 3}, {"A388", 3}, {"B744", 3}, {"B748", 3}, {"B763", 3}, {"B764", 3},
    {"B772", 3}, {"B77W", 3}, {"B77L", 3}, {"B788", 3}, {"B789", 3}, {"B78X", 3}, {"MD11", 3}, {"R44", 5},
    {"EC35", 5}, {"H145", 5}, {"AS50", 5}, {"B06", 5},
};
inline constexpr std::string_view sampleSimilarGroups[] = {
    "A320 A319 A321 A20N A21N A318",
    "B738 B737 B739 B38M B39M",
    "B752 B753",
    "A332 A333 A339",
    "A343 A346",
    "A359 A35K",
    "B772 B77W B77L",
    "B788 B789 B78X",
    "B744 B748",
    "B763 B764",
    "E170 E175 E190 E195",
    "BCS1 BCS3",
    "CRJ9 DH8D",
    "AT75 AT76",
    "C172 C152 PA28 DA40 SR22",
    "BE58 BE36 DA42",
    "PC12 C208 TBM9",
    "C25A C56X E55P LJ45",
    "CL35 GLEX F2TH GLF5",
    "R44 EC35 H145 AS50 B06",
};

// A data base for the samples: types, groups, airlines, and one registration record (airline,
// type, the operator where it differs) for every `regEvery`-th livery with a registration.
inline std::string sampleDbaseXml(const std::list<LiveryData>& liveries, size_t regEvery) {
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

// The AIG-regcodes.xml text of the records.
inline std::string aigRegcodesXml(const std::vector<LiveryRegcodes>& records) {
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

}  // namespace vdl::samples
