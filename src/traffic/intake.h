// Intake of live traffic records: each record extends the stream of its live aircraft, makes a
// new one, or is dropped. The checks of a new point of a known aircraft are in point_intake.h.
#pragma once

#include "feed/traffic_record.h"
#include "traffic/records.h"

namespace vdl {

// Takes records out of trafficQueue one at a time under trafficMutex and handles each after
// unlocking: at most maxRecordsPerStep, and none more once the step's intake time is up. An
// exception leaves the records not yet taken in the queue.
void gf_handleUdpMessages();

// One record taken off the queue: matched, used to make a new aircraft, or dropped.
void gf_takeTrafficRecord(TrafficRecord& r);

// Whether the record belongs to the aircraft (whatever then became of it).
bool gf_matchRecord(TrafficRecord& r, LiveAc& a);

// A new live aircraft from the record, after the type and category checks.
void gf_createLiveAc(TrafficRecord& r);

// Route, registration and callsign updates; false drops the sample.
bool refreshIdentity(LiveAc& a, TrafficRecord& r);
// Removes the object so that the record is created again with its new identity.
void liveryRespawn(LiveAc& a);

}  // namespace vdl
