// The RealTraffic stand-in's complete flights: an arrival from 15 nm to the apron and a
// departure from a gate with pushback to the climb.
#include "../../tools/rt_standin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace vdl {
namespace {

const rtstandin::Flight& lf_flight(std::string_view callsign) {
    static const auto flights = rtstandin::gf_eddlScenario();
    for (const auto& f : flights)
        if (f.callsign == callsign) return f;
    throw std::runtime_error("no flight " + std::string(callsign));
}

// The first time at which the flight's state answers `test`, sampled every 0.5 s.
template <typename Test>
std::optional<double> lf_firstTime(const rtstandin::Flight& f, double from, double to, Test test) {
    for (double t = from; t <= to; t += 0.5) {
        const auto s = rtstandin::gf_sampleAt(f, t);
        if (s && test(*s)) return t;
    }
    return std::nullopt;
}

TEST(RealTrafficStandInFlights, ArrivalFromFifteenMilesLandsVacatesAndTaxisIn) {
    const auto& f = lf_flight("DLH4TC");
    const LatLon threshold = eddl::gf_threshold(true, true);
    const auto first = rtstandin::gf_sampleAt(f, 0.0);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->airborne);
    EXPECT_NEAR(gf_distanceNm(first->pos, threshold), 15.0, 0.1);
    // On a 3-degree path: 318 ft per nm above the threshold crossing height of 50 ft.
    EXPECT_NEAR(first->altFt, eddl::elevationFt + 50.0 + 15.0 * feetPerNm * rtstandin::tanGlide, 1.0);
    EXPECT_LT(first->verticalFpm, -600.0);
    EXPECT_GT(first->verticalFpm, -900.0);

    const auto touchdown = lf_firstTime(f, 0.0, 1000.0, [](const rtstandin::Sample& s) { return !s.airborne; });
    ASSERT_TRUE(touchdown);
    EXPECT_GT(*touchdown, 300.0);
    const auto atTouchdown = rtstandin::gf_sampleAt(f, *touchdown);
    EXPECT_GT(gf_distanceNm(atTouchdown->pos, threshold) * 1852.0, 250.0);
    // Leaves the runway's heading only at taxi speed.
    const double rwy23 = eddl::runwayHeadingDeg + 180.0;
    const auto exit = lf_firstTime(f, *touchdown, 1500.0, [&](const rtstandin::Sample& s) {
        return std::fabs(gf_angleDiff(rwy23 * pi / 180.0, s.trackDeg * pi / 180.0)) > 15.0 * pi / 180.0;
    });
    ASSERT_TRUE(exit);
    EXPECT_LT(rtstandin::gf_sampleAt(f, *exit - 1.0)->groundSpeedKt, 25.0);
    // Taxis on and stands still at the end.
    const auto end = rtstandin::gf_sampleAt(f, 3000.0);
    ASSERT_TRUE(end);
    EXPECT_FALSE(end->airborne);
    EXPECT_DOUBLE_EQ(end->groundSpeedKt, 0.0);
    EXPECT_GT(gf_distanceNm(end->pos, atTouchdown->pos) * 1852.0, 1000.0);
}

TEST(RealTrafficStandInFlights, DepartureFromAGatePushesBackTaxisAndClimbs) {
    const auto& f = lf_flight("EWG7KT");
    const auto parked = rtstandin::gf_sampleAt(f, 10.0);
    ASSERT_TRUE(parked);
    EXPECT_DOUBLE_EQ(parked->groundSpeedKt, 0.0);
    // Pushed back: moving slowly, away from where the nose points (the terminal, 322 degrees).
    const auto push = rtstandin::gf_sampleAt(f, 35.0);
    ASSERT_TRUE(push);
    EXPECT_NEAR(push->groundSpeedKt, 3.0, 0.5);
    EXPECT_NEAR(std::fabs(gf_angleDiff(322.0 * pi / 180.0, push->trackDeg * pi / 180.0)), pi, 0.05);
    EXPECT_NEAR(std::fabs(gf_angleDiff(322.0 * pi / 180.0, push->headingDeg * pi / 180.0)), 0.0, 0.05) << "nose first";
    // The tail swung to the south-west: the nose ends turned right, and keeps that heading while
    // the engines start; the taxi then goes nose first.
    const auto turned = rtstandin::gf_sampleAt(f, 70.0);
    ASSERT_TRUE(turned);
    EXPECT_DOUBLE_EQ(turned->groundSpeedKt, 0.0);
    EXPECT_GT(gf_angleDiff(322.0 * pi / 180.0, turned->headingDeg * pi / 180.0), 80.0 * pi / 180.0);
    const auto line = rtstandin::gf_rttfcLine(f, *turned, 1765000000.0, 1013.0);
    EXPECT_NE(line.find(fmt::format(",{:.2f},", turned->headingDeg)), std::string::npos) << line;
    const auto taxi = rtstandin::gf_sampleAt(f, 120.0);
    ASSERT_TRUE(taxi);
    EXPECT_GT(taxi->groundSpeedKt, 5.0);
    EXPECT_DOUBLE_EQ(taxi->headingDeg, taxi->trackDeg);
    // Then taxi, take-off and climb.
    const auto liftOff = lf_firstTime(f, 60.0, 2000.0, [](const rtstandin::Sample& s) { return s.airborne; });
    ASSERT_TRUE(liftOff);
    const auto roll = rtstandin::gf_sampleAt(f, *liftOff - 2.0);
    EXPECT_GT(roll->groundSpeedKt, 120.0);
    const auto climb = rtstandin::gf_sampleAt(f, *liftOff + 30.0);
    ASSERT_TRUE(climb);
    EXPECT_NEAR(climb->verticalFpm, 2500.0, 1.0);
    EXPECT_GT(climb->altFt, eddl::elevationFt + 1000.0);
}

TEST(RealTrafficStandInFlights, CompleteFlightsEndWithinTheSimulatorsTenMinutes) {
    // The program flies the records 30 s after they come, and the scenario starts a few seconds
    // after the simulator: the arrival stands still and the departure climbs before 600 s.
    constexpr double feedDelay = 30.0;
    constexpr double startDelay = 10.0;
    const double simulatorEnd = SimScenarioConfig{}.endAtSimSeconds;
    const auto& arrival = lf_flight("DLH4TC");
    EXPECT_LT(arrival.path.back().t + feedDelay + startDelay + 15.0, simulatorEnd);
    const auto& departure = lf_flight("EWG7KT");
    const auto liftOff =
        lf_firstTime(departure, 60.0, 2000.0, [](const rtstandin::Sample& s) { return s.airborne; });
    ASSERT_TRUE(liftOff);
    EXPECT_LT(*liftOff + feedDelay + startDelay + 60.0, simulatorEnd);
}

}  // namespace
}  // namespace vdl
