// The Win32 window's tests (Windows only): controls read back as another program would.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <string>

namespace vdl::test {

// A control's text, ASCII kept and anything else as '?'.
inline std::string windowText(HWND hwnd) {
    wchar_t buffer[512] = {};
    GetWindowTextW(hwnd, buffer, 512);
    std::string out;
    for (const wchar_t* c = buffer; *c != 0; ++c) out += static_cast<char>(*c < 128 ? *c : '?');
    return out;
}

// Whether this session can make windows at all (Wine without a display driver cannot).
inline bool windowsPossible() {
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    return true;
}

inline constexpr const char* noWindowsHere =
    "no window can be made in this session (Wine needs a display, or the registry value "
    "HKCU\\Software\\Wine\\Drivers Graphics=null)";

}  // namespace vdl::test
#endif
