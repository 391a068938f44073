#include "foundation/background_write.h"

#include <exception>
#include <system_error>
#include <utility>

#include "foundation/files.h"

namespace vdl {

BackgroundFileWriter::~BackgroundFileWriter() {
    {
        std::lock_guard lock(backgroundWriteMutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool BackgroundFileWriter::start(const std::filesystem::path& path, std::string content) {
    std::error_code ec;
    std::filesystem::path target = std::filesystem::absolute(path, ec);
    if (ec) target = path;
    {
        std::lock_guard lock(backgroundWriteMutex_);
        if (job_) return false;
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { run(); });
            } catch (const std::system_error&) {
                return false;
            }
        }
        job_ = Job{std::move(target), std::move(content)};
    }
    changed_.notify_all();
    return true;
}

bool BackgroundFileWriter::wait() {
    std::unique_lock lock(backgroundWriteMutex_);
    changed_.wait(lock, [this] { return !job_; });
    return lastOk_;
}

void BackgroundFileWriter::run() {
    std::unique_lock lock(backgroundWriteMutex_);
    for (;;) {
        // A write asked for before the end still happens.
        changed_.wait(lock, [this] { return job_ || stopping_; });
        if (!job_) return;
        lock.unlock();
        bool ok = false;
        try {
            ok = gf_replaceFile(job_->path, job_->content);
        } catch (const std::exception&) {
            // A failed write, like any other: the caller asks wait().
        }
        lock.lock();
        lastOk_ = ok;
        job_.reset();
        changed_.notify_all();
    }
}

}  // namespace vdl
