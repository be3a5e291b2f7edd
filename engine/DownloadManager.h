// The download manager and its file cache. Every file a script or the engine
// asks for is first brought into a private cache folder under the temporary
// folder and read from there. A "download" of a plain name is a copy from the
// base folder; a name with a scheme (http, https, ftp, file) is transferred;
// an archive (".zip" or ".pak" local name) is unpacked into the cache.
//
// One worker thread fills the cache from a priority queue. The manager never
// calls back: it posts window messages to the engine window, whose owner
// reacts on its own thread (kMsgDownloadReady, then Start; kMsgDownloadRetry,
// then Start; kMsgDownloadFailed stops the module with MessageText()).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/CriticalSection.h"
#include "platform/FolderLock.h"
#include "vm/PtrList.h"

class WindowMessageQueue;

// Messages posted to the engine window; wParam as noted, lParam 0.
enum DownloadWindowMessage : uint32_t {
    kMsgDownloadReady = 1035,    // a request completed; wParam = request id
    kMsgDownloadFailed = 1036,   // failed for good, queue cleared; wParam = message id
    kMsgDownloadStopped = 1037,  // an outside host stopped its transfer
    // 1038 is reserved and never posted.
    kMsgDownloadRetry = 1039,    // the request is waiting again; wParam = request id
    kMsgDownloadWarning = 1040,  // warning in MessageText(); wParam = message id
};

// Message ids of the machine's string table that the manager reports.
enum DownloadMessageId : int {
    kMsgIdCannotCreateFile = 2031,  // "Cannot create the '%s' file."
    kMsgIdInvalidUrl = 2060,        // "Invalid URL: '%s'."
    kMsgIdCannotUnpack = 2061,      // "Cannot unpak the file: '%s'."
    kMsgIdOverwriting = 4007,       // "Overwriting file %s."
};

// Request flag bits.
enum DownloadFlags : uint32_t {
    kDownloadRetried = 0x10,              // set on every retry: ask for a fresh copy
    kDownloadIgnoreFailure = 0x10000000,  // a failed request is dropped, not reported
    kDownloadNoUnpack = 0x20000000,       // copy an archive instead of unpacking it
    kDownloadRefreshDefaults = 0x80053,   // flags 0 become these while refresh is on
};

// One queued file.
struct DownloadRequest {
    int32_t id = 0;
    std::string url;         // exactly as given
    std::string localName;   // name under the cache folder, '\\' or '/' separated
    std::string sourcePath;  // set when the request is started
    int32_t percent = 0;     // progress reported by an outside host
    int32_t priority = 0;    // larger first
    int32_t tries = 0;       // failed attempts so far
    bool started = false;    // handed to the worker
    uint32_t flags = 0;
    uint64_t sizeLimit = 0;  // bytes it may bring in; 0: the manager's limit
};

class CDownloadManager {
public:
    // Text of a string-table message id (printf form, one "%s"); an id
    // without text gives "". The engine machine passes its string table.
    using MessageTexts = std::function<std::string(int messageId)>;

    // Chooses or makes the cache folder and starts the worker.
    explicit CDownloadManager(WindowMessageQueue& window, MessageTexts texts = {});
    // Stops the worker (an ongoing copy or transfer is abandoned) and
    // deletes the cache folder.
    virtual ~CDownloadManager();
    CDownloadManager(const CDownloadManager&) = delete;
    CDownloadManager& operator=(const CDownloadManager&) = delete;

    // Queues a request (not started) and answers its id. Without a local
    // name, a url without ':' is its own local name, else the text after its
    // last '/' or '\\' (after the ':' when it has neither). `sizeLimit`
    // bounds what it may bring in (0: the manager's limit).
    int32_t Enqueue(const char* localName, const std::string& url, int32_t priority, uint32_t flags,
                    uint64_t sizeLimit = 0);
    // Hands the first waiting request to the worker; nothing when none waits.
    void Start();
    // Queued requests not yet started.
    int CountPending();
    // True when no request is queued, started or not (every download done).
    bool QueueEmpty();
    // Per cent of the batch done; a started request counts as done.
    int Progress();
    // What an outside host that does its own transfers reports.
    enum HostNotice : int {
        kHostStarted = 1,        // text: the host's label
        kHostProgress = 2,       // value of total (total 0: value is per cent)
        kHostFinished = 3,       // text: the received file
        kHostStopped = 4,
        kHostFailed = 5,
        kHostCannotCreate = 6,
    };
    // Report of an outside host (a HostNotice code); answers 0.
    int Notify(int code, int value, int total, const std::string& text);
    // Forgets every queued request (the batch total stays).
    void Clear();
    // Store "Download Manager: " + the message text with `argument` in
    // MessageText(), then post kMsgDownloadFailed (after clearing the queue)
    // or kMsgDownloadWarning.
    void ReportFailure(int messageId, const std::string& argument);
    void ReportWarning(int messageId, const std::string& argument);

    // Copies `source` to the local name in the cache, or, when `unpack` is
    // set and the local name ends in ".zip" or ".pak", unpacks the archive's
    // members into the cache. False when the attempt failed and may be
    // retried; problems that retrying cannot mend are reported here.
    bool CopyOrUnpack(const std::string& source, const std::string& localName, bool unpack);
    // Unpacks the zip archive at `archive` into `folder` (with a trailing
    // separator) as CopyOrUnpack unpacks into the cache; `localName` names
    // the archive in reports.
    bool UnpackInto(const std::string& archive, const std::string& localName, const std::string& folder);

    // What one request may bring into the cache at most: the bytes of a
    // transfer or a copy, or of all members of an archive together. Past it
    // (or when the disk would keep less than WriteBudget::kDiskMargin free)
    // the attempt fails and is retried as any failed attempt; what it wrote
    // goes.
    static constexpr uint64_t kDefaultSizeLimit = uint64_t(1) << 30;
    void SetSizeLimit(uint64_t bytes) { m_sizeLimit = bytes; }
    uint64_t SizeLimit() const { return m_sizeLimit; }

    // The folder urls are resolved against, with a trailing separator.
    void SetBaseFolder(const std::string& folder);
    std::string BaseFolder();
    void SetRefresh(bool on) { m_refresh = on; }
    bool Refresh() const { return m_refresh; }
    // The cache folder with a trailing '/'.
    const std::string& CacheFolder() const { return m_cacheFolder; }
    bool HoldsCacheLock() const { return m_lockFile.Held(); }
    std::string MessageText();
    int Failed() const { return m_failed; }
    std::string HostLabel();
    int32_t ElapsedMs() const { return m_elapsedMs; }
    float Rate() const { return m_rate; }
    int32_t BatchTotal();

private:
    struct Job;

    void ChooseCacheFolder();
    void WorkerLoop();
    bool Perform(const Job& job);
    // CopyOrUnpack of the file at `path`, named `shownName` in reports.
    bool CopyOrUnpackAs(const std::string& path, const std::string& shownName, const std::string& localName,
                        bool unpack, uint64_t sizeLimit);
    bool Unpack(const std::string& archive, const std::string& shownName, const std::string& localName,
                const std::string& folder, uint64_t sizeLimit);
    bool CopyFile(const std::string& source, const std::string& localName, uint64_t sizeLimit);
    DownloadRequest* FindLocked(int32_t id);
    bool RemoveLocked(int32_t id);
    void HandToWorker(DownloadRequest* request, const std::string& source);
    std::string FormatReport(int messageId, const std::string& argument) const;
    void Post(uint32_t message, uintptr_t wParam);
    static uint32_t Now();

    DownloadRequest* m_inHand = nullptr;
    PtrList<DownloadRequest> m_queue;
    int32_t m_batchTotal = 0;
    std::atomic<bool> m_refresh{false};
    std::string m_cacheFolder;
    CCriticalSection m_lock;
    std::thread m_worker;
    std::condition_variable_any m_wake;
    bool m_wakeSignalled = false;
    std::string m_baseFolder;
    std::atomic<bool> m_quit{false};
    uint32_t m_startTick = 0;
    FolderLock m_lockFile;
    WindowMessageQueue& m_window;
    std::string m_messageText;
    std::atomic<int> m_failed{0};
    std::atomic<uint64_t> m_sizeLimit{kDefaultSizeLimit};
    std::string m_hostLabel;
    std::atomic<int32_t> m_elapsedMs{0};
    std::atomic<float> m_rate{0.0f};
    int32_t m_idCounter = 0;
    MessageTexts m_texts;
};
