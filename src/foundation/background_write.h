// Replacing a file from a thread of its own, so a slow disk never holds up the caller's step.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vdl {

// One write at a time: a new one is refused while the last still runs, so a disk slower than
// the caller's rhythm costs writes, not memory, and an older content never lands after a newer.
// Its thread starts with the first write and stays, so later writes cost no thread's start;
// the destructor lets the write in flight finish.
class BackgroundFileWriter {
  public:
    BackgroundFileWriter() = default;
    ~BackgroundFileWriter();
    BackgroundFileWriter(const BackgroundFileWriter&) = delete;
    BackgroundFileWriter& operator=(const BackgroundFileWriter&) = delete;

    // Starts replacing the file (gf_replaceFile; a relative path is taken against the current
    // folder now). False, with nothing started, while the previous write still runs or when no
    // thread can be started.
    bool start(const std::filesystem::path& path, std::string content);
    // Waits for the write in flight, if any. Answers whether the last write succeeded (true
    // when there was none).
    bool wait();

  private:
    struct Job {
        std::filesystem::path path;
        std::string content;
    };
    void run();

    std::mutex backgroundWriteMutex_;
    std::condition_variable changed_;
    std::optional<Job> job_;  // the write asked for or running
    bool lastOk_ = true;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace vdl
