// The parallel scan of one folder tree: one worker thread per aircraft.cfg file.
#include <fmt/format.h>

#include <deque>
#include <future>
#include <thread>

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

struct Worker {
    std::future<std::list<LiveryData>> result;
    std::thread thread;
};

// The started workers in launch order. Whatever ends the walk, every thread is joined before the
// scan returns.
class Workers {
  public:
    Workers() = default;
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;
    ~Workers() {
        for (auto& w : pending_)
            if (w.thread.joinable()) w.thread.join();
    }

    void add(Worker worker) { pending_.push_back(std::move(worker)); }
    size_t size() const { return pending_.size(); }

    // Joins the first worker and splices its records to `liveries`; a failed task loses its file only.
    void collectFirst(std::string_view where) {
        Worker w = std::move(pending_.front());
        pending_.pop_front();
        w.thread.join();
        try {
            liveries.splice(liveries.end(), w.result.get());
        } catch (const std::exception& e) {
            gf_logError(fmt::format("liveries search aborted, futs {}, {}", where, e.what()));
        }
    }

  private:
    std::deque<Worker> pending_;
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

bool lf_isAircraftCfg(const fs::path& path) {
    return gf_toUpper(gf_utf8FromPath(path.stem())) == "AIRCRAFT" &&
           gf_toUpper(gf_utf8FromPath(path.extension())) == ".CFG";
}

bool lf_isModelSet(std::string_view path) {
    return path.find("ivao_x-csl") != std::string_view::npos || path.find("IVAO_MTL") != std::string_view::npos;
}

void lf_startWorker(Workers& workers, int32_t folderNo, const fs::path& path, bool modelSet) {
    gf_waitForWorkerSlot();
    std::packaged_task<std::list<LiveryData>()> task([folderNo, path, modelSet] {
        return modelSet ? gf_searchIvaoLiveriesinFile(folderNo, path) : gf_searchLiveriesinFile(folderNo, path);
    });
    Worker worker{task.get_future(), {}};
    worker.thread = std::thread(std::move(task));
    gf_workerStarted();
    workers.add(std::move(worker));
}

}  // namespace

bool gf_liveryScanStopping(const std::stop_token& stop) {
    return exiting.load() || userClosed.load() || stop.stop_requested();
}

void gf_scanLiveryFolder(int32_t folderNo, const fs::path& folder, const std::stop_token& stop) {
    const size_t limit = std::max<uint32_t>(1, hwThreads.load());
    const std::string folderText = gf_utf8FromPath(folder);
    Workers workers;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec);
    const fs::recursive_directory_iterator end;
    if (ec) {
        gf_logError(fmt::format("liveries search in folder {} aborted because of iterator problem: {}", folderText,
                                ec.message()));
        it = end;
    }
    while (it != end && !gf_liveryScanStopping(stop)) {
        const fs::path path = it->path();
        const std::string pathText = gf_utf8FromPath(path);
        try {
            // Only the part below the scanned folder counts: the user's own folder names may hold
            // a skip word.
            if (lf_charCount(pathText) > maxPathChars || lf_holdsSkipWord(gf_utf8FromPath(path.lexically_relative(folder))))
                it.disable_recursion_pending();
            std::error_code statusError;
            const bool regular = it->is_regular_file(statusError);
            if (statusError) {
                // A link that loops or dangles costs that entry alone.
                gf_logError(fmt::format("liveries search in {} skipped, cause: {}", pathText, statusError.message()));
            } else if (regular && lf_isAircraftCfg(path)) {
                lf_startWorker(workers, folderNo, path, lf_isModelSet(pathText));
                if (workers.size() > limit) workers.collectFirst("inner");
            }
        } catch (const std::exception& e) {
            gf_logError(fmt::format("liveries search in {} aborted, cause: {}", pathText, e.what()));
        }
        it.increment(ec);
        if (ec) {
            gf_logError(fmt::format("liveries search in folder {} aborted because of iterator problem: {}",
                                    folderText, ec.message()));
            break;
        }
    }
    // The records of every worker that was started are kept, also after an iterator problem.
    while (workers.size() > 0) workers.collectFirst("outer");
}

}  // namespace vdl
