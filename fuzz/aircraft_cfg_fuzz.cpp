// aircraft.cfg files of the livery scan: the first byte chooses how the rest is stored (as it is,
// UTF-8 with mark, UTF-16 LE or BE with mark); the file's lines go through the numbering check,
// the model rule, the section cutting and the section rules of both readers.
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "fuzz_support.h"
#include "liveries/cfg_lines.h"
#include "liveries/cfg_reader.h"
#include "liveries/scan_reports.h"
#include "refdata/dbase.h"
#include "refdata/reset.h"

using namespace vdl;
using fuzz::gf_expect;

namespace {

void lf_loadDbase() {
    static const bool loaded = [] {
        fuzz::gf_writeFile("input/dbase.xml",
                           "<dbase><meta><info name=\"author\" value=\"f\"/><info name=\"date\" value=\"d\"/>"
                           "<info name=\"version\" value=\"1\"/></meta><types><t icao=\"A320\" cat=\"2\"/>"
                           "<t icao=\"C172\" cat=\"0\"/><t icao=\"B738\" cat=\"2\"/></types><ICAO_airlines>"
                           "<a icao=\"DLH\"/><a icao=\"ZZZ\"/><a icao=\"PVT\"/></ICAO_airlines><regs>"
                           "<r reg=\"D-AIZX\" airl=\"DLH\" type=\"A320\"/><r reg=\"HB-\" airl=\"PVT\" type=\"C172\"/>"
                           "</regs><fixes><fx wro=\"A32X\" cor=\"A320\"/></fixes></dbase>");
        gf_loadDbase("input/dbase.xml");
        return true;
    }();
    (void)loaded;
}

std::string lf_stored(uint8_t how, std::string_view rest) {
    switch (how % 4) {
        case 1: return "\xEF\xBB\xBF" + std::string(rest);
        case 2: return "\xFF\xFE" + std::string(rest);
        case 3: return "\xFE\xFF" + std::string(rest);
        default: return std::string(rest);
    }
}

void lf_checkRecord(const LiveryData& liv, std::set<std::string>& titles) {
    gf_expect(!liv.title.empty(), "livery without title");
    gf_expect(!liv.airl.empty(), "livery without airline");
    gf_expect(titles.insert(liv.title).second, "title twice in one scan");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const fuzz::InScratchDir inScratch;
    lf_loadDbase();
    CfgText cfg;
    gf_cfgFromBytes(lf_stored(data[0], fuzz::gf_text(data + 1, size - 1)), cfg);
    for (const auto line : cfg.lines) gf_expect(line.find('\n') == std::string_view::npos, "line break in a line");

    gf_checkFltsimNumbers(cfg.lines, "p/aircraft.cfg");
    const std::string model = gf_modelOfFile("p/aircraft.cfg", cfg.lines);
    gf_expect(model.size() <= 4, "model longer than 4");
    std::set<std::string> titles;
    for (const bool ivao : {false, true}) {
        gf_cutSections(cfg.lines, ivao, [&](CfgLines& section) {
            gf_expect(!section.empty() && !gf_sectionNumber(section.front()).empty(), "section without header");
            if (ivao) {
                const LiveryData liv = gf_procesIvaoFltSimSection({1, "A320", "p/aircraft.cfg", "p"}, section);
                if (!liv.airl.empty()) lf_checkRecord(liv, titles);
            } else {
                for (const auto& liv : gf_procesFltSimSection({1, model.empty() ? "C172" : model, "p/aircraft.cfg",
                                                              "p"}, section))
                    lf_checkRecord(liv, titles);
            }
        });
    }
    gf_resetScanReports();
    return 0;
}
