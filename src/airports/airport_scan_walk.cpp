#include "airports/airport_scan_walk.h"

#include <fmt/format.h>

#include <array>
#include <deque>
#include <exception>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "airports/airport_links.h"
#include "airports/airport_scan_log.h"
#include "airports/bgl_reader.h"
#include "foundation/linked_folders.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/utf8_path.h"
#include "foundation/workers.h"
#include "window/exit.h"

namespace vdl {

namespace {

namespace fs = std::filesystem;

constexpr const char* scanWarn = "===> ";
constexpr size_t maxPathChars = 250;
constexpr std::array<std::string_view, 14> skipWords = {
    "fs-base",   "tutorials",     "aircraft",           "bushtrip", "discovery", "point-of-interest", "simobjects",
    "vcockpits", "aig-aitraffic", "justflight-aicraft", "fsltl",    "gsx-pro",   "gsx-world",         "landingchallenge"};
constexpr std::array<std::string_view, 3> fileWords = {"statics", "AFCAD Updates", "_heliports"};

template <size_t N>
bool lf_containsAny(std::string_view text, const std::array<std::string_view, N>& words) {
    for (const auto word : words)
        if (text.find(word) != std::string_view::npos) return true;
    return false;
}

// A started worker: its thread is joined before its result is taken.
struct Worker {
    std::thread thread;
    std::future<void> result;
};

// Joins the worker and answers its exception's message, if any.
std::optional<std::string> lf_finish(Worker& worker) {
    if (worker.thread.joinable()) worker.thread.join();
    try {
        worker.result.get();
    } catch (const std::exception& e) {
        return std::string(e.what());
    } catch (...) {
        return std::string("unknown exception");
    }
    return std::nullopt;
}

}  // namespace

bool gf_skipAirportPath(std::string_view belowRoot, size_t fullPathChars) {
    return fullPathChars >= maxPathChars || lf_containsAny(belowRoot, skipWords);
}

bool gf_hasExcludedFileWord(std::string_view belowRoot) { return lf_containsAny(belowRoot, fileWords); }

bool gf_isBglExtension(std::string_view extension) { return extension == ".BGL" || extension == ".bgl"; }

void gf_scanFolderForAirports(const fs::path& folder, const BglFileReader& readFile) {
    const std::string folderText = gf_utf8FromPath(folder);
    gf_addAirportsScanLog("Scanning for addon airports in " + folderText);
    std::deque<Worker> workers;
    auto finishOldest = [&](const std::string& entryText) {
        if (const auto error = lf_finish(workers.front()))
            gf_addAirportsScanLog(fmt::format("{} airports search aborted, futs inner, \n{}\n{}\n{}", scanWarn, *error,
                                              workers.size(), entryText));
        workers.pop_front();
    };

    // Walks one tree; links below it are not followed. With `topLinks`, the linked folders at its
    // top level are collected there.
    const auto walk = [&](const fs::path& start, std::vector<fs::path>* topLinks) {
        std::error_code ec;
        fs::recursive_directory_iterator it(start, fs::directory_options::skip_permission_denied, ec);
        const fs::recursive_directory_iterator end;
        for (; !ec && it != end; it.increment(ec)) {
            std::string entryText;
            try {
                const fs::directory_entry& entry = *it;
                entryText = gf_utf8FromPath(entry.path());
                const std::string below = gf_utf8FromPath(entry.path().lexically_relative(folder));
                if (gf_skipAirportPath(below, entryText.size())) {
                    if (entry.is_directory()) it.disable_recursion_pending();
                    continue;
                }
                std::error_code statusError;
                if (entry.is_directory(statusError) && gf_isFolderLink(entry.path())) {
                    it.disable_recursion_pending();  // the iterator follows links on Windows
                    if (topLinks && it.depth() == 0) topLinks->push_back(entry.path());
                    continue;
                }
                if (!entry.is_regular_file(statusError) ||
                    !gf_isBglExtension(gf_utf8FromPath(entry.path().extension())) || gf_hasExcludedFileWord(below) ||
                    !gf_hasAirportSection(entry.path()))
                    continue;
                if (exiting.load() || userClosed.load()) break;
                gf_waitForWorkerSlot();
                std::packaged_task<void()> task([readFile, path = entry.path()] {
                    WorkerSlotGuard slot;
                    readFile(path);
                });
                std::future<void> result = task.get_future();
                workers.push_back(Worker{std::thread(std::move(task)), std::move(result)});
                gf_workerStarted();
                if (workers.size() > hwThreads.load()) finishOldest(entryText);
            } catch (const std::exception& e) {
                gf_addAirportsScanLog(
                    fmt::format("{} airports search in folder {} aborted, cause: {}", scanWarn, folderText, e.what()));
            }
        }
        if (ec)
            gf_addAirportsScanLog(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}",
                                              scanWarn, gf_utf8FromPath(start), ec.message()));
    };

    std::vector<fs::path> links;
    walk(folder, &links);
    // Add-on managers link packages into the Community folder and the simulator loads them.
    const LinkedFolders linked = gf_sortLinkedFolders(folder, links);
    for (const fs::path& package : linked.repeat)
        gf_addAirportsScanLog(fmt::format("Linked package {} skipped: its folder is scanned already",
                                          gf_utf8FromPath(package)));
    for (const fs::path& package : linked.enter) {
        if (exiting.load() || userClosed.load()) break;
        gf_addAirportsScanLog("Scanning linked package " + gf_utf8FromPath(package));
        walk(package, nullptr);
    }
    // Every worker is waited for, also after a fault of the walk: none may outlive the scan.
    while (!workers.empty()) {
        if (const auto error = lf_finish(workers.front()))
            gf_addAirportsScanLog(
                fmt::format("{} airports search in {} aborted, futs outer error: {}", scanWarn, folderText, *error));
        workers.pop_front();
    }
}

void gf_toParkingPositions(const fs::path& path) {
    const std::string pathText = gf_utf8FromPath(path);
    const AirportsScanLogBuffer lines;  // this file's lines stay together
    BglHandOffs handOffs;
    handOffs.airport = [&](const BglAirport& airport, const std::string& icao) {
        // A file may hold many large airports: a stop request need not wait for all of them.
        if (exiting.load() || userClosed.load()) return;
        gf_processAirportRecord(airport, icao, pathText);
    };
    handOffs.notRecognised = [&] { gf_notRecognisedAirport(pathText); };
    try {
        gf_readBglFile(path, handOffs, MSFS_2020.value());
    } catch (const std::exception& e) {
        static LogLimiter limiter("BGL file exceptions");
        limiter.logError(fmt::format("Exception in gf_toParkingPositions: {} ({})", e.what(), pathText));
        throw;
    }
}

}  // namespace vdl
