#include "engine/DownloadManager.h"

#include <unzip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <vector>

#include "engine/UrlTransfer.h"
#include "platform/FileSystem.h"
#include "platform/PathResolver.h"
#include "platform/WindowMessageQueue.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMaxRetries = 5;  // so a request is attempted at most six times
constexpr size_t kChunk = 64 * 1024;
constexpr int kFolderAttempts = 10;
constexpr long kHighestFolderNumber = 999999999;
const char kLockFileName[] = "__Velmar__.dat";
const char kReportPrefix[] = "Download Manager: ";

using Guard = std::lock_guard<CCriticalSection>;

// The text after the last '.' of a name, or the whole name without one.
std::string Extension(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

bool IsArchiveName(const std::string& localName) {
    std::string ext = Extension(localName);
    return SameIgnoringCase(ext, "zip") || SameIgnoringCase(ext, "pak");
}

// A name relative to the cache folder that stays inside it: not empty, not
// absolute, no ".." component. With `folderAllowed` it may end in '/'.
bool StaysInside(const std::string& name, bool folderAllowed) {
    const std::string n = ToSlashes(name);
    if (n.empty() || n[0] == '/') return false;
    if (n.back() == '/' && !folderAllowed) return false;
    size_t pos = 0;
    while (pos <= n.size()) {
        size_t end = n.find('/', pos);
        if (end == std::string::npos) end = n.size();
        if (n.compare(pos, end - pos, "..") == 0 && end - pos == 2) return false;
        pos = end + 1;
    }
    return true;
}

void TruncateFile(const std::string& path) {
    if (std::FILE* empty = std::fopen(path.c_str(), "wb")) std::fclose(empty);
}

// Writes what `read` produces (chunks; 0 at the end, negative on error) to
// `destination`, making its folders when the first open fails. Stops when
// `stop` is set or the budget is spent. On failure the destination is left
// empty, or removed when it did not fit the budget.
template <class Reader>
bool StreamToFile(const std::string& destination, Reader&& read, const std::atomic<bool>& stop,
                  WriteBudget& budget, uint64_t* written) {
    *written = 0;
    std::FILE* out = std::fopen(destination.c_str(), "wb");
    if (!out) {
        MakeFolders(destination);
        out = std::fopen(destination.c_str(), "wb");
    }
    if (!out) return false;
    std::vector<char> buffer(kChunk);
    bool ok = true;
    for (;;) {
        if (stop.load()) {
            ok = false;
            break;
        }
        long n = read(buffer.data(), buffer.size());
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        if (!budget.Take(static_cast<uint64_t>(n))) {
            ok = false;
            break;
        }
        if (std::fwrite(buffer.data(), 1, static_cast<size_t>(n), out) != static_cast<size_t>(n)) {
            ok = false;
            break;
        }
        *written += static_cast<uint64_t>(n);
    }
    if (std::fclose(out) != 0) ok = false;
    if (!ok && budget.Exceeded()) {
        std::error_code ignored;
        std::filesystem::remove(destination, ignored);
    } else if (!ok) {
        TruncateFile(destination);
    }
    return ok;
}

// The message text with `argument` in place of its "%s" and "%%" as '%'.
std::string FillIn(const std::string& format, const std::string& argument) {
    std::string out;
    bool used = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (format[i + 1] == 's' && !used) {
                out += argument;
                used = true;
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

}  // namespace

struct CDownloadManager::Job {
    int32_t id;
    std::string url;
    std::string localName;
    std::string sourcePath;
    uint32_t flags;
    uint64_t sizeLimit;
};

CDownloadManager::CDownloadManager(WindowMessageQueue& window, MessageTexts texts)
    : m_window(window), m_texts(std::move(texts)) {
    ChooseCacheFolder();
    m_worker = std::thread(&CDownloadManager::WorkerLoop, this);
}

CDownloadManager::~CDownloadManager() {
    m_quit = true;
    {
        Guard guard(m_lock);
        m_wakeSignalled = true;
    }
    m_wake.notify_all();
    // The worker checks the quit flag between chunks and aborts a transfer,
    // so this join is short.
    if (m_worker.joinable()) m_worker.join();
    // Erase while the lock is still held, so that no other instance can take
    // the folder over in between.
    if (m_lockFile.Held()) EraseFolder(m_cacheFolder);
    m_lockFile.Release();
    m_cacheFolder.clear();
    m_refresh = false;
    Guard guard(m_lock);
    m_inHand = nullptr;
    m_queue.Clear();
}

void CDownloadManager::ChooseCacheFolder() {
    const std::string temp = TempFolder();
    int highest = 0;
    std::string chosen;
    std::error_code ec;
    for (fs::directory_iterator it(temp, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 8 || name.compare(0, 4, "Velm") != 0 || name.compare(name.size() - 4, 4, ".tmp") != 0)
            continue;
        const std::string folder = temp + name;
        // Only a real folder of ours is reused: never one behind a link or
        // one that another user made.
        if (IsOwnFolder(folder) && m_lockFile.Acquire(folder + "/" + kLockFileName)) {
            chosen = folder;
            break;
        }
        // The number after "Velm", kept within what the name format can
        // count to.
        long number = std::strtol(name.c_str() + 4, nullptr, 10);
        if (number > kHighestFolderNumber) number = kHighestFolderNumber;
        if (number >= highest) highest = static_cast<int>(number);
    }
    // Another instance may make and lock the same new folder at the same
    // moment; then the next number is tried.
    auto folderName = [&temp](int number) {
        char name[32];
        std::snprintf(name, sizeof name, "Velm%05i.tmp", number);
        return temp + name;
    };
    for (int attempt = 1; chosen.empty() && attempt <= kFolderAttempts; ++attempt) {
        const std::string folder = folderName(highest + attempt);
        MakeFolders(folder + "/");
        if (IsOwnFolder(folder) && m_lockFile.Acquire(folder + "/" + kLockFileName)) chosen = folder;
    }
    if (chosen.empty()) chosen = folderName(highest + 1);  // nothing lockable: go on unlocked
    m_cacheFolder = chosen + "/";
    MakeFolders(m_cacheFolder);
}

int32_t CDownloadManager::Enqueue(const char* localName, const std::string& url, int32_t priority, uint32_t flags,
                                  uint64_t sizeLimit) {
    std::string local;
    if (localName) {
        local = localName;
    } else {
        size_t colon = url.find(':');
        size_t slash = url.find_last_of("/\\");
        if (colon == std::string::npos)
            local = url;
        else
            local = url.substr(slash == std::string::npos ? colon + 1 : slash + 1);
    }
    if (flags == 0 && m_refresh) flags = kDownloadRefreshDefaults;

    Guard guard(m_lock);
    auto* request = new DownloadRequest;
    request->id = ++m_idCounter;
    request->url = url;
    request->localName = local;
    request->priority = priority;
    request->flags = flags;
    request->sizeLimit = sizeLimit;
    // In front of the first waiting request of lower priority: equal
    // priorities keep their order, started requests stay in front.
    DownloadRequest* at = m_queue.First();
    while (at && (at == m_inHand || at->started || at->priority >= priority)) at = m_queue.Next();
    if (at)
        m_queue.InsertBeforeCurrent(request);
    else
        m_queue.Append(request);
    ++m_batchTotal;
    return request->id;
}

void CDownloadManager::Start() {
    Guard guard(m_lock);
    if (m_inHand) return;
    DownloadRequest* request = m_queue.First();
    while (request && request->started) request = m_queue.Next();
    if (!request) return;
    m_inHand = request;
    m_startTick = Now();
    // Names with a scheme and absolute paths stand alone; anything else is
    // relative to the base folder.
    const std::string& url = request->url;
    std::string source;
    if (HasUrlScheme(url))
        source = url;
    else if (!url.empty() && (url[0] == '/' || url[0] == '\\'))
        source = ToSlashes(url);
    else
        source = m_baseFolder + ToSlashes(url);
    HandToWorker(request, source);
}

void CDownloadManager::HandToWorker(DownloadRequest* request, const std::string& source) {
    Guard guard(m_lock);
    request->sourcePath = source;
    request->started = true;
    m_wakeSignalled = true;
    m_wake.notify_all();
    m_inHand = nullptr;
}

int CDownloadManager::CountPending() {
    Guard guard(m_lock);
    int pending = 0;
    m_queue.ForEach([&](DownloadRequest* r) { pending += r->started ? 0 : 1; });
    return pending;
}

bool CDownloadManager::QueueEmpty() {
    Guard guard(m_lock);
    return m_queue.IsEmpty();
}

int CDownloadManager::Progress() {
    Guard guard(m_lock);
    if (m_batchTotal == 0) return 0;
    int current = m_inHand ? m_inHand->percent : 0;
    return ((m_batchTotal - CountPending()) * 100 + current) / m_batchTotal;
}

int CDownloadManager::Notify(int code, int value, int total, const std::string& text) {
    Guard guard(m_lock);
    const uint32_t now = Now();
    switch (code) {
    case kHostStarted:
        m_rate = 0.0f;
        m_elapsedMs = static_cast<int32_t>(now - m_startTick);
        m_startTick = now;
        m_hostLabel = text;
        break;
    case kHostProgress:
        if (!m_inHand) break;
        if (total != 0) {
            m_inHand->percent = static_cast<int32_t>(static_cast<int64_t>(value) * 100 / total);
            uint32_t elapsed = now - m_startTick;
            m_rate = static_cast<float>(value) / static_cast<float>(elapsed ? elapsed : 1);
        } else {
            m_inHand->percent = value;
        }
        break;
    case kHostFinished:
        if (m_inHand) HandToWorker(m_inHand, text);
        break;
    case kHostStopped:
        Post(kMsgDownloadStopped, 0);
        break;
    case kHostFailed: {
        if (!m_inHand) break;
        DownloadRequest* request = m_inHand;
        if (request->flags & kDownloadIgnoreFailure) {
            m_inHand = nullptr;
            RemoveLocked(request->id);
            if (m_queue.IsEmpty()) m_batchTotal = 0;
            Start();
        } else if (SameIgnoringCase(Extension(request->url), "zip") && request->url.rfind('.') != std::string::npos) {
            // A host that cannot fetch the .zip tries the same name as .pak.
            request->url.replace(request->url.rfind('.') + 1, std::string::npos, "pak");
            size_t dot = request->localName.rfind('.');
            if (dot != std::string::npos) request->localName.replace(dot + 1, std::string::npos, "pak");
            Post(kMsgDownloadRetry, static_cast<uintptr_t>(request->id));
            m_inHand = nullptr;
        } else {
            ReportFailure(kMsgIdInvalidUrl, request->url);
        }
        break;
    }
    case kHostCannotCreate:
        if (m_inHand) ReportFailure(kMsgIdCannotCreateFile, m_inHand->localName);
        break;
    default:
        break;
    }
    return 0;
}

void CDownloadManager::Clear() {
    m_refresh = false;
    Guard guard(m_lock);
    m_inHand = nullptr;
    m_queue.Clear();
}

std::string CDownloadManager::FormatReport(int messageId, const std::string& argument) const {
    return kReportPrefix + FillIn(m_texts ? m_texts(messageId) : std::string(), argument);
}

void CDownloadManager::ReportFailure(int messageId, const std::string& argument) {
    std::string text = FormatReport(messageId, argument);
    {
        Guard guard(m_lock);
        m_messageText = std::move(text);
        m_inHand = nullptr;
        m_queue.Clear();
    }
    m_failed = 1;
    m_refresh = false;
    Post(kMsgDownloadFailed, static_cast<uintptr_t>(messageId));
}

void CDownloadManager::ReportWarning(int messageId, const std::string& argument) {
    std::string text = FormatReport(messageId, argument);
    {
        Guard guard(m_lock);
        m_messageText = std::move(text);
    }
    Post(kMsgDownloadWarning, static_cast<uintptr_t>(messageId));
}

void CDownloadManager::WorkerLoop() {
    bool lookAgain = false;  // look at the head again without waiting
    for (;;) {
        std::unique_lock<CCriticalSection> lock(m_lock);
        if (!lookAgain) m_wake.wait(lock, [this] { return m_quit.load() || m_wakeSignalled; });
        lookAgain = false;
        if (m_quit) return;
        // Reset before looking at the head, so a Start that signals after
        // this moment is seen on the next round.
        m_wakeSignalled = false;
        DownloadRequest* head = m_queue.head ? m_queue.head->item : nullptr;
        if (!head || !head->started) continue;
        // Work on a copy: Clear or a failure report may delete the request
        // while the copy or transfer runs.
        const Job job{head->id, head->url, head->localName, head->sourcePath, head->flags,
                      head->sizeLimit ? head->sizeLimit : m_sizeLimit.load()};
        lock.unlock();
        const bool done = Perform(job);
        if (m_quit) return;
        lock.lock();
        DownloadRequest* request = FindLocked(job.id);
        if (!request) {
            lookAgain = true;  // forgotten meanwhile: nothing to report
        } else if (done) {
            RemoveLocked(job.id);
            if (m_queue.IsEmpty()) m_batchTotal = 0;
            Post(kMsgDownloadReady, static_cast<uintptr_t>(job.id));
            lookAgain = true;
        } else if (request->flags & kDownloadIgnoreFailure) {
            // An optional file: drop it and let the window start the next.
            RemoveLocked(job.id);
            if (m_queue.IsEmpty()) m_batchTotal = 0;
            Post(kMsgDownloadRetry, static_cast<uintptr_t>(job.id));
            lookAgain = true;
        } else if (request->tries >= kMaxRetries) {
            lock.unlock();
            ReportFailure(kMsgIdInvalidUrl, job.url);
        } else {
            ++request->tries;
            request->flags |= kDownloadRetried;
            request->started = false;
            Post(kMsgDownloadRetry, static_cast<uintptr_t>(job.id));
            lookAgain = true;
        }
    }
}

bool CDownloadManager::Perform(const Job& job) {
    const bool unpack = (job.flags & kDownloadNoUnpack) == 0;
    if (!HasUrlScheme(job.sourcePath))
        return CopyOrUnpackAs(PathResolver::Shared().Resolve(job.sourcePath), job.sourcePath, job.localName, unpack,
                              job.sizeLimit);
    // Transfers land in a file of the cache folder first, then go the way of
    // a local file.
    const std::string received = m_cacheFolder + kLockFileName + "." + std::to_string(job.id) + ".part";
    WriteBudget budget(job.sizeLimit, m_cacheFolder);
    bool done = TransferUrl(job.sourcePath, received, (job.flags & kDownloadRetried) != 0, m_quit, budget) &&
                CopyOrUnpackAs(received, job.url, job.localName, unpack, job.sizeLimit);
    std::error_code ignored;
    fs::remove(received, ignored);
    return done;
}

bool CDownloadManager::CopyOrUnpack(const std::string& source, const std::string& localName, bool unpack) {
    return CopyOrUnpackAs(PathResolver::Shared().Resolve(source), source, localName, unpack, m_sizeLimit);
}

bool CDownloadManager::CopyOrUnpackAs(const std::string& path, const std::string& shownName,
                                      const std::string& localName, bool unpack, uint64_t sizeLimit) {
    // A FIFO or a device would hold the worker for ever.
    if (!IsRegularFile(path)) return false;
    if (unpack && IsArchiveName(localName)) return Unpack(path, shownName, localName, m_cacheFolder, sizeLimit);
    return CopyFile(path, localName, sizeLimit);
}

bool CDownloadManager::CopyFile(const std::string& source, const std::string& localName, uint64_t sizeLimit) {
    if (!StaysInside(localName, false)) {
        ReportFailure(kMsgIdCannotUnpack, localName);
        return false;
    }
    const std::string destination = m_cacheFolder + ToSlashes(localName);
    std::error_code ec;
    if (fs::equivalent(source, destination, ec)) return true;  // already in place; opening it would truncate it
    std::FILE* in = std::fopen(source.c_str(), "rb");
    if (!in) return false;
    uint64_t written = 0;
    WriteBudget budget(sizeLimit, m_cacheFolder);
    bool done = StreamToFile(
        destination,
        [in](char* buffer, size_t size) -> long {
            size_t got = std::fread(buffer, 1, size, in);
            return got == 0 && std::ferror(in) ? -1 : static_cast<long>(got);
        },
        m_quit, budget, &written);
    std::fclose(in);
    return done;
}

bool CDownloadManager::UnpackInto(const std::string& archive, const std::string& localName, const std::string& folder) {
    return Unpack(PathResolver::Shared().Resolve(archive), archive, localName, folder, m_sizeLimit);
}

bool CDownloadManager::Unpack(const std::string& archive, const std::string& shownName, const std::string& localName,
                              const std::string& folder, uint64_t sizeLimit) {
    if (!IsRegularFile(archive)) return false;
    unzFile zip = unzOpen64(archive.c_str());
    if (!zip) return false;
    unz_global_info64 global;
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) {
        unzClose(zip);
        return false;
    }
    // Members in directory order, each streamed to its file. The first one
    // that cannot be written safely and whole fails the request. All of
    // them together share one budget.
    WriteBudget budget(sizeLimit, folder);
    for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK && !m_quit; rc = unzGoToNextFile(zip)) {
        char name[256] = {};
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name - 1, nullptr, 0, nullptr, 0) != UNZ_OK) {
            ReportFailure(kMsgIdCannotUnpack, shownName);
            break;
        }
        const std::string member = name;
        const std::string failure = shownName + ":" + member;
        if (!StaysInside(member, true)) {
            ReportFailure(kMsgIdCannotUnpack, failure);
            break;
        }
        const std::string destination = folder + ToSlashes(member);
        if (destination.back() == '/') {
            MakeFolders(destination);
            continue;
        }
        std::error_code ec;
        // A member that would leave the disk without its margin, or pass the
        // budget, is not begun.
        const fs::space_info space = fs::space(folder, ec);
        if ((!ec && info.uncompressed_size + WriteBudget::kDiskMargin > space.available) ||
            info.uncompressed_size > sizeLimit - budget.Used()) {
            ReportFailure(kMsgIdCannotUnpack, failure);
            break;
        }
        if (fs::exists(destination, ec)) ReportWarning(kMsgIdOverwriting, "(" + localName + ") " + member);
        bool done = false;
        uint64_t written = 0;
        if (unzOpenCurrentFile(zip) == UNZ_OK) {
            done = StreamToFile(
                destination,
                [zip](char* buffer, size_t size) -> long {
                    return unzReadCurrentFile(zip, buffer, static_cast<unsigned>(size));
                },
                m_quit, budget, &written);
            // A member whose data does not match its checksum fails here.
            if (unzCloseCurrentFile(zip) != UNZ_OK) done = false;
        }
        if (m_quit) break;
        if (!done || written != info.uncompressed_size) {
            // What was written is not the member: leave an empty file.
            if (fs::exists(destination, ec)) TruncateFile(destination);
            ReportFailure(kMsgIdCannotUnpack, failure);
            break;
        }
    }
    unzClose(zip);
    return !m_quit;
}

DownloadRequest* CDownloadManager::FindLocked(int32_t id) {
    DownloadRequest* found = nullptr;
    m_queue.ForEach([&](DownloadRequest* r) {
        if (r->id == id) found = r;
    });
    return found;
}

bool CDownloadManager::RemoveLocked(int32_t id) {
    for (DownloadRequest* r = m_queue.First(); r; r = m_queue.Next()) {
        if (r->id == id) {
            m_queue.RemoveCurrent();
            return true;
        }
    }
    return false;
}

void CDownloadManager::SetBaseFolder(const std::string& folder) {
    Guard guard(m_lock);
    m_baseFolder = folder;
}

std::string CDownloadManager::BaseFolder() {
    Guard guard(m_lock);
    return m_baseFolder;
}

std::string CDownloadManager::MessageText() {
    Guard guard(m_lock);
    return m_messageText;
}

std::string CDownloadManager::HostLabel() {
    Guard guard(m_lock);
    return m_hostLabel;
}

int32_t CDownloadManager::BatchTotal() {
    Guard guard(m_lock);
    return m_batchTotal;
}

void CDownloadManager::Post(uint32_t message, uintptr_t wParam) {
    m_window.Post(message, wParam, 0);
}

uint32_t CDownloadManager::Now() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
