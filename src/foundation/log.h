#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace vdl {

// The stream on Log.txt. Every line is written under logMutex and only while the file
// is open; lines written before opening or after closing are dropped.
class LogFile {
  public:
    // Longer lines are cut; control bytes and bytes of no valid UTF-8 are written as "\xNN".
    static constexpr size_t maxLineChars = 1000;

    // Opens (truncates) the file; false when it cannot be opened.
    bool open(const std::filesystem::path& path);
    void close();
    bool isOpen() const { return open_.load(); }
    std::filesystem::path path() const;

    void writeLine(std::string_view text);
    // Writes prefix + text + "\n" as one line.
    void writeLine(std::string_view prefix, std::string_view text);

  private:
    mutable std::mutex logMutex;
    std::ofstream stream_;
    std::filesystem::path path_;
    std::atomic<bool> open_{false};
};

extern LogFile logFile;

// Opens Log.txt (in the working folder unless a path is given) and writes the first line
// "{} (utc) {} version {} for {}": UTC time, program name, version, simulator name.
bool gf_openLog(std::string_view simulatorName, const std::filesystem::path& path = "Log.txt");
void gf_closeLog();
bool gf_logIsOpen();

// "MSFS 2020" or "MSFS 2024", after the parameter MSFS_2020.
std::string gf_simulatorName();

void gf_log(std::string_view text);
void gf_logError(std::string_view text);     // "===> " + text
void gf_logIndented(std::string_view text);  // ten blanks + text
void gf_logString(const std::string& text);

// Keeps one kind of log line, written on outside input, from flooding Log.txt: one limiter per
// call site, a static local (so that it ends before the log does). At most `maxLines` lines pass
// per `interval`; the lines held back are counted and reported in one line ("{kind}: ... and
// 9,812 more") before the next line that passes, when the log is closed or opened again, or when
// the limiter ends. Lines are cut at maxLogLineChars.
class LogLimiter {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t maxLogLineChars = 300;

    explicit LogLimiter(std::string kind, int maxLines = 10,
                        Clock::duration interval = std::chrono::minutes(1));
    ~LogLimiter();
    LogLimiter(const LogLimiter&) = delete;
    LogLimiter& operator=(const LogLimiter&) = delete;

    void log(std::string_view text) { write(text, false, Clock::now()); }
    void logError(std::string_view text) { write(text, true, Clock::now()); }
    void write(std::string_view text, bool error, Clock::time_point now);
    // Writes the count of the lines held back, if any, and starts a fresh interval.
    void flush();

  private:
    void flushLocked();

    std::mutex limiterMutex_;  // guards the fields below and keeps the summary before the next line
    const std::string kind_;
    const int maxLines_;
    const Clock::duration interval_;
    std::optional<Clock::time_point> intervalStart_;
    int passed_ = 0;
    uint64_t heldBack_ = 0;
    bool heldBackError_ = false;
};

}  // namespace vdl
