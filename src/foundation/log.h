#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

namespace vdl {

// The stream on Log.txt. Every line is written under logMutex and only while the file
// is open; lines written before opening or after closing are dropped.
class LogFile {
  public:
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

}  // namespace vdl
