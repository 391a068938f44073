// The lines of output/info/AirportsScanLog.txt, gathered from every part of the add-on airport
// scan (its workers and publisher detection) and written when the scan ends.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vdl {

inline std::mutex scanLogMutex;
inline std::vector<std::string> airportsScanLog;  // guarded by scanLogMutex

// Broken files can say the same thing many thousand times: lines past this many are counted
// instead of kept.
inline constexpr size_t airportsScanLogMaxLines = 100000;
inline constexpr size_t airportsScanLogReserve = 2048;

// Appends a copy of the line; any thread. On a thread with an AirportsScanLogBuffer the line
// waits in that buffer.
void gf_addAirportsScanLog(std::string_view line);

// Keeps the lines of one scan worker together: while it lives, the lines its thread adds are
// gathered, and when it ends they go into the scan log in one piece, not mixed with the lines of
// the other workers.
class AirportsScanLogBuffer {
  public:
    AirportsScanLogBuffer();
    ~AirportsScanLogBuffer();
    AirportsScanLogBuffer(const AirportsScanLogBuffer&) = delete;
    AirportsScanLogBuffer& operator=(const AirportsScanLogBuffer&) = delete;
    void add(std::string_view line);

  private:
    std::vector<std::string> lines_;
    size_t leftOut_ = 0;  // past the scan log's bound: a broken file may say one thing endlessly
    AirportsScanLogBuffer* outer_;
};

// At the start of a scan: room for the usual number of lines, then the lines that publisher
// detection wrote while no scan took them.
void gf_beginAirportsScanLog();

// The lines so far (with a closing line counting those left out past the limit); the scan log
// is empty afterwards.
std::vector<std::string> gf_takeAirportsScanLog();

// Empties the scan log (part of gf_resetAirports).
void gf_clearAirportsScanLog();

}  // namespace vdl
