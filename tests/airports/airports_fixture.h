// Common set-up of the airports tests: a fresh working folder, the library's globals reset,
// and helpers to build options and read the log.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "airports/reset.h"
#include "airports/stand_records.h"
#include "foundation/log.h"
#include "refdata/dbase.h"
#include "refdata/identity.h"
#include "support/foundation_env.h"

namespace vdl::test {

class AirportsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gf_resetAirportsForTests();
        gf_resetRefdataForTests();
    }
    void TearDown() override {
        gf_resetAirportsForTests();
        gf_resetRefdataForTests();
    }

    // Opens Log.txt in the working folder.
    void openLog() { ASSERT_TRUE(gf_openLog("MSFS 2020")); }
    std::string logText() {
        gf_closeLog();
        return readWholeFile("Log.txt");
    }

    TempWorkDir work;
};

inline AcIdentity makeAc(std::string airl, std::string type) {
    AcIdentity ac;
    ac.airl = std::move(airl);
    ac.type = std::move(type);
    return ac;
}

inline HalfHourSet hoursOf(const std::vector<int>& slots) {
    HalfHourSet h;
    for (int s : slots) h.set(static_cast<size_t>(s));
    return h;
}

inline ParkPosOption makeOption(uint32_t id, const std::vector<int>& slots = {}, uint32_t day = 3,
                                uint32_t kind = optionReal) {
    ParkPosOption o;
    o.airline = "DLH";
    o.type = "A320";
    o.id = id;
    o.day = day;
    o.kind = kind;
    o.hours = hoursOf(slots);
    return o;
}

inline std::vector<ParkPosOption> optionsWithIds(std::initializer_list<uint32_t> ids) {
    std::vector<ParkPosOption> list;
    for (uint32_t id : ids) list.push_back(makeOption(id));
    return list;
}

}  // namespace vdl::test
