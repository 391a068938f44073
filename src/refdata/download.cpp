#include "refdata/download.h"

#include <fmt/format.h>

#include <cstdio>
#include <fstream>
#include <mutex>
#include <system_error>

#include "foundation/log.h"
#include "foundation/parameters.h"
#include "foundation/version.h"
#include "refdata/zip_archive.h"

namespace vdl {

namespace {

std::mutex serverMutex;
std::string serverBaseInUse{updateServerBase};
DownloadTimeouts timeoutsInUse;

void lf_curlGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Where the body goes: a file or a string, with the text-mode line-end fold.
struct Sink {
    std::FILE* file = nullptr;
    std::string* text = nullptr;
    bool textMode = false;
    bool pendingCr = false;  // a CR at the end of the last chunk, held until we see what follows
    bool failed = false;

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

size_t lf_writeCallback(char* ptr, size_t size, size_t nmemb, void* userdata) {
    auto* sink = static_cast<Sink*>(userdata);
    const size_t n = size * nmemb;
    if (!sink->write(ptr, n)) {
        sink->failed = true;
        return 0;  // makes curl stop with CURLE_WRITE_ERROR
    }
    return n;
}

// One transfer on the handle given; the handle is reset first so no earlier option leaks in.
bool lf_transfer(CURL* curl, const std::string& url, Sink& sink) {
    const DownloadTimeouts t = gf_downloadTimeouts();
    const std::string agent = fmt::format("{}/{}", programName, programVersion.text());
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, lf_writeCallback);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // timeouts without SIGALRM: safe on any thread
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(t.connect.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(t.transfer.count()));
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (rc == CURLE_OK && sink.finish()) return true;
    gf_logError(fmt::format("download of \"{}\" failed: {}", url,
                            errorText[0] != '\0' ? errorText : curl_easy_strerror(rc)));
    return false;
}

void lf_removeQuietly(const std::filesystem::path& p) {
    std::error_code ec;
    std::filesystem::remove(p, ec);
}

}  // namespace

std::string gf_serverBase() {
    std::lock_guard lock(serverMutex);
    return serverBaseInUse;
}

void gf_setServerBaseForTests(std::string base) {
    if (!base.empty() && base.back() != '/') base += '/';
    std::lock_guard lock(serverMutex);
    serverBaseInUse = std::move(base);
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
    serverBaseInUse = std::string(updateServerBase);
    timeoutsInUse = DownloadTimeouts{};
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
    std::FILE* file = std::fopen(part.c_str(), "wb");
    if (file == nullptr) {
        gf_logError(fmt::format("download of \"{}\" failed: cannot create \"{}\"", url, part.string()));
        return false;
    }
    Sink sink;
    sink.file = file;
    sink.textMode = !binary;
    bool ok = lf_transfer(curl, url, sink);
    if (std::fclose(file) != 0 && ok) {
        gf_logError(fmt::format("download of \"{}\" failed: cannot write \"{}\"", url, part.string()));
        ok = false;
    }
    if (ok) {
        std::error_code ec;
        std::filesystem::rename(part, dest, ec);
        if (ec) {
            gf_logError(fmt::format("download of \"{}\" failed: cannot rename to \"{}\": {}", url, dest.string(),
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
    const std::filesystem::path zipPath = std::filesystem::path(zipName).filename();
    if (zipPath.empty() || zipPath != std::filesystem::path(zipName)) {
        gf_logError(fmt::format("gf_downloadUnzip: bad zip name \"{}\"", zipName));
        return false;
    }
    if (!gf_download(gf_serverBase() + zipName, zipPath, true)) {
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
                gf_logError(fmt::format("gf_downloadUnzip: cannot create \"{}\"", part.string()));
            } else {
                ok = true;
                int files = 0;
                for (const auto& entry : zip.entries()) {
                    if (entry.isDirectory()) continue;
                    ++files;
                    if (!zip.readToStream(entry, out)) {
                        gf_logError(zip.error());
                        ok = false;
                        break;
                    }
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
            gf_logError(fmt::format("gf_downloadUnzip: cannot write \"{}\": {}", outputPath.string(), ec.message()));
            ok = false;
        }
    }
    if (!ok) lf_removeQuietly(part);
    lf_removeQuietly(zipPath);
    return ok;
}

std::string gf_serverFolder(bool msfs2020Folder) {
    return gf_serverBase() + std::string(msfs2020Folder || MSFS_2020.value() ? serverFolder2020 : serverFolder2024);
}

}  // namespace vdl
