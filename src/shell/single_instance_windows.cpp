// The Windows side of shell/single_instance.h: the named mutex.
#include <windows.h>

#include <string>
#include <system_error>

#include "foundation/utf8_path.h"
#include "shell/single_instance.h"

namespace vdl {

void InstanceLockTraits::close(Native lock) noexcept {
    CloseHandle(reinterpret_cast<HANDLE>(lock));
}

NamedMutex::NamedMutex(std::string_view mutexName) {
    const std::wstring name = gf_pathFromUtf8(mutexName).native();
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex == nullptr)
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "cannot create the mutex " + std::string(mutexName));
    // Another handle to it exists: another instance (or another NamedMutex here) holds it.
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return;
    }
    lock_.reset(reinterpret_cast<InstanceLockTraits::Native>(mutex));
}

}  // namespace vdl
