#include "standins/community_samples.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>

#include "foundation/utf8_path.h"
#include "standins/livery_samples.h"

namespace vdl::samples {

namespace {

namespace fs = std::filesystem;

enum class FileCoding { Utf8, Utf8Bom, Utf16Le, Utf16Be, Ansi };

// The code points of UTF-8 text (the generator's own, always valid).
std::u32string lf_codePoints(std::string_view text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (size_t k = 1; k < len && i + k < text.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out += cp;
        i += len;
    }
    return out;
}

std::string lf_encode(std::string_view text, FileCoding coding) {
    std::string out;
    switch (coding) {
        case FileCoding::Utf8:
            return std::string(text);
        case FileCoding::Utf8Bom:
            return "\xEF\xBB\xBF" + std::string(text);
        case FileCoding::Ansi:
            // Latin-1 letters are the same bytes in Windows-1252.
            for (const char32_t cp : lf_codePoints(text)) out += cp < 0x100 ? static_cast<char>(cp) : '?';
            return out;
        case FileCoding::Utf16Le:
        case FileCoding::Utf16Be: {
            const bool big = coding == FileCoding::Utf16Be;
            const auto put = [&](char16_t u) {
                const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
                out += big ? hi : lo;
                out += big ? lo : hi;
            };
            put(0xFEFF);
            for (const char32_t cp : lf_codePoints(text)) {
                if (cp < 0x10000) {
                    put(static_cast<char16_t>(cp));
                } else {
                    put(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
                    put(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
                }
            }
            return out;
        }
    }
    return out;
}

FileCoding lf_codingOf(size_t file) {
    if (file % 40 == 9) return FileCoding::Utf16Be;
    if (file % 10 == 3) return FileCoding::Utf16Le;
    if (file % 20 == 5) return FileCoding::Ansi;
    if (file % 10 == 1) return FileCoding::Utf8Bom;
    return FileCoding::Utf8;
}

void lf_write(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + gf_utf8FromPath(path));
}

std::string lf_general(std::string_view type, bool upper) {
    return fmt::format(
        "[VERSION]\nmajor = 1\nminor = 0\n\n{}\natc_type = \"TT:ATCCOM.ATC_NAME {}.0.text\" ; set by the model\n"
        "atc_model = \"TT:ATCCOM.AC_MODEL {}.0.text\"\nicao_type_designator = \"{}\" ; ICAO code\n"
        "icao_manufacturer = \"SAMPLE\"\nicao_model = \"{}\"\nicao_engine_type = \"Jet\"\n"
        "icao_engine_count = 2\nicao_WTC = \"M\"\nCategory = \"airplane\"\n"
        "performance = \"Generated for tests, not a real aircraft.\"\n\n",
        upper ? "[GENERAL]" : "[General]", type, type, type, type);
}

std::string lf_section(size_t number, const LiveryData& liv, std::string_view texture, bool upper) {
    std::string text = fmt::format("{}\ntitle = \"{}\" ; {}\nmodel = \"\"\npanel = \"\"\nsound = \"\"\n"
                                   "texture = \"{}\"\nkb_checklists = \"\"\nkb_reference = \"\"\n",
                                   upper ? fmt::format("[FLTSIM.{}]", number) : fmt::format("[fltsim.{}]", number),
                                   liv.title, "livery of the sample fleet", texture);
    if (!liv.atcid.empty()) text += fmt::format("atc_id = \"{}\" ; registration\n", liv.atcid);
    text += fmt::format(
        "atc_airline = \"{}\"\natc_flight_number = \"{}\"\nicao_airline = \"{}\"\natc_heavy = 0\n"
        "atc_parking_types = \"{}\"\natc_parking_codes = \"{}\"\natc_id_color = \"0xffffffff\"\n"
        "atc_id_font = \"Verdana,-11,1,600,0\"\nui_manufacturer = \"Sample\"\nui_type = \"{}\"\n"
        "ui_variation = \"{}\"\nui_typerole = \"Commercial Airliner\"\nui_createdby = \"Vandrel samples\"\n"
        "ui_thumbnailfile = \"\"\nui_certified_ceiling = 39800\nui_max_range = 3300\n"
        "description = \"A livery of the generated fleet; it exists only in tests.\"\n"
        "isAirTraffic = 1\nisUserSelectable = 0\ncanBeUsedByAITraffic = 1\n\n",
        liv.airl, 100 + number, liv.airl, liv.cargo ? "CARGO" : "GATE_MEDIUM,GATE_HEAVY,RAMP", liv.airl, liv.type,
        liv.airl);
    return text;
}

}  // namespace

CommunityWritten gf_writeCommunity(const fs::path& community, const CommunityOptions& options) {
    CommunityWritten written;
    SampleMaker maker(options.seed);
    // One model per file, each livery with its own type: full files are cut from the liveries of
    // each type (drawn with room to spare), and a shuffled choice of them is written.
    SampleOptions sample;
    sample.count = (options.files + 100) * options.sections;
    sample.seed = options.seed;
    std::list<LiveryData> list = maker.liveries(sample);
    std::vector<LiveryData> all(std::make_move_iterator(list.begin()), std::make_move_iterator(list.end()));
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.type < b.type; });
    std::vector<size_t> chunks;  // first index of each full file
    for (size_t i = 0; i + options.sections <= all.size();) {
        if (all[i].type == all[i + options.sections - 1].type) {
            chunks.push_back(i);
            i += options.sections;
        } else {
            ++i;
        }
    }
    std::shuffle(chunks.begin(), chunks.end(), std::mt19937(options.seed));
    if (chunks.size() < options.files) throw std::runtime_error("too few liveries for the files asked for");

    for (const char* name : communityPackageNames) written.packages.push_back(community / gf_pathFromUtf8(name));
    written.titles.reserve(all.size());
    for (size_t file = 0; file < options.files; ++file) {
        const size_t first = chunks[file];
        const std::string type = all[first].type;
        const size_t share = file % 10;
        const fs::path& package = written.packages[share < 5 ? 0 : share < 8 ? 1 : 2];
        // Some aircraft folders carry non-ASCII letters, as user-made packages do.
        const std::string folderName =
            file % 7 == 2 ? fmt::format("{}_Flügel_{}", type, file) : fmt::format("Sample_{}_{}", type, file);
        const fs::path aircraft = package / "SimObjects" / "Airplanes" / gf_pathFromUtf8(folderName);
        fs::create_directories(aircraft);
        const bool upper = file % 2 == 0;
        std::string text = lf_general(type, upper);
        for (size_t n = 0; n < options.sections; ++n) {
            LiveryData liv = all[first + n];
            const size_t index = file * options.sections + n;
            if (index % 11 == 4) liv.title += " Édition spéciale";
            if (index % 50 == 17) liv.title += "-STUB";
            const std::string texture = fmt::format("{}_{}", liv.airl, n);
            if (options.textureFolders) fs::create_directories(aircraft / gf_pathFromUtf8("texture." + texture));
            text += lf_section(n, liv, texture, upper);
            written.titles.push_back(liv.title);
        }
        const std::string bytes = lf_encode(text, lf_codingOf(file));
        lf_write(aircraft / (file % 13 == 6 ? "Aircraft.CFG" : "aircraft.cfg"), bytes);
        written.bytes += bytes.size();
    }
    return written;
}

}  // namespace vdl::samples
