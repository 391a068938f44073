// The POSIX side of shell/console.h.
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "shell/console.h"

namespace vdl {

namespace {

void (*closeHandler)() = nullptr;

void lf_onSignal(int) {
    if (closeHandler != nullptr) closeHandler();
}

}  // namespace

void gf_onConsoleClose(void (*onClose)()) {
    closeHandler = onClose;
    struct sigaction action {};
    action.sa_handler = lf_onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool gf_stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) != 0;
}

std::optional<TerminalSize> gf_terminalSize() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) return std::nullopt;
    return TerminalSize{size.ws_row, size.ws_col};
}

UiWait gf_waitUi(const WakeUp& messages, int inputFd, std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{messages.readEnd().get(), POLLIN, 0}, {inputFd, POLLIN, 0}};
    const int n = ::poll(fds, 2, static_cast<int>(timeout.count()));
    if (n <= 0) return {};
    return {fds[0].revents != 0, inputFd >= 0 && fds[1].revents != 0};
}

std::optional<size_t> gf_readInput(int inputFd, char* buffer, size_t size, bool& again) {
    again = false;
    const ssize_t got = ::read(inputFd, buffer, size);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EINTR || errno == EAGAIN) {
        again = true;
        return 0;
    }
    return std::nullopt;
}

}  // namespace vdl
