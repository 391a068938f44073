#include "standins/soak_checks.h"

#include <fmt/format.h>

#include <algorithm>
#include <sstream>
#include <string_view>
#include <utility>

namespace vdl::soak {

namespace {
// The program takes a new object over at the first in-range list (every 0.2 s) that has it. One
// it never sees there (created at the edge of the range as the user moves away) the link removes
// after 100 lists, some 20 s; half as long again for a loaded machine. An object the simulator
// took away at its end without the program having taken it over was left behind only when it
// was older than that: a younger one the program still kept to remove.
constexpr double unboundKeptSeconds = 30.0;
}  // namespace

ObjectFigures gf_objectFigures(const TrackFileContents& contents) {
    ObjectFigures f;
    std::vector<std::pair<double, int>> changes;  // +1 at a creation, -1 at a removal
    for (const auto& t : contents.tracks) {
        ++f.created;
        changes.emplace_back(t.createdAt, 1);
        if (t.removed) changes.emplace_back(t.removedAt, -1);
        // The simulator's quit, or the close of the link, removes the objects alive at the end of
        // the run; one the program never took over (no release of the AI's control) in time it
        // had left behind.
        const auto has = [&](std::string_view name) {
            return std::any_of(t.events.begin(), t.events.end(), [&](const TrackEvent& e) { return e.name == name; });
        };
        const bool takenOver = has("AI released");
        if (!takenOver) ++f.neverTakenOver;
        const bool bySimulator = has("removed at close") || has("removed at quit");
        const bool byProgram =
            t.removed && (!bySimulator || takenOver || t.removedAt - t.createdAt < unboundKeptSeconds);
        if (byProgram)
            ++f.removed;
        else
            f.leftOver.push_back(fmt::format("{} {}", t.id, t.title));
    }
    // Removals first at equal times: an object replaced in the same frame is not two.
    std::sort(changes.begin(), changes.end());
    long alive = 0;
    for (const auto& [time, delta] : changes) {
        alive += delta;
        f.mostAtOnce = std::max(f.mostAtOnce, static_cast<std::size_t>(std::max(alive, 0L)));
    }
    f.strays = contents.strays;
    return f;
}

RssVerdict gf_checkRss(const std::vector<RssSample>& samples, double settleSeconds, double share,
                       double slackKb) {
    RssVerdict v;
    if (!samples.empty()) v.endKb = samples.back().kb;
    for (const auto& s : samples) {
        if (s.seconds < settleSeconds) continue;
        if (!v.sampled) {
            v.sampled = true;
            v.baseKb = s.kb;
            v.limitKb = s.kb + std::max(s.kb * share, slackKb);
        }
        v.peakKb = std::max(v.peakKb, s.kb);
    }
    v.withinLimit = v.sampled && v.peakKb <= v.limitKb;
    return v;
}

std::vector<RssSample> gf_readRssSamples(const std::string& text) {
    std::vector<RssSample> samples;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        RssSample s;
        std::string rest;
        if (fields >> s.seconds >> s.kb && !(fields >> rest)) samples.push_back(s);
    }
    return samples;
}

}  // namespace vdl::soak
