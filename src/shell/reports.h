#pragma once
// The matching reports of a run (apart from the traffic lists, whose header names the same
// no-match set).

namespace vdl {

// gf_logNoMatch and gf_matchingSummary.
void gf_writeMatchReports();
// The 30-second work on the reports: every tenth call (5 minutes) the reports; the no-match
// keys are dropped while a livery reset is due (they name liveries about to go).
void gf_every30SecondsReports();

// Forgets the 30-second calls (part of gf_resetShell).
void gf_clearReportCalls();

}  // namespace vdl
