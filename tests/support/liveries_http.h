// A small HTTP file server on 127.0.0.1 and a zip writer, for the livery tests and benchmarks
// that fetch AIG-regcodes.zip through the real download path. No gtest here: the benchmarks use it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zip.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace vdl::test {

// Serves the bodies it was given by path ("/AIG-regcodes.zip"); anything else is a 404.
class LoopbackFileServer {
  public:
    LoopbackFileServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (listener_ < 0) throw std::runtime_error("socket failed");
        int one = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listener_, 16) != 0) {
            ::close(listener_);
            throw std::runtime_error("bind/listen failed");
        }
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackFileServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    LoopbackFileServer(const LoopbackFileServer&) = delete;
    LoopbackFileServer& operator=(const LoopbackFileServer&) = delete;

    // "http://127.0.0.1:{port}/"
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

    void put(const std::string& path, std::string body) {
        std::lock_guard lock(filesMutex_);
        files_[path] = std::move(body);
    }
    void putFile(const std::string& path, const std::filesystem::path& file) {
        FILE* f = std::fopen(file.c_str(), "rb");
        if (!f) throw std::runtime_error("cannot read " + file.string());
        std::string body;
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) body.append(buf, n);
        std::fclose(f);
        put(path, std::move(body));
    }
    int requests() const { return requests_.load(); }

  private:
    void serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            int c = ::accept(listener_, nullptr, nullptr);
            if (c < 0) continue;
            handle(c);
            ::close(c);
        }
    }
    void handle(int c) {
        std::string request;
        char buf[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd p{c, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) return;
            ssize_t n = ::recv(c, buf, sizeof buf, 0);
            if (n <= 0) return;
            request.append(buf, static_cast<size_t>(n));
        }
        ++requests_;
        std::string path;
        if (request.rfind("GET ", 0) == 0) path = request.substr(4, request.find(' ', 4) - 4);
        std::string body;
        bool found = false;
        {
            std::lock_guard lock(filesMutex_);
            auto it = files_.find(path);
            if (it != files_.end()) {
                body = it->second;
                found = true;
            }
        }
        std::string head = found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n";
        if (!found) body = "not found";
        head += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
        sendAll(c, head);
        sendAll(c, body);
    }
    static void sendAll(int c, const std::string& data) {
        size_t sent = 0;
        while (sent < data.size()) {
            ssize_t n = ::send(c, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<size_t>(n);
        }
    }

    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> requests_{0};
    std::mutex filesMutex_;
    std::map<std::string, std::string> files_;
    std::thread thread_;
};

// A zip file with one entry holding `content`.
inline void writeZip(const std::filesystem::path& zipPath, const std::string& entryName,
                     const std::string& content) {
    int err = 0;
    zip_t* za = zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!za) throw std::runtime_error("zip_open failed");
    zip_source_t* src = zip_source_buffer(za, content.data(), content.size(), 0);
    if (!src || zip_file_add(za, entryName.c_str(), src, ZIP_FL_OVERWRITE) < 0) {
        if (src) zip_source_free(src);
        zip_discard(za);
        throw std::runtime_error("zip_file_add failed");
    }
    if (zip_close(za) != 0) {
        zip_discard(za);
        throw std::runtime_error("zip_close failed");
    }
}

}  // namespace vdl::test
