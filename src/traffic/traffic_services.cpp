#include "traffic/traffic_services.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <string_view>

#include <fmt/format.h>

#include "feed/traffic_reader.h"
#include "foundation/background_write.h"
#include "foundation/files.h"
#include "foundation/geo.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "window/exit.h"
#include "window/main_window.h"
#include "traffic/removal.h"
#include "traffic/spawn_gate.h"
#include "traffic/traffic_lists.h"

namespace vdl {

namespace {

// Callsign2ObjectId.txt is a diagnostic listing: its write must not cost the main loop a step.
BackgroundFileWriter callsign2ObjectIdWriter;

template <typename List>
auto* lf_findBy(List& list, auto pred) {
    auto it = std::find_if(list.begin(), list.end(), pred);
    return it == list.end() ? nullptr : &*it;
}

bool lf_ghostMarked(std::string_view callsign) { return !callsign.empty() && callsign.back() == '_'; }

// The parking controls of the window; the "Flush static" and "Re-read" buttons have no parameter.
void lf_enableParkingControls(bool on) {
    parking_percentage.setEnabled(on);
    INITIAL_LOAD_ONLY.setEnabled(on);
    PARK_FAKE.setEnabled(on);
    PARK_SOFT.setEnabled(on);
    CUSTOM_MAX_PARK.setEnabled(on);
    MAX_FIT_FL.setEnabled(on);
    WEEK.setEnabled(on);
}

}  // namespace

LiveAc* gf_findLiveAcByHexid(uint32_t hexid) {
    return liveAircraft.findHexid(hexid);
}

LiveAc* gf_findLiveAcByObjectId(uint32_t objectId) {
    return lf_findBy(liveAircraft, [objectId](const LiveAc& ac) { return ac.objectId == objectId; });
}

AiAircraft* gf_findStaticAcByHexid(uint32_t hexid) {
    return lf_findBy(staticAircraft, [hexid](const AiAircraft& ac) { return ac.identity.hexid == hexid; });
}

AiAircraft* gf_findStaticAcByObjectId(uint32_t objectId) {
    return lf_findBy(staticAircraft, [objectId](const AiAircraft& ac) { return ac.objectId == objectId; });
}

size_t gf_countActiveLiveAc() {
    return static_cast<size_t>(std::count_if(liveAircraft.begin(), liveAircraft.end(),
                                             [](const LiveAc& ac) { return ac.state == AcState::active; }));
}

void gf_clearObjectIdSelection(std::string_view boxText) {
    selectedObjectId = 0;
    gf_setWindowValue(WindowArea::Options, objectIdDisplayName, "");
    gf_repaintArea(WindowArea::Options);
    CALLSIGN_2_OBJECTID.set(boxText);
    gf_setTbText(CALLSIGN_2_OBJECTID);
}

void gf_removeGhostOf(std::string_view callsign) {
    if (callsign.empty()) return;
    const std::string ghost = fmt::format("{}_", callsign);
    LiveAc* g = lf_findBy(liveAircraft, [&](const LiveAc& ac) {
        return ac.identity.callsign == ghost && ac.state != AcState::removed && !ac.erase;
    });
    if (g == nullptr) return;
    if (LOG.value()) {
        if (g->groundState == GroundState::parked)
            gf_log(fmt::format("{:8}: {:8} is a ghost and will be removed, continue with {}", gf_standNameById(g->standId),
                               ghost, callsign));
        else
            gf_log(fmt::format("          {:8} is a ghost and will be removed, continue with {}", ghost, callsign));
    }
    ghostCallsigns.push_back(ghost);
    removeAircraftFromSim(*g, fmt::format("a ghost of {}", callsign));
}

bool gf_ghostPresent(std::string_view ghostCallsign) {
    if (!lf_ghostMarked(ghostCallsign)) return false;
    const std::string_view real = ghostCallsign.substr(0, ghostCallsign.size() - 1);
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [&](const LiveAc& ac) {
        return ac.identity.callsign == real && ac.state != AcState::removed && !ac.erase;
    });
}

bool gf_removeDuplicateLiveAc(const LiveAc& live, const AiAircraft& stat) {
    if (stat.state != AcState::active) return false;
    const AcIdentity& n = live.identity;
    const AcIdentity& s = stat.identity;
    const char* where = live.onGround ? "on ground" : "airborne";
    if (!n.reg.empty() && n.reg == s.reg) {
        if (LOG.value())
            gf_log(fmt::format("{:8}: {:8} {} removed, new {} {} has same regcode {}", gf_standNameById(stat.standId),
                               s.callsign, s.reg, where, n.callsign, n.reg));
        return true;
    }
    const auto sameAsStatic = [&](const std::string& cs) {
        return !cs.empty() && (cs == s.callsignCopy || cs == s.coupledCallsign);
    };
    if (!sameAsStatic(n.callsign) && !sameAsStatic(n.coupledCallsign)) return false;
    if (LOG.value())
        gf_log(fmt::format("{:8}: {:8} \"{} {}\" removed, new {} {} \"{} {}\" has {} callsign",
                           gf_standNameById(stat.standId), s.callsign, s.airl, s.type, where, n.callsign, n.airl, n.type,
                           n.callsign == s.callsignCopy ? "same" : "coupled"));
    return true;
}

void gf_enforceMaxLiveAc() {
    const int32_t maxLive = MAX_LIVE.value();
    if (maxLive == -1) return;
    const size_t n = gf_countActiveLiveAc();
    if (n <= static_cast<size_t>(maxLive)) return;
    for (size_t i = 0; i < n - static_cast<size_t>(maxLive); ++i) gf_removeFarthest(-1.0);
}

size_t gf_removeForMaxPark(uint32_t hexid) {
    auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(), [hexid](const LiveAc& ac) {
        return ac.identity.hexid == hexid && ac.state == AcState::active;
    });
    if (it == liveAircraft.end()) return liveAircraft.size();
    if (gf_logIsOpen())
        gf_log(fmt::format("{:}: {:8} max park exceeded, removed", gf_standNameById(it->standId), it->identity.callsign));
    removeAircraftFromSim(*it, "over the parking maximum");
    return static_cast<size_t>(it - liveAircraft.begin());
}

void gf_showObjectIdOfCallsign() {
    const std::string callsign = CALLSIGN_2_OBJECTID.value();
    const LiveAc* ac = lf_findBy(liveAircraft, [&](const LiveAc& a) {
        return a.state == AcState::active && !callsign.empty() && a.identity.callsign == callsign;
    });
    if (ac != nullptr) {
        selectedObjectId = ac->objectId;
        gf_setWindowValue(WindowArea::Options, objectIdDisplayName, fmt::format("= {}", ac->objectId));
        gf_repaintArea(WindowArea::Options);
        return;
    }
    gf_setWindowValue(WindowArea::Options, objectIdDisplayName, "");
    gf_repaintArea(WindowArea::Options);
    gf_setStatusLine(fmt::format("callsign \"{}\" is unknown", callsign), true);
}

std::string gf_callsign2ObjectIdText() {
    // Each line's first 16 bytes ("Air " or "Gnd ", the padded callsign, the airline) as two
    // big-endian numbers decide most comparisons of the sort; zero filling keeps a shorter line
    // first, and equal keys fall back to the whole text.
    struct Line {
        uint64_t key[2];
        uint32_t begin;
        uint32_t size;
    };
    std::string text;
    text.reserve(liveAircraft.size() * 48);
    std::vector<Line> lines;
    lines.reserve(liveAircraft.size());
    for (const LiveAc& ac : liveAircraft) {
        if (ac.state != AcState::active) continue;
        const size_t begin = text.size();
        // As "{} {:9} {} {}: {} " would write it; fmt's width counts code points, bytes do for ASCII.
        const std::string& callsign = ac.identity.callsign;
        text += ac.onGround ? "Gnd " : "Air ";
        if (std::all_of(callsign.begin(), callsign.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            text += callsign;
            if (callsign.size() < 9) text.append(9 - callsign.size(), ' ');
        } else {
            fmt::format_to(std::back_inserter(text), "{:9}", callsign);
        }
        text += ' ';
        text += ac.identity.airl;
        text += ' ';
        text += ac.identity.type;
        text += ": ";
        text += fmt::format_int(ac.objectId).c_str();
        text += ' ';
        if (ac.groundState == GroundState::parked) {
            text += "Parked at ";
            text += gf_standNameById(ac.standId);
        }
        Line line{{0, 0}, static_cast<uint32_t>(begin), static_cast<uint32_t>(text.size() - begin)};
        for (size_t i = 0; i < 16 && i < line.size; ++i)
            line.key[i / 8] |= uint64_t{static_cast<unsigned char>(text[begin + i])} << (8 * (7 - i % 8));
        lines.push_back(line);
    }
    const auto view = [&text](const Line& l) { return std::string_view(text).substr(l.begin, l.size); };
    std::sort(lines.begin(), lines.end(), [&view](const Line& a, const Line& b) {
        if (a.key[0] != b.key[0]) return a.key[0] < b.key[0];
        if (a.key[1] != b.key[1]) return a.key[1] < b.key[1];
        return view(a) < view(b);
    });
    std::string sorted;
    sorted.reserve(text.size() + lines.size());
    for (const Line& l : lines) {
        sorted += view(l);
        sorted += '\n';
    }
    return sorted;
}

bool gf_writeCallsign2ObjectId() {
    return callsign2ObjectIdWriter.start(callsign2ObjectIdFile, gf_callsign2ObjectIdText());
}

bool gf_waitForCallsign2ObjectId() { return callsign2ObjectIdWriter.wait(); }

bool gf_cancelPendingCreate(std::deque<CreateAcCmd>& queue, std::string_view callsign, uint32_t hexid) {
    if (callsign.empty()) return false;
    const size_t before = queue.size();
    std::erase_if(queue, [&](const CreateAcCmd& c) { return c.tailNumber == callsign && c.hexid == hexid; });
    return queue.size() != before;
}

std::vector<ParkPos>::iterator gf_findStandByName(std::string_view name) {
    return std::find_if(parkPositions.begin(), parkPositions.end(), [&](const ParkPos& p) { return p.name == name; });
}

ParkPos* gf_findStandById(uint32_t standId) {
    if (standId == 0) return nullptr;
    // Numbering gives stand n the id n; the search covers a list numbered otherwise.
    if (standId <= parkPositions.size() && parkPositions[standId - 1].id == standId) return &parkPositions[standId - 1];
    return lf_findBy(parkPositions, [standId](const ParkPos& p) { return p.id == standId; });
}

std::string gf_standNameById(uint32_t standId) {
    if (standId == 0) return "sid==0?";
    const ParkPos* stand = gf_findStandById(standId);
    return stand == nullptr ? "unknown" : stand->name;
}

void gf_disableParkingControls() {
    parkingBusy = true;
    lf_enableParkingControls(false);
    gf_clearStatusLine();
    gf_repaintArea(WindowArea::Options);
}

void gf_enableParkingControls() {
    parkingBusy = false;
    gf_setWindowValue(WindowArea::Statistics, "parking", "19");
    gf_repaintArea(WindowArea::Statistics);
    lf_enableParkingControls(true);
    gf_clearStatusLine();
    gf_repaintArea(WindowArea::Options);
}

void gf_markPlannedStand(ParkPos& stand) {
    stand.taken = 1;
    for (ParkPos& p : parkPositions)
        if (std::find(stand.adjacent.begin(), stand.adjacent.end(), p.id) != stand.adjacent.end()) p.blocked = 1;
}

void gf_copyFeedMap() {
    feedCallsigns.clear();
    feedCallsigns = trafficReader.takeCallsigns();
}

}  // namespace vdl
