// A small HTTP server on 127.0.0.1 for download tests and benchmarks: fixed answers per path, a
// path that stalls after part of its body, one whose body never ends, and a record of the
// requests seen. One thread, one connection at a time, on the program's own socket layer. No
// gtest here: the benchmarks use it, and the zip writer below.
#pragma once

#include <zip.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/net.h"
#include "foundation/utf8_path.h"

namespace vdl::test {

class LocalHttpServer {
public:
    struct Answer {
        int status = 200;
        std::string body;
        bool stall = false;  // send the headers and half the body, then nothing more
        // No length, and the body sent again and again until the client hangs up (at most
        // endlessCap bytes, so a client that never stops cannot keep the test running).
        bool endless = false;
    };
    static constexpr size_t endlessCap = size_t{1} << 30;

    LocalHttpServer() {
        std::error_code ec;
        listen_ = gf_listenTcp(0, 8, ec);
        if (!listen_) throw std::runtime_error("listen: " + ec.message());
        port_ = gf_localPort(listen_);
        thread_ = std::thread([this] { run(); });
    }

    ~LocalHttpServer() {
        stop_ = true;
        thread_.join();
    }

    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    // "http://127.0.0.1:port/"
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

    void set(const std::string& path, Answer answer) {
        std::lock_guard lock(mutex_);
        answers_[path] = std::move(answer);
    }
    void set(const std::string& path, std::string body) {
        set(path, Answer{200, std::move(body), false, false});
    }
    void setFile(const std::string& path, const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw std::runtime_error("cannot read " + gf_utf8FromPath(file));
        set(path, std::string(std::istreambuf_iterator<char>(in), {}));
    }

    std::vector<std::string> requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::string lastUserAgent() {
        std::lock_guard lock(mutex_);
        return userAgent_;
    }

    // A loopback address on which nobody listens.
    static std::string unreachableBase() {
        std::error_code ec;
        const uint16_t port = gf_localPort(gf_listenTcp(0, 1, ec));  // closed again at once
        return "http://127.0.0.1:" + std::to_string(port) + "/";
    }

private:
    bool waitReadable(const Socket& s, int ms) {
        std::error_code ec;
        return gf_waitReadable(s, nullptr, std::chrono::milliseconds(ms), ec).socket;
    }

    // False when the client is gone.
    bool sendAll(const Socket& s, const char* p, size_t n) { return gf_sendAll(s, std::string_view(p, n)); }

    // What waits on the connection: bytes, or none at its end or an error.
    size_t receive(const Socket& s, char* buf, size_t size) {
        std::error_code ec;
        return gf_receive(s, std::span<char>(buf, size), ec).value_or(0);
    }

    void run() {
        while (!stop_) {
            if (!waitReadable(listen_, 20)) continue;
            const Socket c = gf_acceptTcp(listen_);
            if (!c) continue;
            // A client that stops reading without hanging up (curl under Wine, now and then, after
            // an aborted body) must not hold the one server thread, and the test, for good.
            gf_setSendTimeout(c, std::chrono::seconds(2));
            serve(c);
        }
    }

    void serve(const Socket& c) {
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos && !stop_) {
            if (!waitReadable(c, 20)) continue;
            const size_t n = receive(c, buf, sizeof buf);
            if (n == 0) return;
            request.append(buf, n);
        }
        const auto sp1 = request.find(' ');
        const auto sp2 = request.find(' ', sp1 + 1);
        if (sp1 == std::string::npos || sp2 == std::string::npos) return;
        std::string path = request.substr(sp1 + 2, sp2 - sp1 - 2);  // without the leading '/'
        Answer answer{404, "not found", false, false};
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(path);
            const auto ua = request.find("User-Agent: ");
            if (ua != std::string::npos) userAgent_ = request.substr(ua + 12, request.find("\r\n", ua) - ua - 12);
            auto it = answers_.find(path);
            if (it != answers_.end()) answer = it->second;
        }
        const std::string length =
            answer.endless ? std::string() : "\r\nContent-Length: " + std::to_string(answer.body.size());
        const std::string head = "HTTP/1.1 " + std::to_string(answer.status) +
                                 (answer.status == 200 ? " OK" : " Error") + length +
                                 "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
        sendAll(c, head.data(), head.size());
        if (answer.endless) {
            if (answer.body.empty()) answer.body.assign(65536, 'x');
            for (size_t sent = 0; sent < endlessCap && !stop_; sent += answer.body.size())
                if (!sendAll(c, answer.body.data(), answer.body.size())) return;
            return;
        }
        if (!answer.stall) {
            sendAll(c, answer.body.data(), answer.body.size());
            return;
        }
        sendAll(c, answer.body.data(), answer.body.size() / 2);
        // Hold the connection until the client gives up or the server stops.
        while (!stop_) {
            if (waitReadable(c, 20) && receive(c, buf, sizeof buf) == 0) return;
        }
    }

    Socket listen_;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::map<std::string, Answer> answers_;
    std::vector<std::string> requests_;
    std::string userAgent_;
};

// Writes a real zip with the given entries (name, content); stored uncompressed when asked.
inline void makeZip(const std::filesystem::path& file, const std::vector<std::pair<std::string, std::string>>& entries,
                    bool stored = false) {
    int err = 0;
    zip_t* z = zip_open(gf_utf8FromPath(file).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (z == nullptr) throw std::runtime_error("zip_open");
    for (const auto& [name, content] : entries) {
        zip_source_t* src = zip_source_buffer(z, content.data(), content.size(), 0);
        const zip_int64_t idx = zip_file_add(z, name.c_str(), src, ZIP_FL_OVERWRITE);
        if (idx < 0) {
            zip_source_free(src);
            zip_discard(z);
            throw std::runtime_error("zip_file_add");
        }
        if (stored) zip_set_file_compression(z, static_cast<zip_uint64_t>(idx), ZIP_CM_STORE, 0);
    }
    if (zip_close(z) != 0) {
        zip_discard(z);
        throw std::runtime_error("zip_close");
    }
}

}  // namespace vdl::test
