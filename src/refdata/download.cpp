#include "refdata/download.h"

#include <fmt/format.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <new>
#include <system_error>

#include "foundation/file_system.h"
#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/utf8_path.h"
#include "foundation/version.h"
#include "refdata/zip_archive.h"

namespace vdl {

namespace {

constexpr uint64_t bytesPerMb = 1024 * 1024;

// Guards the test base, the timeouts and the notice state.
std::mutex serverMutex;
std::optional<std::string> testBase;
DownloadTimeouts timeoutsInUse;
std::optional<std::string> noticedSetting;  // the UPDATE_SERVER value last reported as unusable

void lf_curlGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool lf_startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

// UPDATE_SERVER as a base address: https with a host, nothing that would spoil the paths
// appended to it; a trailing '/' added.
std::optional<std::string> lf_httpsBase(std::string_view setting) {
    constexpr std::string_view scheme = "https://";
    if (!lf_startsWithNoCase(setting, scheme)) return std::nullopt;
    const std::string_view rest = setting.substr(scheme.size());
    if (rest.empty() || rest.front() == '/') return std::nullopt;
    for (unsigned char c : setting)
        if (c <= ' ' || c == 0x7F || c == '?' || c == '#' || c == '"' || c == '\\') return std::nullopt;
    std::string base(setting);
    if (base.back() != '/') base += '/';
    return base;
}

enum class SinkFault { None, Write, TooLarge, NoMemory };

// Where the body goes: a file or a string, with the text-mode line-end fold and the size cap.
struct Sink {
    std::FILE* file = nullptr;
    std::string* text = nullptr;
    bool textMode = false;
    bool pendingCr = false;  // a CR at the end of the last chunk, held until we see what follows
    uint64_t limit = 0;
    uint64_t received = 0;
    SinkFault fault = SinkFault::None;

    bool put(const char* p, size_t n) {
        if (n == 0) return true;
        if (file != nullptr) {
            if (std::fwrite(p, 1, n, file) != n) return false;
        } else {
            text->append(p, n);
        }
        return true;
    }

    bool write(const char* p, size_t n) {
        if (!textMode) return put(p, n);
        size_t start = 0;
        if (pendingCr) {
            pendingCr = false;
            if (n > 0 && p[0] != '\n' && !put("\r", 1)) return false;
        }
        for (size_t i = 0; i < n; ++i) {
            if (p[i] != '\r') continue;
            if (i + 1 == n) {
                if (!put(p + start, i - start)) return false;
                pendingCr = true;
                return true;
            }
            if (p[i + 1] == '\n') {
                if (!put(p + start, i - start)) return false;
                start = i + 1;
            }
        }
        return put(p + start, n - start);
    }

    bool finish() {
        if (pendingCr) {
            pendingCr = false;
            return put("\r", 1);
        }
        return true;
    }
};

// Called from inside libcurl's C code: nothing may be thrown through it. Answering fewer bytes
// than given makes curl stop with CURLE_WRITE_ERROR.
size_t lf_writeCallback(char* ptr, size_t size, size_t nmemb, void* userdata) noexcept {
    auto* sink = static_cast<Sink*>(userdata);
    const size_t n = size * nmemb;
    if (n > sink->limit - sink->received) {
        sink->fault = SinkFault::TooLarge;
        return 0;
    }
    sink->received += n;
    try {
        if (!sink->write(ptr, n)) {
            sink->fault = SinkFault::Write;
            return 0;
        }
    } catch (const std::bad_alloc&) {
        sink->fault = SinkFault::NoMemory;
        return 0;
    } catch (...) {
        sink->fault = SinkFault::Write;
        return 0;
    }
    return n;
}

// Only https, unless a test serves from loopback http.
bool lf_urlAllowed(std::string_view url, bool plainHttp) {
    return lf_startsWithNoCase(url, "https://") || (plainHttp && lf_startsWithNoCase(url, "http://"));
}

// One transfer on the handle given; the handle is reset first so no earlier option leaks in.
bool lf_transfer(CURL* curl, const std::string& url, Sink& sink) {
    const DownloadTimeouts t = gf_downloadTimeouts();
    bool plainHttp = false;
    {
        std::lock_guard lock(serverMutex);
        plainHttp = testBase.has_value();
    }
    if (!lf_urlAllowed(url, plainHttp)) {
        gf_logError(fmt::format("download of \"{}\" refused: only https addresses are fetched", url));
        return false;
    }
    sink.limit = gf_downloadLimitBytes();
    sink.received = 0;
    sink.fault = SinkFault::None;
    const std::string agent = fmt::format("{}/{}", programName, programVersion.text());
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, plainHttp ? "http,https" : "https");
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, lf_writeCallback);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // timeouts without SIGALRM: safe on any thread
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(t.connect.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(t.transfer.count()));
    // A declared length over the cap fails before any byte is taken; the sink counts the rest.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(sink.limit));
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (rc == CURLE_OK && sink.fault == SinkFault::None) {
        try {
            if (sink.finish()) return true;
        } catch (const std::bad_alloc&) {
            sink.fault = SinkFault::NoMemory;
        }
    }
    std::string why;
    if (sink.fault == SinkFault::TooLarge || rc == CURLE_FILESIZE_EXCEEDED)
        why = fmt::format("larger than {} MB (DOWNLOAD_LIMIT_MB)", sink.limit / bytesPerMb);
    else if (sink.fault == SinkFault::NoMemory)
        why = "out of memory";
    else
        why = errorText[0] != '\0' ? errorText : curl_easy_strerror(rc);
    gf_logError(fmt::format("download of \"{}\" failed: {}", url, why));
    return false;
}

void lf_removeQuietly(const std::filesystem::path& p) {
    std::error_code ec;
    std::filesystem::remove(p, ec);
}

}  // namespace

std::string gf_serverBase() {
    const std::string setting = UPDATE_SERVER.value();
    std::string notice;
    bool refused = false;
    {
        std::lock_guard lock(serverMutex);
        if (testBase) return *testBase;
        if (auto base = lf_httpsBase(setting)) return *base;
        // Said once for each value, and only into an open log, so that the notice is not spent
        // before Log.txt exists.
        if (noticedSetting != setting && gf_logIsOpen()) {
            noticedSetting = setting;
            refused = !setting.empty();
            if (!refused)
                notice = "no update server set (UPDATE_SERVER): nothing is updated or downloaded";
            else
                notice = fmt::format(
                    "update server \"{}\" refused (UPDATE_SERVER): only https addresses "
                    "are used; nothing is updated or downloaded",
                    setting);
        }
    }
    if (refused)
        gf_logError(notice);
    else if (!notice.empty())
        gf_log(notice);
    return {};
}

void gf_setServerBaseForTests(std::string base) {
    if (!base.empty() && base.back() != '/') base += '/';
    std::lock_guard lock(serverMutex);
    testBase = std::move(base);
}

uint64_t gf_downloadLimitBytes() {
    return static_cast<uint64_t>(DOWNLOAD_LIMIT_MB.value()) * bytesPerMb;
}

DownloadTimeouts gf_downloadTimeouts() {
    std::lock_guard lock(serverMutex);
    return timeoutsInUse;
}

void gf_setDownloadTimeouts(DownloadTimeouts timeouts) {
    std::lock_guard lock(serverMutex);
    timeoutsInUse = timeouts;
}

void gf_restoreDownloadSettings() {
    std::lock_guard lock(serverMutex);
    testBase.reset();
    timeoutsInUse = DownloadTimeouts{};
    noticedSetting.reset();
}

CurlHandle::CurlHandle() {
    lf_curlGlobalInit();
    curl_ = curl_easy_init();
}

CurlHandle::~CurlHandle() {
    if (curl_ != nullptr) curl_easy_cleanup(curl_);
}

bool gf_download(CURL* curl, const std::string& url, const std::filesystem::path& dest, bool binary) {
    if (curl == nullptr) return gf_download(url, dest, binary);
    std::filesystem::path part = dest;
    part += ".part";
    std::FILE* file = gf_openFile(part, "wb");
    if (file == nullptr) {
        gf_logError(fmt::format("download of \"{}\" failed: cannot create \"{}\"", url, gf_utf8FromPath(part)));
        return false;
    }
    Sink sink;
    sink.file = file;
    sink.textMode = !binary;
    bool ok = lf_transfer(curl, url, sink);
    if (std::fclose(file) != 0 && ok) {
        gf_logError(fmt::format("download of \"{}\" failed: cannot write \"{}\"", url, gf_utf8FromPath(part)));
        ok = false;
    }
    if (ok) {
        std::error_code ec;
        std::filesystem::rename(part, dest, ec);
        if (ec) {
            gf_logError(fmt::format("download of \"{}\" failed: cannot rename to \"{}\": {}", url, gf_utf8FromPath(dest),
                                    ec.message()));
            ok = false;
        }
    }
    if (!ok) lf_removeQuietly(part);
    return ok;
}

bool gf_download(const std::string& url, const std::filesystem::path& dest, bool binary) {
    CurlHandle handle;
    if (!handle) {
        gf_logError(fmt::format("download of \"{}\" failed: no curl handle", url));
        return false;
    }
    return gf_download(handle.get(), url, dest, binary);
}

std::optional<std::string> gf_downloadText(const std::string& url) {
    CurlHandle handle;
    if (!handle) {
        gf_logError(fmt::format("download of \"{}\" failed: no curl handle", url));
        return std::nullopt;
    }
    std::string body;
    Sink sink;
    sink.text = &body;
    if (!lf_transfer(handle.get(), url, sink)) return std::nullopt;
    return body;
}

bool gf_downloadUnzip(const std::string& zipName, const std::filesystem::path& outputPath) {
    const std::filesystem::path zipPath = gf_pathFromUtf8(zipName).filename();
    if (zipPath.empty() || zipPath != gf_pathFromUtf8(zipName)) {
        gf_logError(fmt::format("gf_downloadUnzip: bad zip name \"{}\"", zipName));
        return false;
    }
    const std::string base = gf_serverBase();
    if (base.empty()) return false;  // the notice is in the log
    if (!gf_download(base + zipName, zipPath, true)) {
        lf_removeQuietly(zipPath);
        return false;
    }
    std::filesystem::path part = outputPath;
    part += ".part";
    bool ok = false;
    {
        ZipArchive zip(zipPath);
        if (!zip.open()) {
            gf_logError(zip.error());
        } else {
            std::ofstream out(part, std::ios::binary | std::ios::trunc);
            if (!out) {
                gf_logError(fmt::format("gf_downloadUnzip: cannot create \"{}\"", gf_utf8FromPath(part)));
            } else {
                ok = true;
                int files = 0;
                // The cap holds for the whole output, not for each entry.
                uint64_t left = gf_unzipLimitBytes();
                for (const auto& entry : zip.entries()) {
                    if (entry.isDirectory()) continue;
                    ++files;
                    zip.setSizeLimit(left);
                    if (!zip.readToStream(entry, out)) {
                        gf_logError(zip.error());
                        ok = false;
                        break;
                    }
                    left -= entry.size;
                }
                out.close();
                if (out.fail()) ok = false;
                if (ok && files == 0) {
                    gf_logError(fmt::format("gf_downloadUnzip: \"{}\" holds no file", zipName));
                    ok = false;
                }
            }
        }
    }
    if (ok) {
        std::error_code ec;
        std::filesystem::rename(part, outputPath, ec);
        if (ec) {
            gf_logError(fmt::format("gf_downloadUnzip: cannot write \"{}\": {}", gf_utf8FromPath(outputPath), ec.message()));
            ok = false;
        }
    }
    if (!ok) lf_removeQuietly(part);
    lf_removeQuietly(zipPath);
    return ok;
}

std::string gf_serverFolder(bool msfs2020Folder) {
    const std::string base = gf_serverBase();
    if (base.empty()) return {};
    std::string folder = base;
    folder += msfs2020Folder || MSFS_2020.value() ? serverFolder2020 : serverFolder2024;
    return folder;
}

}  // namespace vdl
