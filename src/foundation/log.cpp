#include "foundation/log.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/parameters.h"
#include "foundation/time.h"
#include "foundation/version.h"

namespace vdl {

LogFile logFile;

namespace {

// Every limiter alive, so that closing the log writes what they hold back.
struct LimiterList {
    std::mutex mutex;  // guards all
    std::vector<LogLimiter*> all;
};

LimiterList& lf_limiters() {
    static LimiterList list;  // built before the first limiter, so it outlives them all
    return list;
}

void lf_flushLimiters() {
    LimiterList& list = lf_limiters();
    std::lock_guard lock(list.mutex);
    for (LogLimiter* l : list.all) l->flush();
}

// 9812 as "9,812".
std::string lf_grouped(uint64_t n) {
    const std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// Each physical line cut to maxLineChars: outside text (a path, a title) may be of any length.
std::string lf_cutLongLines(std::string_view text) {
    std::string out;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        if (line.size() <= LogFile::maxLineChars) {
            out += line;
        } else {
            out += fmt::format("{}... ({} characters)", line.substr(0, LogFile::maxLineChars), line.size());
        }
        if (end == text.size()) break;
        out += '\n';
        start = end + 1;
    }
    return out;
}

}  // namespace

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
    // Control bytes and broken UTF-8 from outside text must not reach a terminal or an editor raw.
    std::string line = gf_escapedForLog(text);
    if (line.size() > maxLineChars) line = lf_cutLongLines(line);
    std::lock_guard lock(logMutex);
    if (!open_) return;
    stream_ << prefix << line << '\n';
    stream_.flush();  // the log is read after crashes
}

bool gf_openLog(std::string_view simulatorName, const std::filesystem::path& path) {
    lf_flushLimiters();  // a new log starts with fresh allowances
    if (!logFile.open(path)) return false;
    logFile.writeLine(fmt::format("{} (utc) {} version {} for {}", gf_asctimeUtc(gf_nowUtc()), programName,
                                  programVersion.text(), simulatorName));
    return true;
}

void gf_closeLog() {
    lf_flushLimiters();
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

LogLimiter::LogLimiter(std::string kind, int maxLines, Clock::duration interval)
    : kind_(std::move(kind)), maxLines_(maxLines), interval_(interval) {
    LimiterList& list = lf_limiters();
    std::lock_guard lock(list.mutex);
    list.all.push_back(this);
}

LogLimiter::~LogLimiter() {
    {
        LimiterList& list = lf_limiters();
        std::lock_guard lock(list.mutex);
        list.all.erase(std::remove(list.all.begin(), list.all.end(), this), list.all.end());
    }
    flush();
}

void LogLimiter::write(std::string_view text, bool error, Clock::time_point now) {
    std::lock_guard lock(limiterMutex_);
    if (!intervalStart_ || now - *intervalStart_ >= interval_) {
        flushLocked();
        intervalStart_ = now;
    }
    if (passed_ >= maxLines_) {
        ++heldBack_;
        heldBackError_ = heldBackError_ || error;
        return;
    }
    ++passed_;
    const std::string_view prefix = error ? "===> " : "";
    if (text.size() <= maxLogLineChars) {
        logFile.writeLine(prefix, text);
    } else {
        logFile.writeLine(prefix,
                          fmt::format("{}... ({} characters)", text.substr(0, maxLogLineChars), text.size()));
    }
}

void LogLimiter::flush() {
    std::lock_guard lock(limiterMutex_);
    flushLocked();
}

void LogLimiter::flushLocked() {
    if (heldBack_ > 0) {
        logFile.writeLine(heldBackError_ ? "===> " : "",
                          fmt::format("{}: ... and {} more", kind_, lf_grouped(heldBack_)));
    }
    intervalStart_.reset();
    passed_ = 0;
    heldBack_ = 0;
    heldBackError_ = false;
}

}  // namespace vdl
