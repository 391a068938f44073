#include "shell/hooks.h"

#include "airports/airport_scan_log.h"
#include "airports/stand_info.h"
#include "airports/stand_save.h"
#include "feed/rt_link.h"
#include "refdata/hooks.h"
#include "shell/final_exit.h"
#include "simlink/sim_link.h"
#include "traffic/traffic_lists.h"

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
    // TODO: set simlink's stand-name and user-stand hooks (gf_standNameAtPosition,
    // gf_saveParkAirportEntry) once their targets exist.
}

}  // namespace vdl
