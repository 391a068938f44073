#include "foundation/log.h"

#include <fmt/format.h>

#include "foundation/parameters.h"
#include "foundation/time.h"
#include "foundation/version.h"

namespace vdl {

LogFile logFile;

bool LogFile::open(const std::filesystem::path& path) {
    std::lock_guard lock(logMutex);
    if (stream_.is_open()) stream_.close();
    stream_.clear();
    stream_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    path_ = path;
    open_ = stream_.is_open();
    return open_;
}

void LogFile::close() {
    std::lock_guard lock(logMutex);
    open_ = false;
    if (stream_.is_open()) stream_.close();
}

std::filesystem::path LogFile::path() const {
    std::lock_guard lock(logMutex);
    return path_;
}

void LogFile::writeLine(std::string_view text) {
    writeLine({}, text);
}

void LogFile::writeLine(std::string_view prefix, std::string_view text) {
    std::lock_guard lock(logMutex);
    if (!open_) return;
    stream_ << prefix << text << '\n';
    stream_.flush();  // the log is read after crashes
}

bool gf_openLog(std::string_view simulatorName, const std::filesystem::path& path) {
    if (!logFile.open(path)) return false;
    logFile.writeLine(fmt::format("{} (utc) {} version {} for {}", gf_asctimeUtc(gf_nowUtc()), programName,
                                  programVersion.text(), simulatorName));
    return true;
}

void gf_closeLog() {
    logFile.close();
}
bool gf_logIsOpen() {
    return logFile.isOpen();
}

std::string gf_simulatorName() {
    return MSFS_2020.value() ? "MSFS 2020" : "MSFS 2024";
}

void gf_log(std::string_view text) {
    logFile.writeLine(text);
}
void gf_logError(std::string_view text) {
    logFile.writeLine("===> ", text);
}
void gf_logIndented(std::string_view text) {
    logFile.writeLine("          ", text);
}
void gf_logString(const std::string& text) {
    logFile.writeLine(text);
}

}  // namespace vdl
