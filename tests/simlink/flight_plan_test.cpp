#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "simlink/flight_plan.h"
#include "support/foundation_env.h"

namespace vdl {
namespace {

FlightPlanData schipholToHeathrow() {
    FlightPlanData plan;
    plan.departure = {"EHAM", true, 52.308601, 4.763889, -11.0};
    plan.destination = {"EGLL", true, 51.4706, -0.461941, 83.0};
    plan.cruisingAltitude = 24000.0;
    return plan;
}

TEST(FlightPlan, FolderAndFileNames) {
    test::TempWorkDir work;
    EXPECT_EQ(gf_flightPlanFileName(17), "17.pln");
    EXPECT_EQ(gf_flightPlanFileName(4294967295u), "4294967295.pln");
    ASSERT_TRUE(gf_createFlightPlanFolder());
    EXPECT_EQ(gf_flightPlanFolder(), work.path() / "config" / "Vandrel" / "orig_dest");
    EXPECT_TRUE(std::filesystem::is_directory(gf_flightPlanFolder()));
    EXPECT_TRUE(gf_createFlightPlanFolder());  // already there
}

TEST(FlightPlan, WritesAnAceXmlPlanWithOriginAndDestination) {
    test::TempWorkDir work;
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const auto path = gf_flightPlanFolder() / gf_flightPlanFileName(12);
    ASSERT_TRUE(gf_writeFlightPlan(path, schipholToHeathrow()));

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(path.c_str()));
    const auto root = doc.child("SimBase.Document");
    EXPECT_STREQ(root.attribute("Type").value(), "AceXML");
    EXPECT_STREQ(root.attribute("version").value(), "1,0");
    const auto fp = root.child("FlightPlan.FlightPlan");
    EXPECT_STREQ(fp.child_value("Title"), "EHAM to EGLL");
    EXPECT_STREQ(fp.child_value("DepartureID"), "EHAM");
    EXPECT_STREQ(fp.child_value("DestinationID"), "EGLL");
    EXPECT_STREQ(fp.child_value("CruisingAlt"), "24000");
    EXPECT_STREQ(fp.child_value("DepartureLLA"), "N52\u00b0 18' 30.96\",E4\u00b0 45' 50.00\",-000011.00");
    EXPECT_STREQ(fp.child_value("DestinationLLA"), "N51\u00b0 28' 14.16\",W0\u00b0 27' 42.99\",+000083.00");
    std::vector<std::string> waypoints;
    for (auto wp : fp.children("ATCWaypoint")) {
        waypoints.push_back(wp.attribute("id").value());
        EXPECT_STREQ(wp.child_value("ATCWaypointType"), "Airport");
        EXPECT_STREQ(wp.child("ICAO").child_value("ICAOIdent"), wp.attribute("id").value());
    }
    EXPECT_EQ(waypoints, (std::vector<std::string>{"EHAM", "EGLL"}));
}

TEST(FlightPlan, RefusesBadCodesAndUnwritablePaths) {
    test::TempWorkDir work;
    struct Case {
        const char* name;
        std::string departure;
        std::string destination;
        std::filesystem::path path;
    };
    const Case cases[] = {
        {"no origin", "", "EGLL", "a.pln"},
        {"no destination", "EHAM", "", "b.pln"},
        {"markup in a code", "EH<M", "EGLL", "c.pln"},
        {"folder missing", "EHAM", "EGLL", "missing/d.pln"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FlightPlanData plan = schipholToHeathrow();
        plan.departure.code = c.departure;
        plan.destination.code = c.destination;
        EXPECT_FALSE(gf_writeFlightPlan(c.path, plan));
        EXPECT_FALSE(std::filesystem::exists(c.path));
    }
    // Without known positions the plan still names both airports.
    FlightPlanData plan;
    plan.departure.code = "EHAM";
    plan.destination.code = "LFPG";
    ASSERT_TRUE(gf_writeFlightPlan("e.pln", plan));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file("e.pln"));
    const auto fp = doc.child("SimBase.Document").child("FlightPlan.FlightPlan");
    EXPECT_STREQ(fp.child_value("DestinationID"), "LFPG");
    EXPECT_FALSE(fp.child("DepartureLLA"));
}

}  // namespace
}  // namespace vdl
