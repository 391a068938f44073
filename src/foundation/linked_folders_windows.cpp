#include <windows.h>

#include <string>

#include "foundation/linked_folders.h"

namespace vdl {

bool gf_isFolderLink(const std::filesystem::path& folder) {
    WIN32_FIND_DATAW data;
    const HANDLE found = FindFirstFileW(folder.c_str(), &data);
    if (found == INVALID_HANDLE_VALUE) return false;
    FindClose(found);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
    // Symbolic links and junctions; cloud placeholders and the like are folders of their own.
    // Wine leaves the tag 0 on its links.
    const DWORD tag = data.dwReserved0;
    return tag == 0 || tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
}

std::filesystem::path gf_finalFolderPath(const std::filesystem::path& folder) {
    // MinGW's canonical() resolves no link: the system names the folder the handle opens.
    const HANDLE handle = CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::wstring name(MAX_PATH, L'\0');
    DWORD size = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), VOLUME_NAME_DOS);
    if (size >= name.size()) {
        name.resize(size + 1);
        size = GetFinalPathNameByHandleW(handle, name.data(), static_cast<DWORD>(name.size()), VOLUME_NAME_DOS);
    }
    CloseHandle(handle);
    if (size == 0 || size >= name.size()) return {};
    name.resize(size);
    if (name.starts_with(L"\\\\?\\UNC\\")) name = L"\\\\" + name.substr(8);
    else if (name.starts_with(L"\\\\?\\")) name = name.substr(4);
    return std::filesystem::path(name);
}

}  // namespace vdl
