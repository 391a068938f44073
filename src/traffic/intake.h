// Intake of live traffic records: each record extends the stream of its live aircraft, makes a
// new one, or is dropped.
#pragma once

#include "feed/traffic_record.h"
#include "traffic/records.h"

namespace vdl {

inline constexpr size_t maxStreamPoints = 200;

// Takes records of trafficQueue (under trafficMutex), at most maxRecordsPerStep and no more once
// the step's intake time is up. Exceptions are logged and passed on.
void gf_handleUdpMessages();

// One record: matched, used to make a new aircraft, or dropped; false when the queue was empty.
// The caller holds trafficMutex.
bool gf_takeTrafficRecord();

// Whether the record belongs to the aircraft (whatever then became of it).
bool gf_matchRecord(TrafficRecord& r, LiveAc& a);

// A new live aircraft from the record, after the type and category checks.
void gf_createLiveAc(TrafficRecord& r);

// Appends a point to an existing aircraft's stream with all checks.
void decodeExisting(LiveAc& a, StreamPos p);
bool checkExtendingSituations(LiveAc& a, StreamPos& p);
bool checkNewPosDuringLanding(LiveAc& a, StreamPos& p);
void removeSmallStop(LiveAc& a, const StreamPos& p);
void checkStops(LiveAc& a, size_t n, const StreamPos& p);
bool classifyStop(LiveAc& a, StreamPos& p);
bool checkParkedMove(LiveAc& a, StreamPos& p);
void leaveStand(LiveAc& a);
// Route, registration and callsign updates; false drops the sample.
bool refreshIdentity(LiveAc& a, TrafficRecord& r);
// Removes the object so that the record is created again with its new identity.
void liveryRespawn(LiveAc& a);

}  // namespace vdl
