// The last guard before the simulator: unsound values never leave, and each is a fault.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "foundation/errors.h"
#include "simlink/flight_plan.h"
#include "simlink/sim_guard.h"
#include "support/simulator_world.h"

namespace vdl {
namespace {

using test::LinkTest;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Counts the faults instead of failing the test, for as long as it lives.
class FaultCounter {
public:
    FaultCounter() : previous_(gf_setProgramFaultHandlerForTests([](std::string_view) { ++count; })) { count = 0; }
    ~FaultCounter() { gf_setProgramFaultHandlerForTests(previous_); }
    static inline int count = 0;

private:
    ProgramFaultHandler previous_;
};

struct Case {
    const char* fault;  // the start of the logged fault
    std::function<void(CreateAcCmd&, PositionUpdate&, FlightPlanData&)> spoil;
};

TEST_F(LinkTest, UnsoundValuesNeverReachTheSimulator) {
    const Case cases[] = {
        {"latitude nan", [](auto& c, auto& p, auto& f) { c.initPosition.latitude = p.latitude = f.departure.latitude = nan; }},
        {"latitude 90.5", [](auto& c, auto& p, auto& f) { c.initPosition.latitude = p.latitude = f.destination.latitude = 90.5; }},
        {"longitude -180.1", [](auto& c, auto& p, auto& f) { c.initPosition.longitude = p.longitude = f.departure.longitude = -180.1; }},
        {"altitude 1e+300", [](auto& c, auto& p, auto& f) { c.initPosition.altitude = p.altitude = f.destination.elevation = 1e300; }},
        {"altitude -2001", [](auto& c, auto& p, auto&) { c.initPosition.altitude = p.altitude = -2001; }},
        {"bank", [](auto& c, auto& p, auto&) { c.initPosition.bank = 91; p.bank = 1.6; }},
        {"pitch", [](auto& c, auto& p, auto&) { c.initPosition.pitch = -inf; p.pitch = nan; }},
        {"heading", [](auto& c, auto& p, auto&) { c.initPosition.heading = 400; p.heading = inf; }},
        {"airspeed 2001", [](auto& c, auto&, auto&) { c.initPosition.airspeed = 2001; }},
        {"true airspeed 1000000000", [](auto&, auto& p, auto&) { p.trueAirspeed = 1e9; }},
        {"vertical speed nan", [](auto&, auto& p, auto&) { p.verticalSpeed = nan; }},
        {"cruising altitude -1e+300", [](auto&, auto&, auto& f) { f.cruisingAltitude = -1e300; }},
    };
    connect();
    const uint32_t object = createBound(10001, "KEEP1");
    ASSERT_NE(object, 0u);
    FaultCounter faults;
    int expectedFaults = 0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.fault);
        CreateAcCmd create = test::createCommand(10002, "NEW1");
        PositionUpdate position{test::worldAirportLat, test::worldAirportLon, 0.0, 0.0, 0.0, 150.0, 0.0, 0.0, object};
        FlightPlanData plan{{"EHAM", true, 52.3, 4.76, -11.0}, {"EGLL", true, 51.47, -0.46, 83.0}, 24000.0};
        // Sound as made, right up to the bounds.
        EXPECT_EQ(gf_unsoundValue(create.initPosition), "");
        EXPECT_EQ(gf_unsoundValue(position), "");
        EXPECT_EQ(gf_unsoundValue(plan), "");
        k.spoil(create, position, plan);
        const std::string spoiled[] = {gf_unsoundValue(create.initPosition), gf_unsoundValue(position),
                                       gf_unsoundValue(plan)};
        for (const std::string& fault : spoiled) {
            if (!fault.empty()) {
                EXPECT_EQ(fault.rfind(k.fault, 0), 0u) << fault;
            }
        }
        const size_t calls = sim_->calls().size();
        gf_queueCreateAc(create);
        gf_updateAircraft(position);
        {
            SimLock lock(simMutex);
            gf_swapPositionBuffers(lock);
        }
        rounds(1);
        const auto all = sim_->calls();
        size_t creates = 0, positions = 0;
        for (size_t i = calls; i < all.size(); ++i) {
            creates += all[i].call == SimCall::AICreateNonATCAircraft;
            positions += all[i].call == SimCall::SetDataOnSimObject;
        }
        EXPECT_EQ(creates, spoiled[0].empty() ? 1u : 0u);
        EXPECT_EQ(positions, spoiled[1].empty() ? 1u : 0u);
        EXPECT_EQ(gf_writeFlightPlan("p.pln", plan), spoiled[2].empty());
        EXPECT_EQ(std::filesystem::exists("p.pln"), spoiled[2].empty());
        std::filesystem::remove("p.pln");
        for (const std::string& fault : spoiled) expectedFaults += !fault.empty();
        EXPECT_EQ(FaultCounter::count, expectedFaults);
    }
    // Error lines, as many as the limiter lets pass.
    gf_closeLog();
    const std::string log = test::readWholeFile(work_.path() / "Log.txt");
    EXPECT_NE(log.find("===> create of hexid 10002 dropped: latitude nan\n"
                       "===> position of object " + std::to_string(object) + " dropped: latitude nan\n"
                       "===> flight plan p.pln dropped: latitude nan\n"),
              std::string::npos);
    EXPECT_NE(log.find("===> unsound value towards the simulator: ... and "), std::string::npos);
}

TEST(SimGuard, BoundsAreSound) {
    const SimInitPosition edge{-90.0, 180.0, 100000.0, -90.0, 90.0, 360.0, 0, 2000};
    EXPECT_EQ(gf_unsoundValue(edge), "");
    const PositionUpdate low{90.0, -180.0, -1.57, 1.57, 6.28, -2000.0, -1e4, -2000.0, 1};
    EXPECT_EQ(gf_unsoundValue(low), "");
}

}  // namespace
}  // namespace vdl
