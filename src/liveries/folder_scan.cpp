// The parallel scan of one folder tree: one task per aircraft.cfg file on a few reading threads.
#include <fmt/format.h>

#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "foundation/linked_folders.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/utf8_path.h"
#include "foundation/workers.h"
#include "liveries/cfg_reader.h"
#include "liveries/livery_data.h"
#include "liveries/livery_scan.h"
#include "window/exit.h"

namespace vdl {

namespace {

namespace fs = std::filesystem;

// Longer paths are not entered (the limit of the simulator's platform).
constexpr size_t maxPathChars = 249;

// The folder's reading threads: at most hwThreads, started once per folder (a thread per file
// costs more than reading the file). They take the files' tasks in launch order; every thread is
// joined before the scan returns, whatever ends the walk.
class ReaderPool {
  public:
    using Records = std::list<LiveryData>;

    explicit ReaderPool(size_t threads) {
        try {
            while (threads_.size() < threads) threads_.emplace_back([this] { run(); });
        } catch (const std::system_error&) {
            if (threads_.empty()) throw;  // fewer threads still do the work
        }
    }
    ~ReaderPool() {
        {
            std::lock_guard lock(poolMutex_);
            closing_ = true;
        }
        poolReady_.notify_all();
        for (auto& t : threads_) t.join();
    }
    ReaderPool(const ReaderPool&) = delete;
    ReaderPool& operator=(const ReaderPool&) = delete;

    std::future<Records> add(std::packaged_task<Records()> task) {
        auto result = task.get_future();
        {
            std::lock_guard lock(poolMutex_);
            tasks_.push_back(std::move(task));
        }
        poolReady_.notify_one();
        return result;
    }

  private:
    void run() {
        for (;;) {
            std::packaged_task<Records()> task;
            {
                std::unique_lock lock(poolMutex_);
                poolReady_.wait(lock, [this] { return closing_ || !tasks_.empty(); });
                if (tasks_.empty()) return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();  // a failure lands in the task's future
        }
    }

    std::mutex poolMutex_;  // guards tasks_ and closing_
    std::condition_variable poolReady_;
    std::deque<std::packaged_task<Records()>> tasks_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

// The futures of the started files in launch order.
class Pending {
  public:
    void add(std::future<std::list<LiveryData>> result) { pending_.push_back(std::move(result)); }
    size_t size() const { return pending_.size(); }

    // Waits for the first file and splices its records to `liveries`; a failed task loses its file only.
    void collectFirst(std::string_view where) {
        auto result = std::move(pending_.front());
        pending_.pop_front();
        try {
            liveries.splice(liveries.end(), result.get());
        } catch (const std::exception& e) {
            gf_logError(fmt::format("liveries search aborted, futs {}, {}", where, e.what()));
        }
    }

  private:
    std::deque<std::future<std::list<LiveryData>>> pending_;
};

size_t lf_charCount(std::string_view utf8) {
    size_t count = 0;
    for (const char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

bool lf_holdsSkipWord(std::string_view path) {
    for (const auto word : liveryScanSkipWords)
        if (path.find(word) != std::string_view::npos) return true;
    return false;
}

// Stem "AIRCRAFT" and extension ".CFG" in any case: the file name itself, 12 characters.
bool lf_isAircraftCfg(const fs::path& path) {
    const auto& name = path.native();
    const size_t start = name.size() >= 12 ? name.size() - 12 : 0;
    if (name.size() < 12 || (start > 0 && name[start - 1] != '/' && name[start - 1] != fs::path::preferred_separator))
        return false;
    constexpr std::string_view wanted = "aircraft.cfg";
    for (size_t i = 0; i < 12; ++i) {
        using Char = fs::path::value_type;  // wchar_t on Windows: compared whole, never cut to a byte
        const Char c = name[start + i];
        const Char lower = (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
        if (lower != static_cast<Char>(wanted[i])) return false;
    }
    return true;
}

// The text of the path below the scanned folder.
std::string lf_below(const std::string& pathText, const std::string& folderText, const fs::path& path,
                     const fs::path& folder) {
    if (!pathText.starts_with(folderText)) return gf_utf8FromPath(path.lexically_relative(folder));
    return pathText.substr(folderText.size());
}

bool lf_isModelSet(std::string_view path) {
    return path.find("ivao_x-csl") != std::string_view::npos || path.find("IVAO_MTL") != std::string_view::npos;
}

void lf_startWorker(ReaderPool& pool, Pending& pending, int32_t folderNo, const fs::path& path, bool modelSet) {
    std::packaged_task<std::list<LiveryData>()> task([folderNo, path, modelSet] {
        return modelSet ? gf_searchIvaoLiveriesinFile(folderNo, path) : gf_searchLiveriesinFile(folderNo, path);
    });
    pending.add(pool.add(std::move(task)));
    gf_workerStarted();  // the task's slot guard releases it
}

}  // namespace

bool gf_liveryScanStopping(const std::stop_token& stop) {
    return exiting.load() || userClosed.load() || stop.stop_requested();
}

void gf_scanLiveryFolder(int32_t folderNo, const fs::path& root, const std::stop_token& stop, bool enterLinkedPackages) {
    // One separator in every path the walk yields: "D:/Liveries" typed on Windows would
    // otherwise show as "D:/Liveries\pkg\aircraft.cfg" in the reports.
    const fs::path folder = fs::path(root).make_preferred();
    const size_t limit = std::max<uint32_t>(1, hwThreads.load());
    // Finished files wait a little for collection, so that no reading thread idles while the
    // walk waits for a slow file.
    const size_t window = 4 * limit;
    const std::string folderText = gf_utf8FromPath(folder);
    std::optional<ReaderPool> pool;
    Pending pending;
    std::vector<fs::path> linkedPackages;

    // Walks one tree; links below it are not followed. With `topLinks`, the linked folders at its
    // top level are collected there.
    const auto walk = [&](const fs::path& start, std::vector<fs::path>* topLinks) {
        const std::string startText = gf_utf8FromPath(start);
        std::error_code ec;
        fs::recursive_directory_iterator it(start, ec);
        const fs::recursive_directory_iterator end;
        if (ec) {
            gf_logError(fmt::format("liveries search in folder {} aborted because of iterator problem: {}",
                                    startText, ec.message()));
            it = end;
        }
        while (it != end && !gf_liveryScanStopping(stop)) {
            const fs::path& path = it->path();
            try {
                // The type comes with the folder listing; a status error is a link that loops or dangles.
                std::error_code statusError;
                const bool directory = it->is_directory(statusError);
                const bool regular = !statusError && !directory && it->is_regular_file(statusError);
                if (statusError) {
                    gf_logError(fmt::format("liveries search in {} skipped, cause: {}", gf_utf8FromPath(path),
                                            statusError.message()));
                } else if (directory) {
                    const std::string pathText = gf_utf8FromPath(path);
                    if (lf_charCount(pathText) > maxPathChars ||
                        lf_holdsSkipWord(lf_below(pathText, folderText, path, folder))) {
                        it.disable_recursion_pending();
                    } else if (gf_isFolderLink(path)) {
                        it.disable_recursion_pending();  // the iterator follows links on Windows
                        if (topLinks && it.depth() == 0) topLinks->push_back(path);
                    }
                } else if (regular && lf_isAircraftCfg(path)) {
                    if (!pool) pool.emplace(limit);
                    lf_startWorker(*pool, pending, folderNo, path, lf_isModelSet(gf_utf8FromPath(path)));
                    if (pending.size() > window) pending.collectFirst("inner");
                }
            } catch (const std::exception& e) {
                gf_logError(fmt::format("liveries search in {} aborted, cause: {}", gf_utf8FromPath(path), e.what()));
            }
            it.increment(ec);
            if (ec) {
                gf_logError(fmt::format("liveries search in folder {} aborted because of iterator problem: {}",
                                        startText, ec.message()));
                break;
            }
        }
    };

    walk(folder, enterLinkedPackages ? &linkedPackages : nullptr);
    // Add-on managers link packages into the Community folder and the simulator loads them.
    const LinkedFolders linked = gf_sortLinkedFolders(folder, linkedPackages);
    for (const fs::path& package : linked.repeat)
        gf_logScan(fmt::format("liveries search skips linked package {}: its folder is searched already",
                               gf_utf8FromPath(package)));
    for (const fs::path& package : linked.enter) {
        if (gf_liveryScanStopping(stop)) break;
        gf_logScan(fmt::format("liveries search enters linked package {}", gf_utf8FromPath(package)));
        walk(package, nullptr);
    }
    // The records of every file that was started are kept, also after an iterator problem.
    while (pending.size() > 0) pending.collectFirst("outer");
}

}  // namespace vdl
