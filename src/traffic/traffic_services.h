// Small services on the traffic lists: look-ups, ghosts, duplicates, the live-aircraft limit,
// the CALLSIGN_2_OBJECTID display, Callsign2ObjectId.txt, queued creates, stands and the parking
// controls.
#pragma once

#include <cstdint>
#include <deque>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "airports/stand_records.h"
#include "simlink/sim_types.h"
#include "traffic/records.h"

namespace vdl {

// The object selected in the CALLSIGN_2_OBJECTID box (0 = none); run worker only.
inline uint32_t selectedObjectId = 0;
// Name of the box's display text among the window's option values.
inline constexpr std::string_view objectIdDisplayName = "CALLSIGN_2_OBJECTID";

// Callsigns the traffic reader collected, taken over by gf_copyFeedMap for the stand search.
inline std::set<std::string> feedCallsigns;

// The first record with the hexid (or object id); null when none.
LiveAc* gf_findLiveAcByHexid(uint32_t hexid);
LiveAc* gf_findLiveAcByObjectId(uint32_t objectId);
AiAircraft* gf_findStaticAcByHexid(uint32_t hexid);
AiAircraft* gf_findStaticAcByObjectId(uint32_t objectId);

// Number of live aircraft in state 2.
size_t gf_countActiveLiveAc();

// Clears the CALLSIGN_2_OBJECTID selection and its display text; `boxText` goes into the box.
void gf_clearObjectIdSelection(std::string_view boxText);

// Ghosts: a callsign with '_' appended stands for an aircraft the feed will report under its real
// callsign. The ghost of `callsign` (without '_') is listed in ghostCallsigns and removed.
void gf_removeGhostOf(std::string_view callsign);
// A callsign ending in '_' whose aircraft without the '_' is present and not removed.
bool gf_ghostPresent(std::string_view ghostCallsign);

// True when the static aircraft duplicates the new live aircraft (same registration, or the same
// or coupled callsign); the caller then removes the static one.
bool gf_removeDuplicateLiveAc(const LiveAc& live, const AiAircraft& stat);

// With MAX_LIVE set, removes the farthest active live aircraft until at most MAX_LIVE are active.
void gf_enforceMaxLiveAc();

// Removes the active live aircraft with the hexid for the parking maximum; its index, or the
// list's size when none.
size_t gf_removeForMaxPark(uint32_t hexid);

// The CALLSIGN_2_OBJECTID look-up of the per-second work.
void gf_showObjectIdOfCallsign();

// One sorted line per active live aircraft into Callsign2ObjectId.txt. The text is made here;
// the file is written from a thread of its own. False (the file left as it is) while the last
// write still runs.
bool gf_writeCallsign2ObjectId();
// Waits for that write, if one runs; whether the last one succeeded.
bool gf_waitForCallsign2ObjectId();
// The file's text: its lines sorted, each ended by "\n".
std::string gf_callsign2ObjectIdText();

// Drops every command of the queue with the callsign as tail number and the hexid; the others
// keep their order. True when one was dropped. Another aircraft may carry the same callsign, so
// the hexid must match as well.
bool gf_cancelPendingCreate(std::deque<CreateAcCmd>& queue, std::string_view callsign, uint32_t hexid);

// The first stand with the id; null for 0 or an id not in the list.
ParkPos* gf_findStandById(uint32_t standId);
// The first stand with the name, or parkPositions.end().
std::vector<ParkPos>::iterator gf_findStandByName(std::string_view name);
// "sid==0?" for 0, "unknown" for an id not in the list.
std::string gf_standNameById(uint32_t standId);

void gf_disableParkingControls();
void gf_enableParkingControls();

// The stand is taken by the static plan; its overlapping stands are blocked.
void gf_markPlannedStand(ParkPos& stand);

// Takes the traffic reader's collected callsigns over into feedCallsigns.
void gf_copyFeedMap();

}  // namespace vdl
