// Downloads from the program's update server (libcurl, one easy handle per transfer) and the
// unpacking of its zip files.
#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vdl {

// The simulator folders on the server.
inline constexpr std::string_view serverFolder2020 = "vizozaradu20/";
inline constexpr std::string_view serverFolder2024 = "vizozaradu24/";

// The update server's base address with its trailing '/': UPDATE_SERVER when that is an https
// address, else empty: then nothing is downloaded, which is logged once for each value of the
// setting (none set, or refused for not being https). A test's base replaces the setting.
std::string gf_serverBase();
// Tests serve from loopback http: their base is taken as given, and while one is set plain
// http addresses pass the https-only check of the downloads. gf_restoreDownloadSettings ends it.
void gf_setServerBaseForTests(std::string base);

// DOWNLOAD_LIMIT_MB in bytes: a longer body fails the download.
uint64_t gf_downloadLimitBytes();

// Without limits a stalled server would freeze the 10 ms main loop, which downloads stand files.
struct DownloadTimeouts {
    std::chrono::milliseconds connect{5000};
    std::chrono::milliseconds transfer{20000};
};
DownloadTimeouts gf_downloadTimeouts();
void gf_setDownloadTimeouts(DownloadTimeouts timeouts);
// The server base, the timeouts and the once-only notices back to their defaults (part of
// gf_resetRefdata).
void gf_restoreDownloadSettings();

// One easy handle; a caller that keeps one for a transfer passes it to gf_download.
class CurlHandle {
public:
    CurlHandle();
    ~CurlHandle();
    CurlHandle(const CurlHandle&) = delete;
    CurlHandle& operator=(const CurlHandle&) = delete;
    CURL* get() const { return curl_; }
    explicit operator bool() const { return curl_ != nullptr; }

private:
    CURL* curl_ = nullptr;
};

// Fetches url into dest. Binary mode keeps the bytes; text mode writes line ends as "\n"
// (a CR before LF is dropped). Only https addresses are fetched. HTTP errors (404, ...),
// timeouts and a body over gf_downloadLimitBytes fail. The file is written under a temporary
// name and renamed only on success, so a failure leaves dest as it was and no partial file.
// Failures are logged. A null handle makes one for this transfer.
bool gf_download(CURL* curl, const std::string& url, const std::filesystem::path& dest, bool binary);
bool gf_download(const std::string& url, const std::filesystem::path& dest, bool binary);

// The body of url as text (binary-exact); none on failure (logged).
std::optional<std::string> gf_downloadText(const std::string& url);

// Downloads zipName from the server base into the working folder, writes the text of its file
// entries (in archive order) into outputPath, and removes the zip in every case. outputPath is
// replaced only when everything succeeded. False without a server base, on a download or unzip
// failure (logged), and when the entries together pass gf_unzipLimitBytes.
bool gf_downloadUnzip(const std::string& zipName, const std::filesystem::path& outputPath);

// The server base followed by the 2020 simulator folder when asked for or when the program runs
// for the 2020 simulator, else by the 2024 folder; empty without a server base.
std::string gf_serverFolder(bool msfs2020Folder);

}  // namespace vdl
