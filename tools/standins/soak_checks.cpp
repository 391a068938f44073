#include "standins/soak_checks.h"

#include <fmt/format.h>

#include <algorithm>
#include <sstream>
#include <string_view>
#include <utility>

namespace vdl::soak {

namespace {
// The program takes a new object over at the next in-range list (every 0.2 s); one created so
// shortly before the simulator closes goes with the close without having been missed.
constexpr double takeOverSeconds = 2.0;
}  // namespace

ObjectFigures gf_objectFigures(const TrackFileContents& contents) {
    ObjectFigures f;
    std::vector<std::pair<double, int>> changes;  // +1 at a creation, -1 at a removal
    for (const auto& t : contents.tracks) {
        ++f.created;
        changes.emplace_back(t.createdAt, 1);
        if (t.removed) changes.emplace_back(t.removedAt, -1);
        // The simulator's close removes the objects alive at the end of the run; one the program
        // never took over (no release of the AI's control) in time it had left behind.
        const auto has = [&](std::string_view name) {
            return std::any_of(t.events.begin(), t.events.end(), [&](const TrackEvent& e) { return e.name == name; });
        };
        const bool byProgram = t.removed && (!has("removed at close") || has("AI released") ||
                                             t.removedAt - t.createdAt < takeOverSeconds);
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
