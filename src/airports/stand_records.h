// Stands of an airport and what was learned about their use per half hour of the week.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "airports/option_strings.h"
#include "foundation/time.h"
#include "refdata/identity.h"

namespace vdl {

inline constexpr uint32_t optionSoft = 0;  // assumed use
inline constexpr uint32_t optionReal = 1;  // seen in live traffic

inline constexpr double nmPerMetre = 0.0005399568034557236;

// One learned use of a stand: this airline and type (or registration, or callsigns) stood here
// on `day` in the half hours set in `hours`. 64 bytes: a large learned file holds tens of
// thousands.
struct ParkPosOption {
    HalfHourSet hours;
    uint32_t id = 0;     // from 1 within its stand; 0 = no option, never found by id
    uint32_t day = 0;    // weekday 1..7
    uint32_t fixed = 0;  // from a base or handmade file: recording adds no slots
    uint32_t kind = optionSoft;
    // Passed over by a stand search until the options are numbered afresh; still saved, and its
    // id stays taken.
    bool dropped = false;

    // ICAO airline code, ICAO type, registration (may be empty), the first callsign recorded and
    // a second, different one (both may be empty). Views valid until the option changes.
    std::string_view airline() const { return strings_.get(OptionField::airline); }
    std::string_view type() const { return strings_.get(OptionField::type); }
    std::string_view reg() const { return strings_.get(OptionField::reg); }
    std::string_view callsign1() const { return strings_.get(OptionField::callsign1); }
    std::string_view callsign2() const { return strings_.get(OptionField::callsign2); }
    void setAirline(std::string_view v) { strings_.set(OptionField::airline, v); }
    void setType(std::string_view v) { strings_.set(OptionField::type, v); }
    void setReg(std::string_view v) { strings_.set(OptionField::reg, v); }
    void setCallsign1(std::string_view v) { strings_.set(OptionField::callsign1, v); }
    void setCallsign2(std::string_view v) { strings_.set(OptionField::callsign2, v); }
    // All five at once: one copy instead of five.
    void setStrings(std::string_view airline, std::string_view type, std::string_view reg, std::string_view callsign1,
                    std::string_view callsign2) {
        strings_.assign({airline, type, reg, callsign1, callsign2});
    }
    void setStrings(const OptionStrings::Values& values) { strings_.assign(values); }

    // Sets the slot's bit. A slot outside 0..47 is logged and leaves the option unchanged.
    void updateOption(int32_t slot);

    // Whether a bit from start down to start - offset (not below 0) is set. When none is and
    // the window reaches into the previous day, overhang is the number of its half hours there
    // (at most 46); otherwise -1. A start above 47 is logged and answers false.
    bool testRange(int32_t start, int32_t offset, int32_t& overhang) const;

private:
    OptionStrings strings_;
};
static_assert(sizeof(ParkPosOption) == 64);

// The last week slot at which an aircraft was recorded on a stand, and on which option.
struct StandUse {
    WeekSlot last;
    uint32_t optionId = 0;
};

// One stand of an airport.
struct ParkPos {
    std::vector<ParkPosOption> options;
    std::unordered_map<uint32_t, StandUse> realUses;  // by hexid
    std::unordered_map<uint32_t, StandUse> softUses;  // by hexid
    std::string name;                                 // stand id, unique within an airport
    std::vector<uint32_t> adjacent;                   // ids of the overlapping stands
    double lat = 0.0;
    double lon = 0.0;
    double heading = 0.0;  // radians
    double radius = 0.0;   // nm
    uint32_t id = 0;       // number in parkPositions, 1..n; 0 until numbered
    uint8_t manual = 0;
    uint8_t radiusChange = 0;
    uint8_t cargoChange = 0;
    uint8_t scanMark = 0;
    uint8_t taken = 0;
    uint8_t occupied = 0;
    uint8_t reserved = 0;
    uint8_t blocked = 0;
    uint8_t cargo = 0;
    uint8_t ramp = 0;
    uint8_t heli = 0;

    // Heading in radians, radius in metres.
    ParkPos(std::string name, std::vector<ParkPosOption> options, double lat, double lon, double heading,
            double radiusMetres, bool cargo, bool ramp, bool heli);
};

// The stands of the current park airport; owned by the run worker, not locked.
extern std::vector<ParkPos> parkPositions;
inline constexpr size_t parkPositionsReserve = 512;

// Appends an option for one half hour of `now` and answers its id (the largest id of the list
// + 1), or 0 when an option with the same registration, day, hours and callsign exists. A known
// registration gives type and airline (its operator first); otherwise the identity's are used.
// One trailing '_' of the callsign is dropped. A slot outside 0..47 throws std::out_of_range
// and leaves the list unchanged.
int32_t gf_addOption(std::vector<ParkPosOption>& options, const AcIdentity& ac, uint32_t kind, WeekSlot now,
                     std::string_view callsign, std::string_view reg);

// Sets the slots of the count half hours up to now on the option with the id (the weekdays of
// the run are not used), then notes the callsign on it.
void gf_updateOptionRange(std::vector<ParkPosOption>& options, WeekSlot now, std::string_view callsign,
                          int32_t count, uint32_t id);

// As gf_updateOptionRange for a run that passes midnight: the slots up to 47 go onto the earlier
// day's option, the later ones (except now, set by gf_addOption) onto the later day's. The
// callsign is noted on both.
void gf_updateOptionRangeOverMidnight(std::vector<ParkPosOption>& options, WeekSlot now, std::string_view callsign,
                                      int32_t count, uint32_t earlierId, uint32_t laterId);

// A real option with an id, not dropped, that carries the callsign, or the identity's airline and
// type.
bool gf_matchOption(const ParkPosOption& option, std::string_view callsign, const AcIdentity& ac);

// count week slots back from now, now first; empty for a count of 0 or less.
std::vector<WeekSlot> gf_buildSlotRun(WeekSlot now, int32_t count);

}  // namespace vdl
