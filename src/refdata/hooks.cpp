#include "refdata/hooks.h"

#include <fmt/format.h>

#include <mutex>

#include "foundation/log.h"
#include "foundation/utf8_path.h"

namespace vdl {

namespace {

std::mutex hooksMutex;
ClosestStandHook closestStandHook;
ScanLogHook scanLogHook;
RemoveAllFilesHook removeAllFilesHook;
std::vector<std::string> pendingScanLog;

}  // namespace

void gf_setClosestStandHook(ClosestStandHook hook) {
    std::lock_guard lock(hooksMutex);
    closestStandHook = std::move(hook);
}

ClosestStandHook gf_closestStandHook() {
    std::lock_guard lock(hooksMutex);
    return closestStandHook;
}

void gf_setAirportsScanLogHook(ScanLogHook hook) {
    std::lock_guard lock(hooksMutex);
    scanLogHook = std::move(hook);
}

void gf_addPublisherScanLog(const std::string& line) {
    ScanLogHook hook;
    {
        std::lock_guard lock(hooksMutex);
        if (!scanLogHook) {
            pendingScanLog.push_back(line);
            return;
        }
        hook = scanLogHook;
    }
    hook(line);  // outside our lock: the scan log has its own
}

std::vector<std::string> gf_takePendingScanLog() {
    std::lock_guard lock(hooksMutex);
    std::vector<std::string> lines;
    lines.swap(pendingScanLog);
    return lines;
}

void gf_setRemoveAllFilesHook(RemoveAllFilesHook hook) {
    std::lock_guard lock(hooksMutex);
    removeAllFilesHook = std::move(hook);
}

void gf_removeAllFilesInFolderViaHook(const std::filesystem::path& folder) {
    RemoveAllFilesHook hook;
    {
        std::lock_guard lock(hooksMutex);
        hook = removeAllFilesHook;
    }
    if (hook)
        hook(folder);
    else
        gf_logError(fmt::format("gf_removeAllFilesInFolder: no hook set, \"{}\" not emptied", gf_utf8FromPath(folder)));
}

void gf_clearRefdataHooks() {
    std::lock_guard lock(hooksMutex);
    closestStandHook = nullptr;
    scanLogHook = nullptr;
    removeAllFilesHook = nullptr;
    pendingScanLog.clear();
}

}  // namespace vdl
