#include "shell/reports.h"

#include <cstdint>

#include "liveries/livery_tables.h"
#include "liveries/match_reports.h"

namespace vdl {

namespace {
constexpr uint32_t reportEveryCalls = 10;
uint32_t every30Calls = 0;  // run worker only
}  // namespace

void gf_writeMatchReports() {
    gf_logNoMatch();
    gf_matchingSummary();
}

void gf_every30SecondsReports() {
    if (++every30Calls % reportEveryCalls == 0) gf_writeMatchReports();
    if (gf_liveryResetDue()) gf_clearNoMatchKeys();
}

void gf_clearReportCalls() {
    every30Calls = 0;
}

}  // namespace vdl
