#include "shell/hooks.h"

#include "airports/airport_scan_log.h"
#include "airports/park_airport_choice.h"
#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "airports/stand_info.h"
#include "airports/stand_save.h"
#include "feed/rt_link.h"
#include "refdata/hooks.h"
#include "shell/final_exit.h"
#include "simlink/sim_link.h"
#include "traffic/park_airport_leave.h"
#include "traffic/parking.h"
#include "traffic/parking_max.h"
#include "traffic/static_adjust.h"
#include "traffic/static_plan.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"

namespace vdl {

void gf_installRunHooks() {
    gf_installFinalExit();
    // The link's notices about AI objects go to gf_pushSimReply.
    gf_installTrafficHooks();
    // gf_sendUserAcState runs on the run worker, which owns userAc.
    gf_setUserStateSource([] {
        const UserAcState& u = userAc;
        FeedUserState s;
        s.lat = u.latitude;
        s.lon = u.longitude;
        s.pitch = u.pitch;
        s.bank = u.bank;
        s.heading = u.heading;
        s.altitude = u.altitude;
        s.groundSpeed = u.groundVelocity;
        s.simUtcMs = gf_simUtcMs(u.zuluYear, u.zuluMonthOfYear, u.zuluDayOfMonth, u.zuluTime);
        return s;
    });
    gf_setClosestStandHook(gf_readDestApfForClosestStand);
    gf_setRemoveAllFilesHook(gf_removeAllFilesInFolder);
    // Publisher detection writes into the airport scan log.
    gf_setAirportsScanLogHook([](const std::string& line) { gf_addAirportsScanLog(line); });
    // The link's thread takes the user's stand that the run worker computed each tick.
    gf_setStandNameHook([](double, double) { return gf_userStandName(); });
    gf_setSaveUserStandHook(gf_saveUserStand);
    ParkAirportHooks park;
    park.planStaticParking = gf_planStaticParking;
    park.removeAllStaticAc = gf_removeAllStaticAc;
    park.removeAircraftOnReservedStand = gf_removeAircraftOnReservedStand;
    park.clearStaticCandidates = [] {
        staticCandidates.clear();
        gf_clearStaticAdjustState();
    };
    park.staticCandidatesEmpty = [] { return staticCandidates.empty(); };
    park.releaseParkedLiveAc = gf_releaseParkedLiveAc;
    park.enforceMaxLiveAc = gf_enforceMaxLiveAc;
    park.disableParkingControls = gf_disableParkingControls;
    park.enableParkingControls = gf_enableParkingControls;
    park.parkAirportChanged = gf_syncMovementParkAirport;
    park.showParkedTimes = [] {
        gf_countParkedLiveAc(true);
        gf_countParkedStaticAc(true);
    };
    gf_setParkAirportHooks(std::move(park));
}

}  // namespace vdl
