#include "traffic/static_twins.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "foundation/log.h"
#include "foundation/parameters.h"
#include "refdata/identity.h"
#include "traffic/removal.h"
#include "traffic/traffic_lists.h"

namespace vdl {

namespace {

// Positions in staticAircraft by key, ascending within a key; sorted by the key's hash first, so
// that a look-up compares numbers and a text only on its own key. A key's run remembers how many
// of its first positions are known to be no longer active: a static only leaves the active state
// during the scan, so each is skipped once per run and not once per live aircraft.
class StaticKeyIndex {
  public:
    void add(std::string_view key, uint32_t pos) {
        entries_.push_back(Entry{std::hash<std::string_view>{}(key), key, pos, 0});
    }
    void sort() {
        std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
            if (a.hash != b.hash) return a.hash < b.hash;
            return a.key != b.key ? a.key < b.key : a.pos < b.pos;
        });
    }
    // The first position under the key whose static is still active; npos when none.
    size_t firstActive(std::string_view key) {
        if (key.empty() || entries_.empty()) return npos;
        const size_t hash = std::hash<std::string_view>{}(key);
        auto run = std::lower_bound(entries_.begin(), entries_.end(), hash,
                                    [](const Entry& e, size_t h) { return e.hash < h; });
        while (run != entries_.end() && run->hash == hash && run->key != key) ++run;
        auto inRun = [&](auto it) { return it != entries_.end() && it->hash == hash && it->key == key; };
        if (!inRun(run)) return npos;
        auto it = run + run->skipped;
        while (inRun(it) && staticAircraft[it->pos].state != AcState::active) ++it;
        run->skipped = static_cast<uint32_t>(it - run);
        return inRun(it) ? it->pos : npos;
    }

    static constexpr size_t npos = static_cast<size_t>(-1);

  private:
    struct Entry {
        size_t hash;
        std::string_view key;
        uint32_t pos;
        uint32_t skipped;  // on a run's first entry
    };
    std::vector<Entry> entries_;
};

}  // namespace

void gf_removeStaticTwinsOfLiveAc() {
    // A static's callsign is its live twin's with '*' appended; the star alone names no one.
    StaticKeyIndex byCallsign;
    StaticKeyIndex byReg;
    for (size_t i = 0; i < staticAircraft.size(); ++i) {
        const AiAircraft& parked = staticAircraft[i];
        if (parked.state != AcState::active) continue;
        const std::string_view callsign = parked.identity.callsign;
        if (callsign.size() > 1 && callsign.back() == '*')
            byCallsign.add(callsign.substr(0, callsign.size() - 1), static_cast<uint32_t>(i));
        if (!parked.identity.reg.empty()) byReg.add(parked.identity.reg, static_cast<uint32_t>(i));
    }
    byCallsign.sort();
    byReg.sort();

    for (const LiveAc& live : liveAircraft) {
        if (live.state != AcState::active || !live.onGround) continue;
        const size_t pos = std::min(byCallsign.firstActive(live.identity.callsign), byReg.firstActive(live.identity.reg));
        if (pos == StaticKeyIndex::npos) continue;
        AiAircraft& parked = staticAircraft[pos];
        if (LOG.value())
            gf_log(fmt::format("{} removed: {} is live", gf_acText(parked.identity), gf_acText(live.identity)));
        removeAircraftFromSim(parked, fmt::format("{} is live", gf_acText(live.identity)));
    }
}

}  // namespace vdl
