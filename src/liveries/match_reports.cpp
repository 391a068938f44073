#include "liveries/match_reports.h"

#include <fmt/format.h>

#include <algorithm>

#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/not_created.h"
#include "foundation/parameters.h"
#include "foundation/text.h"
#include "window/exit.h"
#include "window/main_window.h"

namespace vdl {

namespace {

constexpr std::string_view simName = "MSFS";

}  // namespace

void gf_reportUncreatable(const AcIdentity& ac) {
    if (exiting.load() || userClosed.load()) return;
    gf_setStatusLine(fmt::format("{} \"{}\" could not be created by your Sim!", ac.callsign, ac.title), true);
    size_t refused = 0;
    {
        std::lock_guard lock(matchReportMutex);
        uncreatableTitles.emplace_back(ac.title);
        refused = uncreatableTitles.size();
    }
    gf_addNotCreatedTitle(fmt::format("{} {}", ac.type, ac.airl));
    if (refused >= maxUncreatable) {
        const std::string text =
            fmt::format("there are too many liveries that could not be created by {}!", simName);
        gf_log(fmt::format("\n{}Error 81, {}\n", "===> ", text));
        throw UserErrorException(81, fmt::format("{}, see Log.txt", text));
    }
}

bool gf_isUncreatable(std::string_view title) {
    std::lock_guard lock(matchReportMutex);
    return std::find(uncreatableTitles.begin(), uncreatableTitles.end(), title) != uncreatableTitles.end();
}

size_t gf_uncreatableCount() {
    std::lock_guard lock(matchReportMutex);
    return uncreatableTitles.size();
}

void gf_addNoMatchKey(std::string key, std::string reason) {
    std::lock_guard lock(matchReportMutex);
    if (noMatchKeys.size() < maxNoMatchKeys) noMatchKeys.try_emplace(std::move(key), std::move(reason));
}

void gf_clearNoMatchKeys() {
    std::lock_guard lock(matchReportMutex);
    noMatchKeys.clear();
}

void gf_logNoMatch() {
    if (!LOG.value() || !gf_logIsOpen()) return;
    std::lock_guard lock(matchReportMutex);
    if (noMatchKeys.empty()) return;
    gf_log("\nNo match found for: ");
    size_t listed = 0;
    for (const auto& [key, reason] : noMatchKeys) {
        if (listed == maxNoMatchReported) break;
        gf_log(reason.empty() ? key : fmt::format("{}: {}", key, reason));
        ++listed;
    }
    if (noMatchKeys.size() > listed) gf_log(fmt::format("... and {} more", noMatchKeys.size() - listed));
    gf_log("");
}

void gf_matchingSummary() {
    std::vector<std::string> lines;
    const std::string_view heading = "live traffic livery matching summary";
    lines.push_back(gf_starBanner(100 - static_cast<int>(heading.size()), 0, true, false, heading));
    lines.emplace_back("Matches at step: ");
    for (size_t i = 0; i < stepCounts.size(); ++i)
        lines.push_back(fmt::format("  {}: {}", i + 1, stepCounts[i].load()));
    const auto refused = gf_notCreatedTitles();
    if (!refused.empty()) {
        lines.push_back(fmt::format("\nCould not be created by {}:", simName));
        lines.insert(lines.end(), refused.begin(), refused.end());
    }
    lines.push_back(gf_starBanner(64, 36, false, true, ""));
    for (const auto& line : lines) gf_log(line);
}

void gf_clearMatchReports() {
    std::lock_guard lock(matchReportMutex);
    uncreatableTitles.clear();
    noMatchKeys.clear();
    for (auto& count : stepCounts) count.store(0);
}

}  // namespace vdl
