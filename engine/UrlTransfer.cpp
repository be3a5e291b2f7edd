#include "engine/UrlTransfer.h"

#include <curl/curl.h>

#include <cstdio>
#include <filesystem>
#include <mutex>

#include "platform/FileSystem.h"

namespace {

const char* const kSchemes[] = {"http", "https", "ftp", "file"};

struct Sink {
    std::FILE* file;
    const std::atomic<bool>* stop;
    WriteBudget* budget;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    Sink* sink = static_cast<Sink*>(user);
    // A short count aborts the transfer.
    if (sink->stop->load() || !sink->budget->Take(static_cast<uint64_t>(size) * count)) return 0;
    return std::fwrite(data, size, count, sink->file) * size;
}

// Space is looked at every few megabytes written, not at every write.
constexpr uint64_t kSpaceCheckStep = uint64_t(4) << 20;

int CheckStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Sink*>(user)->stop->load() ? 1 : 0;
}

}  // namespace

bool WriteBudget::Take(uint64_t n) {
    if (m_exceeded) return false;
    if (n > m_limit - m_used) {
        m_exceeded = true;
        return false;
    }
    m_used += n;
    if (m_used >= m_nextSpaceCheck) {
        std::error_code error;
        const std::filesystem::space_info space = std::filesystem::space(m_folder, error);
        if (!error && space.available < kDiskMargin + kSpaceCheckStep) {
            m_exceeded = true;
            return false;
        }
        m_nextSpaceCheck = m_used + kSpaceCheckStep;
    }
    return true;
}

bool HasUrlScheme(const std::string& name) {
    size_t end = name.find("://");
    if (end == std::string::npos) return false;
    for (const char* scheme : kSchemes)
        if (SameIgnoringCase(name.substr(0, end), scheme)) return true;
    return false;
}

bool TransferUrl(const std::string& url, const std::string& destination, bool freshCopy,
                 const std::atomic<bool>& stop, WriteBudget& budget) {
    // libcurl's global set-up is not thread-safe; do it once, before the
    // first handle.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    std::FILE* file = std::fopen(destination.c_str(), "wb");
    if (!file) return false;
    CURL* curl = curl_easy_init();
    if (!curl) {
        std::fclose(file);
        return false;
    }
    Sink sink{file, &stop, &budget};
    curl_slist* headers = nullptr;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https,ftp,file");
    // A redirect may never lead to a local file.
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 30000L);
    // A transfer slower than 1 byte per second for a minute is dead.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckStop);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &sink);
    if (freshCopy) {
        headers = curl_slist_append(headers, "Cache-Control: no-cache");
        headers = curl_slist_append(headers, "Pragma: no-cache");
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    }
    CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    bool closed = std::fclose(file) == 0;
    return result == CURLE_OK && closed && !stop.load();
}
