// A fresh working folder with a small data base loaded, the log open and the livery tables
// clean: the set-up of the livery and traffic tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "liveries/livery_data.h"
#include "liveries/livery_tables.h"
#include "refdata/dbase.h"
#include "refdata/download.h"
#include "refdata/reset.h"
#include "support/foundation_env.h"
#include "window/main_window.h"
#include "window/reset.h"

namespace vdl::test {

// Types with categories, spans and similar groups, airlines and registrations for both catalogues.
inline constexpr std::string_view dbaseXml = R"(<?xml version="1.0"?>
<dbase>
  <meta><info name="author" value="test"/><info name="date" value="2026-12-06"/><info name="version" value="1.0.0"/></meta>
  <types>
    <t icao="A319" cat="2"/><t icao="A320" cat="2" span="35.8"/><t icao="A20N" cat="2"/><t icao="A321" cat="2"/>
    <t icao="B738" cat="2" span="35.8"/><t icao="B77W" cat="3" span="64.8"/><t icao="B772" cat="3"/>
    <t icao="C172" cat="0" span="11"/><t icao="C152" cat="0"/><t icao="PA28" cat="0"/><t icao="C56X" cat="1" span="17.2"/>
    <t icao="CL35" cat="1" span="21.0"/>
    <t icao="R44" cat="5" span="10"/><t icao="EC35" cat="5"/><t icao="F16" cat="4"/>
  </types>
  <similar><group models="A320 A20N A321 A319"/><group models="B77W B772"/><group models="C172 C152 PA28"/>
    <group models="R44 EC35"/></similar>
  <ICAO_airlines>
    <a icao="DLH"/><a icao="CLH"/><a icao="BAW"/><a icao="EWG"/><a icao="FDX"/><a icao="NJE"/><a icao="AAA"/>
    <a icao="BBB"/><a icao="ZZZ"/><a icao="PVT"/><a icao="KLM"/><a icao="XXX"/>
  </ICAO_airlines>
  <regs>
    <r reg="D-AIZX" airl="DLH" type="A320" opr="CLH"/><r reg="D-AIZY" airl="DLH" type="A320" opr="XXX"/>
    <r reg="PH-BXA" airl="KLM" type="B738"/>
  </regs>
</dbase>
)";

// The livery tests' catalogue; short titles fit the small-string buffer, so a moved string shows.
inline std::list<LiveryData> handCatalogue() {
    return {
        {"DLH", "A320", "DLH320a", "D-AIZA", 1, false}, {"DLH", "A320", "DLH320b", "D-AIZB", 1, false},
        {"DLH", "A320", "DLH320c", "", 2, false},       {"DLH", "A20N", "DLH20Na", "", 1, false},
        {"BAW", "A320", "BAW320a", "G-EUUA", 1, false}, {"BAW", "B77W", "BAW77Wa", "", 1, false},
        {"EWG", "A20N", "FSLTL_EWG", "", 1, false},     {"EWG", "A320", "fsltl_ewg", "", 1, false},
        {"FDX", "B77W", "FDX77Wc", "N851FD", 1, true},  {"ZZZ", "A320", "ZZZ320a", "", 3, false},
        {"ZZZ", "B77W", "ZZZ77Wa", "", 3, false},       {"ZZZ", "C172", "ZZZ172a", "", 3, false},
        {"ZZZ", "R44", "ZZZR44a", "", 3, false},        {"PVT", "C172", "PVT172a", "", 3, false},
        {"AAA", "C152", "AAA152a", "", 3, false},       {"NJE", "C56X", "NJE56Xa", "", 3, false},
    };
}

class DataEnv : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_resetWindow();
        gf_resetRefdata();
        gf_resetLiveries();
        std::filesystem::create_directories("input");
        std::filesystem::create_directories("output");
        writeWholeFile("input/dbase.xml", std::string(dbaseXml));
        gf_loadDbase("input/dbase.xml");
        // No registration file: the download fails at once.
        gf_setServerBaseForTests("http://127.0.0.1:1/");
        gf_setDownloadTimeouts({std::chrono::milliseconds(500), std::chrono::milliseconds(1000)});
        ASSERT_TRUE(gf_openLog("MSFS 2020", "Log.txt"));
        gf_loadParameters();
    }
    void TearDown() override {
        gf_resetLiveries();
        gf_resetRefdata();
        gf_resetWindow();
    }

    // Writes the records as output/LiveriesScanned.xml through the program's writer.
    static void writeCatalogue(std::list<LiveryData> records) {
        liveries = std::move(records);
        gf_saveScannedLiveries();
        liveries.clear();
    }
    static void buildFrom(std::list<LiveryData> records) {  // through the file, as a start-up does
        writeCatalogue(std::move(records));
        gf_processScannedLiveries();
    }

    std::string logText() const { return readWholeFile(work_.path() / "Log.txt"); }
    std::vector<std::string> newLogLines() {  // since the last call
        std::vector<std::string> lines;
        const auto all = gf_readFileLines("Log.txt");
        if (!all) return lines;
        lines.assign(all->begin() + static_cast<std::ptrdiff_t>(std::min(logSeen_, all->size())), all->end());
        logSeen_ = all->size();
        return lines;
    }
    static bool contains(const std::vector<std::string>& lines, std::string_view text) {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }

    TempWorkDir work_;

  private:
    size_t logSeen_ = 0;
};

using LiveriesEnv = DataEnv;

}  // namespace vdl::test
