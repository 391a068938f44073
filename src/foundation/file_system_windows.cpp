// The Windows side of foundation/file_system.h: wide-character calls, so that any UTF-8 path
// works whatever the system's code page.
#include <windows.h>

#include <algorithm>
#include <string>

#include "foundation/file_system.h"

namespace vdl {

uint32_t gf_currentProcessId() {
    return static_cast<uint32_t>(GetCurrentProcessId());
}

bool gf_processRuns(uint32_t pid) {
    if (pid == 0) return false;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

std::FILE* gf_openFile(const std::filesystem::path& path, const char* mode) {
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
}

bool gf_writeFileDurably(const std::filesystem::path& path, std::string_view content) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    while (ok && !content.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size(), 1u << 30));
        DWORD written = 0;
        ok = WriteFile(file, content.data(), chunk, &written, nullptr) != 0 && written > 0;
        if (ok) content.remove_prefix(written);
    }
    ok = ok && FlushFileBuffers(file) != 0;
    return CloseHandle(file) != 0 && ok;
}

bool gf_renameOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    // Not ReplaceFileW: it needs an existing target and some of its failures leave neither
    // file in place; the move replaces in one step and returns only once it is on the disk.
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace vdl
