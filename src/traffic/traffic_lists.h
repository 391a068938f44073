// The run-wide lists of the traffic manager. All belong to the run worker, except simReplies
// and switchFollowUps, which are guarded by replyMutex.
#pragma once

#include <cstdint>
#include <deque>
#include <list>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/time.h"
#include "liveries/match_reports.h"  // noMatchKeys
#include "simlink/sim_types.h"
#include "traffic/live_list.h"
#include "traffic/records.h"

namespace vdl {

inline LiveAcList liveAircraft;                  // in order of creation, indexed by hexid
inline std::vector<AiAircraft> staticAircraft;  // static parked aircraft
inline std::vector<uint32_t> pendingSpawns;     // hexids whose create command is still to be built
inline std::deque<CreateAcCmd> liveCreateQueue;
inline std::deque<CreateAcCmd> staticCreateQueue;  // served only while liveCreateQueue is empty
inline std::deque<uint32_t> removalQueue;          // object ids to remove
inline std::list<uint32_t> createdFollowUps;       // hexids, one taken per simulator second
inline std::vector<std::string> ghostCallsigns;
inline std::unordered_map<uint32_t, std::string_view> liveryByHexid;  // views into the livery catalogue
inline std::vector<std::pair<uint32_t, uint32_t>> standSlotByHexid;  // hexid, half-hour slot
inline std::vector<StaticCandidate> staticCandidates;

// The link's thread appends to simReplies; the run worker takes simMutex while holding
// replyMutex, so the link's thread must never take replyMutex while it holds simMutex.
inline std::mutex replyMutex;
inline std::vector<SimReply> simReplies;
inline std::vector<SwitchFollowUp> switchFollowUps;

inline constexpr const char* callsign2ObjectIdFile = "Callsign2ObjectId.txt";

// Reserves the lists' capacities and deletes Callsign2ObjectId.txt, once per process.
// A file-system failure throws std::filesystem::filesystem_error.
void gf_initTrafficLists();

// The traffic library's reset between two runs (before a restart): empties every list of the
// run, forgets the selected object, the collected feed callsigns and the waits for notices,
// and deletes Callsign2ObjectId.txt. The reserved capacities stay. A file-system failure throws
// std::filesystem::filesystem_error.
void gf_clearTrafficLists();

// The livery catalogue was rebuilt: the titles remembered per hexid point into the old one.
void gf_forgetLiveryTitles();

// The stand-slot gate: with force off, refuses a listed hexid while fewer than 3 half-hour
// slots have passed since its stored slot (across midnight); otherwise stores the slot of
// `now` for the hexid and answers true.
bool gf_standSlotGate(uint32_t hexid, WeekSlot now, bool force);

// Called on the link's thread for every notice about AI objects. Takes replyMutex only.
void gf_pushSimReply(const SimReply& reply);

// Connects the link's notices to the traffic manager; the shell calls it once at start-up.
void gf_installTrafficHooks();

// The traffic library's one reset: what gf_clearTrafficLists empties, with the capacities given
// back, the park airport of the movement forgotten, and the lists not initialised. As a fresh
// process has it (Callsign2ObjectId.txt is left alone); tests call it.
void gf_resetTraffic();

}  // namespace vdl
