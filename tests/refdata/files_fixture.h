// Fresh working folder with Log.txt open and the reference data reset, and a small dbase.xml.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/log.h"
#include "refdata/dbase.h"
#include "refdata/download.h"
#include "refdata/hooks.h"
#include "refdata/reset.h"
#include "support/foundation_env.h"

namespace vdl::test {

// Without spans, A20N and F16 take their category's mean; ZZZZ and GLID have no category.
inline const char* sampleDbaseXml = R"(<dbase><meta><info name="version" value="7"/></meta>
  <types><t icao="A320" cat="2" span="35.8"/><t icao="A321" cat="2" span="35.8"/><t icao="A20N" cat="2"/>
    <t icao="B77W" cat="3" span="64.8"/><t icao="B744" cat="3" span="64.4"/><t icao="C172" cat="0" span="11.0"/>
    <t icao="P28A" cat="0" span="10.0"/><t icao="F16" cat="4"/><t icao="ZZZZ"/><t icao="GLID" span="15.0"/></types>
  <similar><group models="A320 A20N A321"/><group models="B77W B744"/></similar>
  <ICAO_airlines><a icao="DLH"/><a icao="CLH"/><a icao="UAL"/><a icao="GEC"/><a icao="ZZZ"/><a icao="PVT"/></ICAO_airlines>
  <regs><r reg="D-AINA" airl="DLH" type="A20N" opr="CLH"/><r reg="A6-EUA" airl="UAE" type="A388"/>
    <r reg="N35953" airl="UAL" type="B789"/><r reg="N1-2345" airl="UAL" type="A320"/>
    <r reg="D-ALFA" airl="GEC" type="B77L" cargo="true"/><r reg="DA-INB" airl="DLH" type="A320"/>
    <r reg="D-AINB" airl="CLH" type="A321"/><r reg="D-ETJP" airl="PVT" type="C172"/><r reg="HB-" airl="PVT"/>
    <r reg="D-E" airl="PVT"/><r reg="D-EA" airl="PVT"/><r reg="OE-" airl="DLH"/></regs>
  <fixes><fx wro="A320N" cor="A20N"/></fixes><publishers><p name="FlyTampa" alias="Fly Tampa"/></publishers>
  <simaddons20 arpts="EGLL  LFPG
     KJFK"/>
  <thirdparties20><tp pub="FlyTampa" arpts="EKCH148 LOWW127"/><tp pub="JustSim" arpts=""/></thirdparties20>
  <thirdparties24><tp pub="iniBuilds" arpts="EGLL231"/></thirdparties24></dbase>
)";

inline constexpr double metresToHalfNm = 1.0 / 2.0 / 1852.0;

class RefFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_resetRefdata();
        gf_openLog("MSFS 2020", "Log.txt");
    }
    void TearDown() override {
        gf_closeLog();
        gf_resetRefdata();
    }

    static std::string logText() { return readWholeFile("Log.txt"); }
    static void loadSample() {
        std::filesystem::create_directories("input");
        writeWholeFile("input/dbase.xml", sampleDbaseXml);
        gf_loadDbase();
    }

    TempWorkDir work;
};

}  // namespace vdl::test
