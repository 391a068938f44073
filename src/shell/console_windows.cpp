// The Windows side of shell/console.h. Commands come from a pipe, a file or the console; the
// console is read only once a whole line (its Enter key) waits, so that the loop never blocks.
#include <windows.h>
#include <io.h>

#include <algorithm>

#include "shell/console.h"

namespace vdl {

namespace {

void (*closeHandler)() = nullptr;

BOOL WINAPI lf_onControl(DWORD event) {
    if (closeHandler != nullptr) closeHandler();
    // On the console's close, log-off and shut-down the system ends the process as soon as this
    // returns: it waits here (the system allows about 5 s) while the program ends its run and
    // returns from main, which ends this thread with the process.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(4500);
    return TRUE;
}

HANDLE lf_handle(int fd) {
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// Something to read: a pipe with bytes or at its end, a console with a finished line, a file.
bool lf_inputReady(int fd) {
    HANDLE h = lf_handle(fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    switch (GetFileType(h)) {
        case FILE_TYPE_PIPE: {
            DWORD available = 0;
            if (!PeekNamedPipe(h, nullptr, 0, nullptr, &available, nullptr)) return true;  // its end
            return available > 0;
        }
        case FILE_TYPE_CHAR: {
            INPUT_RECORD records[64];
            DWORD count = 0;
            if (!PeekConsoleInputW(h, records, 64, &count)) return true;  // not a console: read it
            for (DWORD i = 0; i < count; ++i) {
                const auto& r = records[i];
                if (r.EventType == KEY_EVENT && r.Event.KeyEvent.bKeyDown && r.Event.KeyEvent.uChar.UnicodeChar == L'\r')
                    return true;
            }
            return false;
        }
        default: return true;
    }
}

}  // namespace

void gf_onConsoleClose(void (*onClose)()) {
    closeHandler = onClose;
    SetConsoleCtrlHandler(lf_onControl, TRUE);
}

bool gf_stdoutIsTerminal() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode)) return false;
    return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::optional<TerminalSize> gf_terminalSize() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) return std::nullopt;
    const int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (rows <= 0 || columns <= 0) return std::nullopt;
    return TerminalSize{rows, columns};
}

UiWait gf_waitUi(const WakeUp& messages, int inputFd, std::chrono::milliseconds timeout) {
    // The input is looked at between short waits on the wake-up: pipes and the console cannot
    // join a socket wait.
    constexpr auto slice = std::chrono::milliseconds(10);
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        UiWait ready;
        ready.input = inputFd >= 0 && lf_inputReady(inputFd);
        std::error_code ec;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        const auto wait = ready.input ? std::chrono::milliseconds(0) : std::max(std::chrono::milliseconds(0), std::min(left, slice));
        ready.messages = gf_waitReadable({}, {}, &messages, wait, ec);
        if (ready.input || ready.messages || left.count() <= 0) return ready;
    }
}

std::optional<size_t> gf_readInput(int inputFd, char* buffer, size_t size, bool& again) {
    again = false;
    const int got = _read(inputFd, buffer, static_cast<unsigned>(size));
    if (got >= 0) return static_cast<size_t>(got);
    return std::nullopt;
}

}  // namespace vdl
