// A small dbase.xml and a fixture that loads it in a fresh working folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/log.h"
#include "refdata/dbase.h"
#include "support/foundation_env.h"

namespace vdl::test {

inline const char* sampleDbaseXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<dbase>
  <meta><info name="version" value="7"/></meta>
  <types>
    <t icao="A320" cat="2" span="35.8"/>
    <t icao="A321" cat="2" span="35.8"/>
    <t icao="A20N" cat="2"/>
    <t icao="B77W" cat="3" span="64.8"/>
    <t icao="B744" cat="3" span="64.4"/>
    <t icao="C172" cat="0" span="11.0"/>
    <t icao="P28A" cat="0" span="10.0"/>
    <t icao="CL35" cat="1" span="21.0"/>
    <t icao="EC35" cat="5" span="10.2"/>
    <t icao="F16" cat="4"/>
    <t icao="ZZZZ"/>
    <t icao="GLID" span="15.0"/>
  </types>
  <similar>
    <group models="A320 A20N A321"/>
    <group models="B77W B744"/>
  </similar>
  <ICAO_airlines>
    <a icao="DLH" name="Lufthansa"/>
    <a icao="CLH"/>
    <a icao="UAE"/>
    <a icao="UAL"/>
    <a icao="GEC"/>
    <a icao="ZZZ"/>
    <a icao="PVT"/>
  </ICAO_airlines>
  <regs>
    <r reg="D-AINA" airl="DLH" type="A20N" opr="CLH"/>
    <r reg="A6-EUA" airl="UAE" type="A388"/>
    <r reg="N35953" airl="UAL" type="B789"/>
    <r reg="N1-2345" airl="UAL" type="A320"/>
    <r reg="D-ALFA" airl="GEC" type="B77L" cargo="true"/>
    <r reg="DA-INB" airl="DLH" type="A320"/>
    <r reg="D-AINB" airl="CLH" type="A321"/>
    <r reg="D-ETJP" airl="PVT" type="C172"/>
    <r reg="HB-" airl="PVT"/>
    <r reg="D-E" airl="PVT"/>
    <r reg="D-EA" airl="PVT"/>
    <r reg="OE-" airl="DLH"/>
  </regs>
  <fixes>
    <fx wro="A320N" cor="A20N"/>
    <fx wro="B77F" cor="B77L"/>
  </fixes>
  <publishers>
    <p name="FlyTampa" alias="Fly Tampa"/>
    <p name="FlyTampa" alias="flytampa"/>
  </publishers>
  <simaddons20 arpts="EGLL  LFPG
     KJFK"/>
  <thirdparties20>
    <tp pub="FlyTampa" arpts="EKCH148 LOWW127"/>
    <tp pub="JustSim" arpts=""/>
  </thirdparties20>
  <thirdparties24>
    <tp pub="iniBuilds" arpts="EGLL231"/>
  </thirdparties24>
</dbase>
)";

inline constexpr double metresToHalfNm = 1.0 / 2.0 / 1852.0;

// Fresh working folder with input/dbase.xml written from the text; the data base starts empty.
class DbaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_resetRefdataForTests();
        std::filesystem::create_directories("input");
    }
    void TearDown() override { gf_resetRefdataForTests(); }

    void writeDbase(const std::string& xml, const std::filesystem::path& file = "input/dbase.xml") {
        writeWholeFile(file, xml);
    }
    void loadSample() {
        writeDbase(sampleDbaseXml);
        gf_loadDbase();
    }

    TempWorkDir work;
};

}  // namespace vdl::test
