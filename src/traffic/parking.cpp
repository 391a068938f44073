#include "traffic/parking.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "airports/park_airport_state.h"
#include "airports/park_airports.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/units.h"
#include "refdata/dbase.h"
#include "traffic/flight_phases.h"
#include "traffic/ground_movement.h"
#include "traffic/movement.h"
#include "traffic/parking_max.h"
#include "traffic/removal.h"
#include "traffic/stand_learning.h"
#include "traffic/traffic_lists.h"
#include "traffic/traffic_services.h"
#include "window/main_window.h"

namespace vdl {

namespace {

constexpr double oneMetreNm = 0.0005399568034557236;
// Aircraft on two stands touch when their half wingspans, with a tenth to spare, reach across.
constexpr double collisionMargin = 1.1;
// A new aircraft is placed on a stand only within 5 nm of the park airport, standing or creeping
// at most 5 kt with its data's end within 35 m.
constexpr double spawnNearParkAirportNm = 5.0;
constexpr double spawnCreepKt = 5.0;
constexpr double spawnCreepNm = 0.018898488120950324;

bool lf_touches(std::string_view typeA, std::string_view typeB, const ParkPos& a, const ParkPos& b) {
    return (gf_halfWingspan(typeA) + gf_halfWingspan(typeB)) * collisionMargin >=
           gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon});
}

void lf_removeParkedOnAdjacentStand(uint32_t adjacentId, const LiveAc& newcomer, const ParkPos& stand) {
    const ParkPos* adjacent = gf_findStandById(adjacentId);
    if (adjacent == nullptr || (adjacent->lat == 0.0 && adjacent->lon == 0.0)) return;
    for (LiveAc& other : liveAircraft) {
        if (&other == &newcomer || other.standId != adjacentId || other.state != AcState::active) continue;
        if (other.groundState != GroundState::parked && other.groundState != GroundState::pushback) continue;
        if (!lf_touches(other.identity.type, newcomer.identity.type, *adjacent, stand)) continue;
        if (LOG.value())
            gf_log(fmt::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                               adjacent->name, other.identity.callsign, newcomer.identity.callsign, stand.name));
        removeAircraftFromSim(other, fmt::format("on {}, touching {} where {} parks", adjacent->name, stand.name, newcomer.identity.callsign));
    }
}

// The static aircraft on the live aircraft's stand gives way to it. False when the scan ends.
bool lf_staticMakesWay(AiAircraft& stat, const LiveAc& live, const ParkPos& stand) {
    const bool same = stat.identity.callsign == live.identity.callsign || stat.identity.reg == live.identity.reg;
    const std::string forWhom =
        same ? std::string(" the same live version") : fmt::format(" {}", gf_acText(live.identity));
    if (stat.state == AcState::active) {
        removeAircraftFromSim(stat, fmt::format("makes way on {} for{}", stand.name, forWhom));
        stat.makeWayMark = true;
        if (LOG.value())
            gf_log(fmt::format("{:8}: {:8} {} makes way for{}", stand.name, stat.identity.callsign,
                               gf_acText(stat.identity), forWhom));
        return true;
    }
    if (stat.state == AcState::creating) {
        // Taken back from the queue when still there, else removed as soon as it exists.
        removeAircraftFromSim(stat, fmt::format("makes way on {} for{}", stand.name, forWhom));
        if (stat.erase && LOG.value())
            gf_log(fmt::format("queued {:8}: {:8} {} makes way for{}", stand.name, stat.identity.callsign,
                               gf_acText(stat.identity), forWhom));
        return true;
    }
    return false;
}

bool lf_removeStaticOnAdjacentStand(AiAircraft& stat, const LiveAc& live, const ParkPos& adjacent,
                                    const ParkPos& stand) {
    if (stat.standId != adjacent.id) return false;
    if (stat.state != AcState::active && stat.state != AcState::creating) return false;
    if (!lf_touches(stat.identity.type, live.identity.type, adjacent, stand)) return false;
    if (stat.state == AcState::creating) {
        // Taken back from the queue when still there, else removed as soon as it exists.
        removeAircraftFromSim(stat);
        if (stat.erase && LOG.value())
            gf_log(fmt::format("queued {:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                               adjacent.name, stat.identity.callsign, live.identity.callsign, stand.name));
        return true;
    }
    stat.makeWayMark = true;
    removeAircraftFromSim(stat, fmt::format("on {}, touching {} where {} parks", adjacent.name, stand.name, live.identity.callsign));
    if (LOG.value())
        gf_log(fmt::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                           gf_standNameById(stat.standId), stat.identity.callsign, live.identity.callsign, stand.name));
    return true;
}

bool lf_isGhost(const std::string& callsign) { return !callsign.empty() && callsign.back() == '_'; }

void lf_showRadiusChanges() {
    gf_setWindowValue(WindowArea::Statistics, "stand radius changes", std::to_string(standRadiusChanges));
    gf_repaintArea(WindowArea::Statistics);
}

}  // namespace

ParkPos* nearestFreeStand(LatLon pos, const LiveAc& ac, double radiusNm, bool arrived) {
    const bool rotorcraft = ac.identity.category == AircraftCategory::Rotorcraft;
    ParkPos* best = nullptr;
    ParkPos* tooSmall = nullptr;
    ParkPos* alternative = nullptr;
    double bestD = std::numeric_limits<double>::max();
    double alternativeD = bestD;
    for (ParkPos& p : parkPositions) {
        // Helipads and aeroplane stands are told apart while searching, so a nearer stand of the
        // wrong kind never hides one that fits.
        if (p.occupied || (p.heli != 0) != rotorcraft) continue;
        const double d = gf_distanceNm(pos, {p.lat, p.lon});
        const bool fits = ac.identity.halfWingspan - p.radius <= standTooSmallNm;
        if (d <= radiusNm && d < bestD && (fits || d <= parkRadiusNm)) {
            best = &p;
            bestD = d;
            tooSmall = fits ? nullptr : &p;
            arrived = false;
            continue;
        }
        if (!arrived || !fits || d > parkAlternativeRadiusNm || d >= alternativeD || ac.identity.callsign.empty())
            continue;
        if (std::any_of(p.options.begin(), p.options.end(), [&](const ParkPosOption& o) {
                return gf_matchOption(o, ac.identity.callsign, ac.identity);
            })) {
            alternative = &p;
            alternativeD = d;
        }
    }
    if (best == nullptr) best = alternative;
    if (best != nullptr && best == tooSmall) {
        best->radius = ac.identity.halfWingspan - oneMetreNm;
        best->radiusChange = 1;
        ++updateCount;
        ++standRadiusChanges;
        lf_showRadiusChanges();
    }
    return best;
}

void checkStandOrExcludedIsOccupiedByStaticAndRemove(const LiveAc& ac, const ParkPos& stand) {
    const char* step = "staticMakesWay";
    try {
        for (AiAircraft& stat : staticAircraft) {
            if (stat.standId != stand.id) continue;
            lf_staticMakesWay(stat, ac, stand);
            break;
        }
        step = "removeStaticOnAdjacentStand";
        for (uint32_t adjacentId : stand.adjacent) {
            const ParkPos* adjacent = gf_findStandById(adjacentId);
            if (adjacent == nullptr) continue;
            for (AiAircraft& stat : staticAircraft)
                if (lf_removeStaticOnAdjacentStand(stat, ac, *adjacent, stand)) break;
        }
    } catch (const std::exception& e) {
        gf_logError(fmt::format("{}: {}", step, e.what()));
        throw;
    }
}

void try2Park(LiveAc& ac, bool arrived) {
    if (ac.stream.empty()) {
        gf_logError(fmt::format("{} empty sz?", "try2Park"));
        return;
    }
    const StreamPos last = ac.stream.back();
    // A stand is sought only when the end of the data has moved.
    if (last.lat == ac.tryParkLat && last.lon == ac.tryParkLon) return;
    ac.tryParkLat = last.lat;
    ac.tryParkLon = last.lon;
    ParkPos* stand = nearestFreeStand({last.lat, last.lon}, ac, arrived ? parkArrivedRadiusNm : parkRadiusNm, arrived);
    if (stand == nullptr) return;
    // A stand without a name is never the user's.
    if (!stand->name.empty() && (stand->name == reservedStand || stand->name == gf_userStandName())) return;

    for (LiveAc& other : liveAircraft) {
        if (&other == &ac || other.standId != stand->id || other.state != AcState::active ||
            other.groundState != GroundState::parked)
            continue;
        if (LOG.value())
            gf_log(fmt::format("{:8}: {:8} removed, {} wants to park there", stand->name, other.identity.callsign,
                               ac.identity.callsign));
        removeAircraftFromSim(other, fmt::format("{} wants to park on {}", ac.identity.callsign, stand->name));
    }
    for (uint32_t adjacentId : stand->adjacent) lf_removeParkedOnAdjacentStand(adjacentId, ac, *stand);
    checkStandOrExcludedIsOccupiedByStaticAndRemove(ac, *stand);
    std::erase_if(staticAircraft, [](const AiAircraft& s) { return s.erase; });

    if (ac.standId != 0 && ac.standId != stand->id)
        if (ParkPos* old = gf_findStandById(ac.standId)) old->occupied = 0;
    ac.standHeading = stand->heading;
    ac.standId = stand->id;
    ac.cargoStand = stand->cargo != 0;
    ac.standLat = stand->lat;
    ac.standLon = stand->lon;
    // Given is taken: a second arrival must not be sent to the same stand.
    stand->occupied = 1;
    ac.stream.resize(1);
    gf_setGroundState(ac, GroundState::toStand);
    drive2Stand(ac, ac.standLat, ac.standLon, ac.standHeading);
}

bool claimStandAtSpawn(const ParkPos& stand, const LiveAc& newcomer, LiveAc& occupant) {
    const GroundState gs = occupant.groundState;
    if (&occupant == &newcomer || occupant.standId != stand.id || occupant.state != AcState::active ||
        (gs != GroundState::parked && gs != GroundState::pushback && gs != GroundState::pullOut))
        return true;
    const std::string& mine = newcomer.identity.callsign;
    const std::string& theirs = occupant.identity.callsign;
    const bool newGhost = lf_isGhost(mine);
    const bool oldGhost = lf_isGhost(theirs);
    std::string why;
    if (theirs == mine) {
        why = fmt::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", stand.name, theirs, mine);
    } else if (oldGhost && !newGhost) {
        why = fmt::format("{:8}: {:8} ghost, replace by {}", stand.name, theirs, mine);
    } else if ((newGhost && !oldGhost) || occupant.standChecked) {
        // The live data confirmed the occupant on its stand: the newcomer must not take it.
        return false;
    } else {
        why = fmt::format("{:8}: {:8} removed because another live {} wants the stand ...", stand.name, theirs, mine);
    }
    if (LOG.value()) gf_log(why);
    removeAircraftFromSim(occupant, fmt::format("gives {} to live {}", stand.name, mine));
    return true;
}

uint32_t firstConflictingAdjacentStand(const ParkPos& stand, const LiveAc& newcomer) {
    for (uint32_t adjacentId : stand.adjacent) {
        const ParkPos* adjacent = gf_findStandById(adjacentId);
        if (adjacent == nullptr) continue;
        const bool unplaced = adjacent->lat == 0.0 && adjacent->lon == 0.0;
        for (const LiveAc& other : liveAircraft) {
            if (&other == &newcomer || other.standId != adjacentId || other.state != AcState::active) continue;
            if (other.groundState != GroundState::parked && other.groundState != GroundState::pushback) continue;
            if (other.identity.callsign == newcomer.identity.callsign) continue;
            if (unplaced || lf_touches(other.identity.type, newcomer.identity.type, *adjacent, stand)) return adjacentId;
        }
    }
    return 0;
}

SpawnStand gf_standAtSpawn(LiveAc& ac) {
    if (parkPositions.empty() || !movementParkAirport.loaded || ac.stream.size() < 2) return SpawnStand::none;
    const StreamPos& first = ac.stream.front();
    const LatLon firstPos{first.lat, first.lon};
    if (gf_distanceNm(firstPos, {movementParkAirport.lat, movementParkAirport.lon}) > spawnNearParkAirportNm)
        return SpawnStand::none;
    LatLon test = firstPos;
    if (!first.stop) {
        // Creeping: the data's end counts when it stays close and the aircraft is nearly still.
        const StreamPos& last = ac.stream.back();
        if (ac.stream[1].speed > spawnCreepKt || gf_distanceNm(firstPos, {last.lat, last.lon}) > spawnCreepNm)
            return SpawnStand::none;
        test = {last.lat, last.lon};
    }
    ParkPos* stand = nearestFreeStand(test, ac, parkArrivedRadiusNm, first.stop != 0);
    if (stand == nullptr) return ac.stream[1].stop ? SpawnStand::waits : SpawnStand::none;
    if (!stand->name.empty() && (stand->name == reservedStand || stand->name == gf_userStandName()))
        return SpawnStand::refused;
    for (LiveAc& other : liveAircraft)
        if (!claimStandAtSpawn(*stand, ac, other)) return SpawnStand::dropped;
    if (firstConflictingAdjacentStand(*stand, ac) != 0) return SpawnStand::dropped;
    checkStandOrExcludedIsOccupiedByStaticAndRemove(ac, *stand);
    std::erase_if(staticAircraft, [](const AiAircraft& s) { return s.erase; });

    StreamPos placed = ac.stream.front();
    placed.stop = 1;
    placed.speed = 0.0;
    placed.lat = stand->lat;
    placed.lon = stand->lon;
    placed.track = radToDeg(stand->heading);
    ac.stream.clear();
    ac.stream.push_back(placed);
    ac.standLat = stand->lat;
    ac.standLon = stand->lon;
    ac.standHeading = stand->heading;
    ac.standId = stand->id;
    ac.cargoStand = stand->cargo != 0;
    ac.groundState = GroundState::parked;
    ac.prevGroundState = GroundState::fresh;
    stand->occupied = 1;
    ac.parkTicks = gf_steadyTicks();
    ac.parkSlot = nowSlot.load();
    ac.lastStandDistance = 0.0;
    ac.standMoveCount = 0;
    learnCargoStand(ac);
    if (gf_addRealParkPosOption(stand->id, ac, false, ac.parkSlot)) gf_standSlotGate(ac.identity.hexid, ac.parkSlot, true);
    gf_checkMaxPark(1);
    return SpawnStand::parked;
}

void gf_removeStaticForCollisionAvoidance() {
    if (!COLLISION_LIVE_PARKED_GND.value() || staticAircraft.empty()) return;
    for (LiveAc& live : liveAircraft) {
        if (live.state != AcState::active || !live.onGround || live.takeoffRoll || live.landingRoll) continue;
        if (live.groundState != GroundState::taxi && live.groundState != GroundState::toStand) continue;
        if (live.lat == live.avoidCheckLat && live.lon == live.avoidCheckLon) continue;
        live.avoidCheckLat = live.lat;
        live.avoidCheckLon = live.lon;
        for (AiAircraft& stat : staticAircraft) {
            if (stat.state != AcState::active) continue;
            const double reach = (live.identity.halfWingspan + stat.identity.halfWingspan) * collisionMargin;
            if (gf_distanceNm({live.lat, live.lon}, {stat.standLat, stat.standLon}) > reach) continue;
            gf_log(fmt::format("{:8}: {:8} removed for collision avoidance with live {}", gf_standNameById(stat.standId),
                               stat.identity.callsign, live.identity.callsign));
            removeAircraftFromSim(stat, fmt::format("in the way of live {}", live.identity.callsign));
            break;
        }
    }
}

void gf_removeAircraftOnReservedStand() {
    if (reservedStand.empty()) return;
    auto stand = gf_findStandByName(reservedStand);
    if (stand == parkPositions.end()) return;
    for (AiAircraft& stat : staticAircraft) {
        if (stat.standId == stand->id && stat.state == AcState::active) {
            removeAircraftFromSim(stat, fmt::format("on the reserved stand {}", reservedStand));
            return;
        }
    }
    for (LiveAc& live : liveAircraft) {
        if (live.standId == stand->id && live.state == AcState::active && live.groundState == GroundState::parked) {
            removeAircraftFromSim(live, fmt::format("on the reserved stand {}", reservedStand));
            return;
        }
    }
}

namespace {

void lf_removeAll(std::vector<AiAircraft>& list) {
    for (AiAircraft& ac : list)
        if (ac.state != AcState::removed) removeAircraftFromSim(ac, "all static aircraft removed");
    std::erase_if(list, [](const AiAircraft& ac) { return ac.erase; });
}

}  // namespace

void gf_removeAllLiveAc() {
    for (LiveAc& ac : liveAircraft)
        if (ac.state != AcState::removed) removeAircraftFromSim(ac, "all live aircraft removed");
    liveAircraft.eraseFlagged();
}

void gf_removeAllStaticAc() {
    lf_removeAll(staticAircraft);
}

}  // namespace vdl
