// What the tests need of the system beyond the program's own platform layer, one helper each
// for POSIX and Windows: temporary folders, the environment, thread ids, pipes and child
// processes of the test binary itself.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <tlhelp32.h>
// Old segment keywords of windows.h, names of variables in the tests.
#undef near
#undef far
#else
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
extern "C" char** environ;
#endif

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "foundation/net.h"
#include "foundation/utf8_path.h"

namespace vdl::test {

// A new, empty folder under the system's temporary folder, named `prefix` and a random part.
inline std::filesystem::path makeTempDir(const std::string& prefix) {
    std::random_device seed;
    std::mt19937_64 random(seed() ^ static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path dir = base / (prefix + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(dir, ec)) return dir;
    }
    throw std::runtime_error("cannot make a temporary folder");
}

// Sets (UTF-8) or removes an environment variable of this process.
inline void setEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
    _wputenv_s(gf_pathFromUtf8(name).c_str(), gf_pathFromUtf8(value).c_str());
#else
    ::setenv(name.c_str(), value.c_str(), 1);
#endif
}
inline void unsetEnv(const std::string& name) {
#ifdef _WIN32
    _wputenv_s(gf_pathFromUtf8(name).c_str(), L"");
#else
    ::unsetenv(name.c_str());
#endif
}

// A UDP socket bound to `port` (0: an ephemeral one) on all local addresses the way a program
// bent on keeping it binds: without address reuse, exclusive on Windows. Invalid when refused.
inline Socket bindUdpExclusively(uint16_t port) {
    std::error_code ec;
    gf_openUdp(ec);  // Winsock is started by the program's first socket
    Socket probe(::socket(AF_INET, SOCK_DGRAM, 0));
#ifdef _WIN32
    const int one = 1;
    ::setsockopt(probe.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
#endif
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::bind(probe.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) return {};
    return probe;
}

// The per-user folders of the program (AppData, local AppData, runtime) inside `dir`: "config",
// "data" and "run".
inline void useUserFolders(const std::filesystem::path& dir) {
#ifdef _WIN32
    setEnv("APPDATA", gf_utf8FromPath(dir / "config"));
    setEnv("LOCALAPPDATA", gf_utf8FromPath(dir / "data"));
#else
    setEnv("XDG_CONFIG_HOME", gf_utf8FromPath(dir / "config"));
    setEnv("XDG_DATA_HOME", gf_utf8FromPath(dir / "data"));
    setEnv("XDG_RUNTIME_DIR", gf_utf8FromPath(dir / "run"));
#endif
}

// The calling thread's system id.
inline uint64_t currentThreadId() {
#ifdef _WIN32
    return GetCurrentThreadId();
#else
    return static_cast<uint64_t>(::gettid());
#endif
}

// Threads of this process.
inline int threadCount() {
    int n = 0;
#ifdef _WIN32
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        n += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    CloseHandle(snapshot);
#else
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
#endif
    return n;
}

// True while the thread of this process sleeps in a system call (a lock, a poll, a sleep) rather
// than runs: another thread may then count on it being there. Windows tells no thread's state,
// so there it is a thread that used no processor time for 50 ms.
inline bool blockedInKernel(uint64_t tid) {
#ifdef _WIN32
    HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(tid));
    if (thread == nullptr) return false;
    auto busy = [thread] {
        FILETIME created, ended, kernel, user;
        GetThreadTimes(thread, &created, &ended, &kernel, &user);
        return (uint64_t{kernel.dwHighDateTime} << 32 | kernel.dwLowDateTime) +
               (uint64_t{user.dwHighDateTime} << 32 | user.dwLowDateTime);
    };
    const uint64_t before = busy();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const bool idle = busy() == before && WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
    CloseHandle(thread);
    return idle;
#else
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    std::string first;
    return static_cast<bool>(in >> first) && first != "running";
#endif
}

// A pipe: [0] to read, [1] to write; false when the system refuses.
inline bool makePipe(int fds[2]) {
#ifdef _WIN32
    return _pipe(fds, 4096, _O_BINARY) == 0;
#else
    return ::pipe(fds) == 0;
#endif
}
inline long writeFd(int fd, const char* data, unsigned size) {
#ifdef _WIN32
    return _write(fd, data, size);
#else
    return ::write(fd, data, size);
#endif
}
inline void closeFd(int fd) {
#ifdef _WIN32
    _close(fd);
#else
    ::close(fd);
#endif
}

// This test binary started again, with one variable added to its environment (the child looks
// for it before main and does its part instead of running tests).
class ChildProcess {
  public:
    ChildProcess(const std::string& variable, const std::string& value) {
#ifdef _WIN32
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        const std::wstring entry = gf_pathFromUtf8(variable + "=" + value).native();
        std::wstring block;
        wchar_t* env = GetEnvironmentStringsW();
        for (const wchar_t* e = env; *e != L'\0'; e += wcslen(e) + 1) block.append(e).push_back(L'\0');
        FreeEnvironmentStringsW(env);
        block.append(entry).push_back(L'\0');
        block.push_back(L'\0');
        std::wstring commandLine = L"\"" + std::wstring(self) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                            block.data(), nullptr, &startup, &info))
            throw std::runtime_error("cannot start the child process");
        CloseHandle(info.hThread);
        process_ = info.hProcess;
        id_ = info.dwProcessId;
#else
        const std::string entry = variable + "=" + value;
        std::vector<char*> env;
        for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
        env.push_back(const_cast<char*>(entry.c_str()));
        env.push_back(nullptr);
        char exe[] = "/proc/self/exe";
        char* argv[] = {exe, nullptr};
        pid_t pid = 0;
        if (::posix_spawn(&pid, exe, nullptr, nullptr, argv, env.data()) != 0)
            throw std::runtime_error("cannot start the child process");
        id_ = static_cast<uint32_t>(pid);
#endif
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (!waited_) {
            kill();
            wait();
        }
#ifdef _WIN32
        CloseHandle(process_);
#endif
    }

    uint32_t id() const { return id_; }

    // Ends it at once, as a crash would (SIGKILL, TerminateProcess).
    void kill() {
#ifdef _WIN32
        TerminateProcess(process_, killedCode);
#else
        ::kill(static_cast<pid_t>(id_), SIGKILL);
#endif
    }

    // Waits for its end: its exit code, or `killed` when kill() ended it (-1 otherwise abnormal).
    static constexpr int killed = -2;
    int wait() {
        waited_ = true;
#ifdef _WIN32
        WaitForSingleObject(process_, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        return code == killedCode ? killed : static_cast<int>(code);
#else
        int status = 0;
        if (::waitpid(static_cast<pid_t>(id_), &status, 0) != static_cast<pid_t>(id_)) return -1;
        if (WIFSIGNALED(status)) return WTERMSIG(status) == SIGKILL ? killed : -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    }

  private:
#ifdef _WIN32
    static constexpr UINT killedCode = 0xDEAD;
    HANDLE process_ = nullptr;
#endif
    uint32_t id_ = 0;
    bool waited_ = false;
};

}  // namespace vdl::test
