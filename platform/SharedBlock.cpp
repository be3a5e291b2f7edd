#include "platform/SharedBlock.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/WindowMessageQueue.h"

namespace {

constexpr size_t kMaxNameLength = 499;
constexpr uint32_t kFirstMessageId = 0xC000;
constexpr size_t kRegistryEntries = 0x4000;  // ids 0xC000 to 0xFFFF
constexpr size_t kRegistryNameSize = 512;
constexpr const char* kRegistryObject = "/qem_registered_messages";
constexpr uint32_t kRegistryMagic = 0x514D5231;  // "QMR1"
constexpr uint32_t kObjectMagic = 0x514D4231;    // "QMB1"
constexpr size_t kMaxAttached = 64;
// Notifications that one wake-up posts at most.
constexpr uint32_t kMaxPostsPerWake = 64;

// ---------------------------------------------------------------------------
// Layouts of the small objects

struct Registry {
    std::atomic<uint32_t> magic;
    uint32_t count;
    pthread_mutex_t lock;
    char names[kRegistryEntries][kRegistryNameSize];
};

struct MutexObject {
    std::atomic<uint32_t> magic;
    pthread_mutex_t mutex;
};

struct Attachment {
    int32_t pid;
    int32_t refs;
};

struct Control {
    std::atomic<uint32_t> magic;
    std::atomic<uint32_t> sequence;  // a futex word: one more per notification
    Attachment attached[kMaxAttached];
};

// A mapped shared-memory object.
struct Mapping {
    Mapping() = default;
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    ~Mapping() {
        if (data) munmap(data, size);
    }
    void* data = nullptr;
    size_t size = 0;
};

enum class Opened { Failed, MapFailed, Existing, New };

// Opens the object, or makes it with `size` bytes when there is none. An
// existing object is mapped with its own size (`size` when `ownSize` is
// false, and then it must be at least that large).
Opened OpenObject(const std::string& object, size_t size, bool ownSize, Mapping& m) {
    bool made = true;
    int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) {
        made = false;
        fd = shm_open(object.c_str(), O_RDWR | O_CLOEXEC, 0);
    }
    if (fd < 0) return Opened::Failed;
    size_t mapSize = size;
    if (made) {
        if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
            close(fd);
            shm_unlink(object.c_str());
            return Opened::Failed;
        }
    } else {
        struct stat st;
        if (fstat(fd, &st) != 0) {
            close(fd);
            return Opened::Failed;
        }
        const size_t real = static_cast<size_t>(st.st_size);
        if (ownSize)
            mapSize = real < static_cast<size_t>(INT32_MAX) ? real : static_cast<size_t>(INT32_MAX);
        else if (real < size && ftruncate(fd, static_cast<off_t>(size)) != 0)  // one left half made
            mapSize = 0;
    }
    void* data = mapSize ? mmap(nullptr, mapSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    close(fd);  // the mapping keeps the object
    if (data == MAP_FAILED) {
        if (made) shm_unlink(object.c_str());
        return Opened::MapFailed;
    }
    m.data = data;
    m.size = mapSize;
    return made ? Opened::New : Opened::Existing;
}

long Futex(std::atomic<uint32_t>* word, int op, uint32_t value, const timespec* timeout) {
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, value, timeout, nullptr, 0);
}

bool InitMutex(pthread_mutex_t* mutex, bool recursive) {
    pthread_mutexattr_t attr;
    if (pthread_mutexattr_init(&attr) != 0) return false;
    bool ok = pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED) == 0 &&
              pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST) == 0 &&
              (!recursive || pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE) == 0);
    ok = ok && pthread_mutex_init(mutex, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return ok;
}

// ---------------------------------------------------------------------------
// The registry: shared by every engine, never removed.

Registry* OpenRegistry() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        Mapping m;
        const Opened opened = OpenObject(kRegistryObject, sizeof(Registry), false, m);
        if (opened == Opened::Failed || opened == Opened::MapFailed) return nullptr;
        auto* r = static_cast<Registry*>(m.data);
        if (opened == Opened::New) {
            if (!InitMutex(&r->lock, false)) return nullptr;
            r->magic.store(kRegistryMagic, std::memory_order_release);
        }
        // Another process may be making it: it has two seconds.
        for (int i = 0; i < 2000 && r->magic.load(std::memory_order_acquire) != kRegistryMagic; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (r->magic.load(std::memory_order_acquire) == kRegistryMagic) {
            m.data = nullptr;  // kept for the rest of the process
            return r;
        }
        // Its maker died before it was ready: it is made again.
        shm_unlink(kRegistryObject);
    }
    return nullptr;
}

Registry* TheRegistry() {
    static Registry* registry = OpenRegistry();
    return registry;
}

// Holds the registry's lock; attaching and letting go of every name happen
// under it, so that no name is made while another process removes it.
class RegistryLock {
public:
    explicit RegistryLock(Registry* r) : m_registry(r) {
        if (!r) return;
        const int result = pthread_mutex_lock(&r->lock);
        if (result == EOWNERDEAD) pthread_mutex_consistent(&r->lock);
        m_held = result == 0 || result == EOWNERDEAD;
    }
    ~RegistryLock() {
        if (m_held) pthread_mutex_unlock(&m_registry->lock);
    }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
    bool Held() const { return m_held; }

private:
    Registry* m_registry;
    bool m_held = false;
};

// The id of the name; the registry's lock is held.
uint32_t RegisterLocked(Registry* r, const std::string& name) {
    if (name.size() >= kRegistryNameSize) return 0;
    const uint32_t count = r->count < kRegistryEntries ? r->count : static_cast<uint32_t>(kRegistryEntries);
    for (uint32_t i = 0; i < count; ++i)
        if (std::strncmp(r->names[i], name.c_str(), kRegistryNameSize) == 0) return kFirstMessageId + i;
    if (count >= kRegistryEntries) return 0;
    std::memset(r->names[count], 0, kRegistryNameSize);
    std::memcpy(r->names[count], name.data(), name.size());
    r->count = count + 1;  // after the name: a death in between leaves an unused entry
    return kFirstMessageId + count;
}

// ---------------------------------------------------------------------------
// Attachments

bool Alive(int32_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno != ESRCH); }

// Forgets processes that died; true when one is still attached.
bool PruneAttached(Control* c) {
    bool any = false;
    for (Attachment& a : c->attached) {
        if (a.pid != 0 && !Alive(a.pid)) a = Attachment{0, 0};
        any = any || a.pid != 0;
    }
    return any;
}

bool AddAttachment(Control* c, int32_t pid) {
    for (Attachment& a : c->attached) {
        if (a.pid == pid) {
            ++a.refs;
            return true;
        }
    }
    for (Attachment& a : c->attached) {
        if (a.pid == 0) {
            a = Attachment{pid, 1};
            return true;
        }
    }
    return false;
}

void RemoveAttachment(Control* c, int32_t pid) {
    for (Attachment& a : c->attached)
        if (a.pid == pid && --a.refs <= 0) a = Attachment{0, 0};
}

const char* const kSuffixes[] = {"", "_mutex", "_mutexhi", "_msgid"};

void UnlinkAll(const std::string& object) {
    for (const char* suffix : kSuffixes) shm_unlink((object + suffix).c_str());
}

// Opens a mutex object, making the mutex when the object is new (or was
// left unfinished).
bool OpenMutex(const std::string& object, Mapping& m, bool& existed) {
    const Opened opened = OpenObject(object, sizeof(MutexObject), false, m);
    if (opened != Opened::New && opened != Opened::Existing) return false;
    auto* o = static_cast<MutexObject*>(m.data);
    existed = o->magic.load(std::memory_order_acquire) == kObjectMagic;
    if (existed) return true;
    if (!InitMutex(&o->mutex, true)) return false;
    o->magic.store(kObjectMagic, std::memory_order_release);
    return true;
}

bool OpenControl(const std::string& object, Mapping& m) {
    const Opened opened = OpenObject(object, sizeof(Control), false, m);
    if (opened != Opened::New && opened != Opened::Existing) return false;
    auto* c = static_cast<Control*>(m.data);
    if (c->magic.load(std::memory_order_acquire) == kObjectMagic) return true;
    std::memset(c->attached, 0, sizeof c->attached);
    c->sequence.store(0);
    c->magic.store(kObjectMagic, std::memory_order_release);
    return true;
}

// The blocks this process is attached to, by object name.
std::mutex g_attachedLock;
std::map<std::string, std::weak_ptr<SharedBlock>> g_attached;

}  // namespace

// ---------------------------------------------------------------------------
// PbmMemoryMutex

bool PbmMemoryMutex::Acquired(int result) {
    if (result == EOWNERDEAD) {
        // Its holder died: the guarded data is taken as it is.
        pthread_mutex_consistent(m_mutex);
        result = 0;
    }
    if (result == 0 && m_holds) ++*m_holds;
    return result == 0;
}

bool PbmMemoryMutex::Lock() { return m_mutex && Acquired(pthread_mutex_lock(m_mutex)); }

bool PbmMemoryMutex::TryLock(int ms) {
    if (!m_mutex) return false;
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += ms / 1000;
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return Acquired(pthread_mutex_timedlock(m_mutex, &deadline));
}

bool PbmMemoryMutex::Unlock() {
    if (!m_mutex || pthread_mutex_unlock(m_mutex) != 0) return false;
    if (m_holds) --*m_holds;
    return true;
}

// ---------------------------------------------------------------------------
// SharedBlock

struct SharedBlock::Parts {
    std::string name;    // as given, cut
    std::string object;  // "/" + the name made safe
    Mapping block, low, high, control;
    std::atomic<bool> stop{false};
    std::atomic<int> lowHolds{0}, highHolds{0};
    bool lowExisted = false, highExisted = false;
    std::thread watcher;
    bool attached = false;  // this process counts in the control object

    Control* Ctl() const { return static_cast<Control*>(control.data); }
};

std::string SharedBlock::ObjectName(const std::string& name) {
    std::string object = "/" + name.substr(0, kMaxNameLength);
    for (size_t i = 1; i < object.size(); ++i)
        if (object[i] == '/') object[i] = '_';
    return object;
}

uint32_t SharedBlock::RegisterMessage(const std::string& name) {
    Registry* r = TheRegistry();
    RegistryLock lock(r);
    return lock.Held() ? RegisterLocked(r, name) : 0;
}

std::shared_ptr<SharedBlock> SharedBlock::Attach(const std::string& name, int32_t size, Outcome& outcome) {
    outcome = CreateFailed;
    if (size < 4) return nullptr;
    const std::string object = ObjectName(name);
    std::lock_guard<std::mutex> attachedLock(g_attachedLock);
    auto known = g_attached.find(object);
    if (known != g_attached.end()) {
        if (std::shared_ptr<SharedBlock> block = known->second.lock()) {
            outcome = Connected;
            return block;
        }
    }

    Registry* r = TheRegistry();
    RegistryLock lock(r);
    if (!lock.Held()) return nullptr;
    std::unique_ptr<Parts> parts(new Parts());
    parts->name = name.substr(0, kMaxNameLength);
    parts->object = object;
    // Whatever fails below, the objects go again when nobody else holds
    // them.
    struct Undo {
        Parts* parts;
        ~Undo() {
            if (!parts) return;
            Control* c = parts->Ctl();
            if (c && parts->attached) RemoveAttachment(c, static_cast<int32_t>(getpid()));
            if (!c || !PruneAttached(c)) UnlinkAll(parts->object);
        }
    } undo{parts.get()};

    if (!OpenControl(object + "_msgid", parts->control)) return nullptr;
    PruneAttached(parts->Ctl());
    if (!AddAttachment(parts->Ctl(), static_cast<int32_t>(getpid()))) return nullptr;
    parts->attached = true;
    const Opened opened = OpenObject(object, static_cast<size_t>(size), true, parts->block);
    if (opened == Opened::Failed) return nullptr;
    if (opened == Opened::MapFailed || parts->block.size < 4) {
        outcome = MapFailed;
        return nullptr;
    }
    if (!OpenMutex(object + "_mutex", parts->low, parts->lowExisted) ||
        !OpenMutex(object + "_mutexhi", parts->high, parts->highExisted))
        return nullptr;
    const uint32_t messageId = RegisterLocked(r, parts->name + "_msgid");
    undo.parts = nullptr;

    outcome = opened == Opened::New ? Created : Connected;
    std::shared_ptr<SharedBlock> block(new SharedBlock(std::move(parts)));
    block->m_messageId = messageId;
    // Notifications from the moment the attachment exists count.
    const uint32_t seen = block->m_parts->Ctl()->sequence.load();
    block->m_parts->watcher = std::thread([raw = block.get(), seen] { raw->Watch(seen); });
    g_attached[object] = block;
    return block;
}

SharedBlock::SharedBlock(std::unique_ptr<Parts> parts) : m_parts(std::move(parts)) {
    m_data = static_cast<uint8_t*>(m_parts->block.data);
    m_size = static_cast<int32_t>(m_parts->block.size);
    m_low = PbmMemoryMutex(&static_cast<MutexObject*>(m_parts->low.data)->mutex, &m_parts->lowHolds,
                           m_parts->lowExisted);
    m_high = PbmMemoryMutex(&static_cast<MutexObject*>(m_parts->high.data)->mutex, &m_parts->highHolds,
                            m_parts->highExisted);
}

SharedBlock::~SharedBlock() {
    Control* c = m_parts->Ctl();
    m_parts->stop.store(true);
    // Every watcher of the name wakes; the others find nothing new.
    Futex(&c->sequence, FUTEX_WAKE, INT_MAX, nullptr);
    if (m_parts->watcher.joinable()) m_parts->watcher.join();
    {
        Registry* r = TheRegistry();
        RegistryLock lock(r);
        RemoveAttachment(c, static_cast<int32_t>(getpid()));
        if (!PruneAttached(c)) UnlinkAll(m_parts->object);
    }
    // A mutex that a thread of this process still holds stays mapped: the
    // system finds it there when that thread ends, and passes it on.
    if (m_parts->lowHolds > 0) m_parts->low.data = nullptr;
    if (m_parts->highHolds > 0) m_parts->high.data = nullptr;
    std::lock_guard<std::mutex> attachedLock(g_attachedLock);
    auto known = g_attached.find(m_parts->object);
    if (known != g_attached.end() && known->second.expired()) g_attached.erase(known);
}

void SharedBlock::Notify() {
    Control* c = m_parts->Ctl();
    c->sequence.fetch_add(1);
    Futex(&c->sequence, FUTEX_WAKE, INT_MAX, nullptr);
}

void SharedBlock::Watch(uint32_t seen) {
    Control* c = m_parts->Ctl();
    while (!m_parts->stop.load()) {
        const timespec wait{0, 200 * 1000000L};
        Futex(&c->sequence, FUTEX_WAIT, seen, &wait);
        const uint32_t now = c->sequence.load();
        if (now == seen || m_parts->stop.load()) continue;
        const uint32_t posts = now - seen < kMaxPostsPerWake ? now - seen : kMaxPostsPerWake;
        seen = now;
        if (m_messageId == 0) continue;
        for (uint32_t i = 0; i < posts; ++i) WindowMessageQueue::EngineWindow().Post(m_messageId, 0, 0);
    }
}

void SharedBlock::Remove(const std::string& name) { UnlinkAll(ObjectName(name)); }
