// Refused liveries and the matching reports.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "refdata/identity.h"

namespace vdl {

// Guards uncreatableTitles and noMatchKeys: the reports also run on the exit thread. The refused
// "model airline" texts are the foundation's (gf_addNotCreatedTitle, gf_notCreatedTitles).
inline std::mutex matchReportMutex;

// Titles the simulator refused, owned (they outlive any rebuild of the catalogue); never emptied.
inline std::vector<std::string> uncreatableTitles;
// gf_airlModelRegKey of live aircraft without a livery (filled at spawn), each with the reason
// the report gives for it.
inline std::map<std::string, std::string, std::less<>> noMatchKeys;

// Live aircraft matched at step i + 1 since the process started.
inline std::array<std::atomic<int32_t>, 6> stepCounts{};

inline constexpr size_t maxUncreatable = 20;
// A feed that keeps bringing new identities must not grow the set or the report without end.
inline constexpr size_t maxNoMatchKeys = 100000;
inline constexpr size_t maxNoMatchReported = 200;

// The simulator refused to create `ac` with its title: the title is never matched again; the 20th
// refusal throws vdl::UserErrorException 81. Ignored while exiting or after the user closed.
void gf_reportUncreatable(const AcIdentity& ac);

bool gf_isUncreatable(std::string_view title);
size_t gf_uncreatableCount();

// Remembers the key while the set holds fewer than maxNoMatchKeys; beyond that the aircraft is
// simply looked up again.
void gf_addNoMatchKey(std::string key, std::string reason = {});
void gf_clearNoMatchKeys();

// "\nNo match found for: " and the first maxNoMatchReported keys, then how many more, while LOG is on.
void gf_logNoMatch();
// The match statistics and the refused models.
void gf_matchingSummary();

// Forgets refused titles, no-match keys and step counts (part of gf_resetLiveries).
void gf_clearMatchReports();

}  // namespace vdl
