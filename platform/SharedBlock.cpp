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

#include "platform/BlockingWait.h"
#include "platform/FaultGuard.h"
#include "platform/WindowMessageQueue.h"

namespace {

constexpr size_t kMaxNameLength = 499;
constexpr uint32_t kFirstMessageId = 0xC000;
constexpr size_t kRegistryEntries = 0x4000;  // ids 0xC000 to 0xFFFF
constexpr size_t kRegistryNameSize = 512;
std::string g_registryObject = "/qem_message_registry";
constexpr uint32_t kRegistryMagic = 0x514D5232;  // "QMR2"
constexpr uint32_t kObjectMagic = 0x514D4232;    // "QMB2"
constexpr size_t kMaxAttached = 64;
// Notifications that one wake-up posts at most.
constexpr uint32_t kMaxPostsPerWake = 64;
// The longest anything waits for the registry: another process may keep
// its lock for ever.
constexpr int kRegistryLockMs = 2000;
constexpr uint32_t kWaiters = 0x80000000u;
constexpr uint32_t kOwnerMask = 0x3FFFFFFFu;

std::atomic<int> g_lockLimitMs{5000};

// ---------------------------------------------------------------------------
// Layouts of the small objects

struct Registry {
    std::atomic<uint32_t> magic;
    std::atomic<uint32_t> lock;  // a mutex word
    uint32_t count;
    char names[kRegistryEntries][kRegistryNameSize];
};

struct MutexObject {
    std::atomic<uint32_t> magic;
    std::atomic<uint32_t> word;
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

// Runs f over memory another process may take away: false when an access
// faulted (the object was cut short meanwhile). f touches that memory and
// plain locals only; nothing in it has a destructor to skip.
template <class F>
bool Guarded(F&& f) {
    return ScriptFaultGuard::Run(f) == ScriptFault::NoFault;
}

int32_t ThisThread() { return static_cast<int32_t>(syscall(SYS_gettid)); }

// Whether a thread of that id exists (in any process).
bool ThreadAlive(int32_t tid) { return tid > 0 && (kill(tid, 0) == 0 || errno != ESRCH); }

long Futex(std::atomic<uint32_t>* word, int op, uint32_t value, const timespec* timeout) {
    return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), op, value, timeout, nullptr, 0);
}

}  // namespace

// A mapped shared-memory object, with its descriptor kept to ask its size.
struct SharedObjectMapping {
    SharedObjectMapping() = default;
    SharedObjectMapping(const SharedObjectMapping&) = delete;
    SharedObjectMapping& operator=(const SharedObjectMapping&) = delete;
    ~SharedObjectMapping() {
        if (data && !keep) munmap(data, size);
        if (fd >= 0) close(fd);
    }
    // Whether the object still holds every mapped byte.
    bool Intact() const {
        struct stat st;
        return data && fd >= 0 && fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) >= size;
    }
    void* data = nullptr;
    size_t size = 0;
    int fd = -1;
    bool keep = false;  // left mapped at the end (for the rest of the process)
};

namespace {

using Mapping = SharedObjectMapping;

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
    if (data == MAP_FAILED) {
        close(fd);
        if (made) shm_unlink(object.c_str());
        return Opened::MapFailed;
    }
    m.data = data;
    m.size = mapSize;
    m.fd = fd;
    return made ? Opened::New : Opened::Existing;
}

// ---------------------------------------------------------------------------
// The registry: shared by every engine, never removed.

struct RegistryMapping {
    Mapping mapping;
    PbmMemoryMutex::Holder holder;
    PbmMemoryMutex lock;
    Registry* Get() const { return static_cast<Registry*>(mapping.data); }
};

RegistryMapping* OpenRegistry() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto* r = new RegistryMapping();
        const Opened opened = OpenObject(g_registryObject, sizeof(Registry), false, r->mapping);
        if (opened == Opened::Failed || opened == Opened::MapFailed) {
            delete r;
            return nullptr;
        }
        Registry* registry = r->Get();
        bool ready = false;
        if (opened == Opened::New) {
            ready = Guarded([&] {
                registry->lock.store(0);
                registry->magic.store(kRegistryMagic, std::memory_order_release);
            });
        }
        // Another process may be making it: it has two seconds.
        for (int i = 0; i < 2000 && !ready; ++i) {
            if (!Guarded([&] { ready = registry->magic.load(std::memory_order_acquire) == kRegistryMagic; })) break;
            if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (ready) {
            r->lock = PbmMemoryMutex(&registry->lock, &r->holder, &r->mapping, opened != Opened::New);
            return r;  // kept for the rest of the process
        }
        // Its maker died before it was ready, or it is not one: made again.
        delete r;
        shm_unlink(g_registryObject.c_str());
    }
    return nullptr;
}

std::mutex g_registryLock;
RegistryMapping* g_registry = nullptr;  // opened once, kept for the rest of the process
bool g_registryOpened = false;

RegistryMapping* TheRegistry() {
    std::lock_guard<std::mutex> guard(g_registryLock);
    if (!g_registryOpened) {
        g_registry = OpenRegistry();
        g_registryOpened = true;
    }
    return g_registry;
}

// Holds the registry's lock; attaching and letting go of every name happen
// under it, so that no name is made while another process removes it. A
// lock that another process keeps is given up on after a while.
class RegistryLock {
public:
    explicit RegistryLock(RegistryMapping* r) : m_registry(r) {
        m_held = r && r->lock.Lock(kRegistryLockMs);
    }
    ~RegistryLock() {
        if (m_held) m_registry->lock.Unlock();
    }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
    bool Held() const { return m_held; }

private:
    RegistryMapping* m_registry;
    bool m_held = false;
};

// The id of the name (0: none, the registry being full or cut short); the
// registry's lock is held.
uint32_t RegisterLocked(RegistryMapping* mapping, const std::string& name) {
    if (name.size() >= kRegistryNameSize || !mapping->mapping.Intact()) return 0;
    Registry* r = mapping->Get();
    const char* text = name.c_str();
    const size_t length = name.size();
    uint32_t id = 0;
    const bool ok = Guarded([&] {
        // Whatever another process wrote, the count is taken as at most the
        // table and every name as at most its entry.
        const uint32_t count = r->count < kRegistryEntries ? r->count : static_cast<uint32_t>(kRegistryEntries);
        for (uint32_t i = 0; i < count && id == 0; ++i)
            if (std::strncmp(r->names[i], text, kRegistryNameSize) == 0) id = kFirstMessageId + i;
        if (id != 0 || count >= kRegistryEntries) return;
        std::memset(r->names[count], 0, kRegistryNameSize);
        std::memcpy(r->names[count], text, length);
        r->count = count + 1;  // after the name: a death in between leaves an unused entry
        id = kFirstMessageId + count;
    });
    return ok ? id : 0;
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

// False when the table is full (of live processes: dead ones were pruned).
bool AddAttachment(Control* c, int32_t pid) {
    for (Attachment& a : c->attached) {
        if (a.pid == pid) {
            if (a.refs < INT32_MAX) ++a.refs;
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
    return Guarded([&] {
        existed = o->magic.load(std::memory_order_acquire) == kObjectMagic;
        if (existed) return;
        o->word.store(0);
        o->magic.store(kObjectMagic, std::memory_order_release);
    });
}

bool OpenControl(const std::string& object, Mapping& m) {
    const Opened opened = OpenObject(object, sizeof(Control), false, m);
    if (opened != Opened::New && opened != Opened::Existing) return false;
    auto* c = static_cast<Control*>(m.data);
    return Guarded([&] {
        if (c->magic.load(std::memory_order_acquire) == kObjectMagic) return;
        std::memset(c->attached, 0, sizeof c->attached);
        c->sequence.store(0);
        c->magic.store(kObjectMagic, std::memory_order_release);
    });
}

// The blocks this process is attached to, by object name.
std::mutex g_attachedLock;
std::map<std::string, std::weak_ptr<SharedBlock>> g_attached;

}  // namespace

// ---------------------------------------------------------------------------
// PbmMemoryMutex

void PbmMemoryMutex::SetLockLimitMs(int ms) { g_lockLimitMs = ms; }
int PbmMemoryMutex::LockLimitMs() { return g_lockLimitMs; }

PbmMemoryMutex::Outcome PbmMemoryMutex::Acquire(int ms) {
    if (!m_word || !m_holder) return Broken;
    const int32_t me = ThisThread();
    if (m_holder->thread.load() == me) {
        ++m_holder->depth;
        return Acquired;
    }
    if (m_object && !m_object->Intact()) return Broken;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms < 0 ? LockLimitMs() : ms);
    std::atomic<uint32_t>* const word = m_word;
    for (;;) {
        uint32_t seen = 0;
        if (!Guarded([&] { seen = word->load(); })) return Broken;
        const int32_t owner = static_cast<int32_t>(seen & kOwnerMask);
        // Free, or left by a holder that is gone (or forged in this
        // thread's name): taken.
        if (owner == 0 || owner == me || !ThreadAlive(owner)) {
            bool taken = false;
            if (!Guarded([&] { taken = word->compare_exchange_strong(seen, static_cast<uint32_t>(me)); }))
                return Broken;
            if (!taken) continue;
            m_holder->thread = me;
            m_holder->depth = 1;
            return Acquired;
        }
        if (BlockingWaitStopped()) return Stopped;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return TimedOut;
        if (!(seen & kWaiters)) {
            bool marked = false;
            if (!Guarded([&] { marked = word->compare_exchange_strong(seen, seen | kWaiters); })) return Broken;
            if (!marked) continue;
            seen |= kWaiters;
        }
        // Short sleeps: a holder that dies wakes nobody.
        const long sliceMs = left < kBlockingWaitSliceMs ? static_cast<long>(left) : kBlockingWaitSliceMs;
        const timespec slice{0, sliceMs * 1000000L};
        if (Futex(word, FUTEX_WAIT, seen, &slice) != 0 && errno == EFAULT) return Broken;
    }
}

bool PbmMemoryMutex::Unlock() {
    if (!m_word || !m_holder || m_holder->thread.load() != ThisThread()) return false;
    if (--m_holder->depth > 0) return true;
    Release();
    return true;
}

void PbmMemoryMutex::Release() {
    if (!m_word || !m_holder) return;
    const int32_t holder = m_holder->thread.exchange(0);
    m_holder->depth = 0;
    if (holder == 0) return;
    std::atomic<uint32_t>* const word = m_word;
    uint32_t before = 0;
    // Only a word that still names the holder is cleared: another process
    // may have taken it over meanwhile.
    const bool ok = Guarded([&] {
        before = word->load();
        while ((before & kOwnerMask) == static_cast<uint32_t>(holder) && !word->compare_exchange_weak(before, 0)) {
        }
    });
    if (ok && (before & kOwnerMask) == static_cast<uint32_t>(holder) && (before & kWaiters))
        Futex(word, FUTEX_WAKE, INT_MAX, nullptr);
}

// ---------------------------------------------------------------------------
// SharedBlock

struct SharedBlock::Parts {
    std::string name;    // as given, cut
    std::string object;  // "/" + the name made safe
    Mapping block, low, high, control;
    std::atomic<bool> stop{false};
    PbmMemoryMutex::Holder lowHolder, highHolder;
    bool lowExisted = false, highExisted = false;
    std::thread watcher;
    bool attached = false;  // this process counts in the control object
    RegistryMapping* registry = nullptr;  // whose lock guards letting go

    Control* Ctl() const { return static_cast<Control*>(control.data); }
    // Takes this process out of the control object; true when another one
    // is still attached.
    bool Detach() {
        Control* c = Ctl();
        if (!c || !control.Intact()) return false;
        bool others = false;
        const int32_t pid = static_cast<int32_t>(getpid());
        const bool wasAttached = attached;
        if (!Guarded([&] {
                if (wasAttached) RemoveAttachment(c, pid);
                others = PruneAttached(c);
            }))
            return false;
        attached = false;
        return others;
    }
};

std::string SharedBlock::ObjectName(const std::string& name) {
    std::string object = "/" + name.substr(0, kMaxNameLength);
    for (size_t i = 1; i < object.size(); ++i)
        if (object[i] == '/') object[i] = '_';
    return object;
}

uint32_t SharedBlock::RegisterMessage(const std::string& name) {
    RegistryMapping* r = TheRegistry();
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

    RegistryMapping* r = TheRegistry();
    RegistryLock lock(r);
    if (!lock.Held()) return nullptr;
    std::unique_ptr<Parts> parts(new Parts());
    parts->registry = r;
    parts->name = name.substr(0, kMaxNameLength);
    parts->object = object;
    // Whatever fails below, the objects go again when nobody else holds
    // them.
    struct Undo {
        Parts* parts;
        ~Undo() {
            if (parts && !parts->Detach()) UnlinkAll(parts->object);
        }
    } undo{parts.get()};

    if (!OpenControl(object + "_msgid", parts->control)) return nullptr;
    // A table that other processes filled refuses this one.
    Control* c = parts->Ctl();
    const int32_t pid = static_cast<int32_t>(getpid());
    bool added = false;
    if (!parts->control.Intact() || !Guarded([&] {
            PruneAttached(c);
            added = AddAttachment(c, pid);
        }) || !added)
        return nullptr;
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
    // Notifications from the moment the attachment exists count.
    uint32_t seen = 0;
    if (!Guarded([&] { seen = c->sequence.load(); })) return nullptr;
    undo.parts = nullptr;

    outcome = opened == Opened::New ? Created : Connected;
    std::shared_ptr<SharedBlock> block(new SharedBlock(std::move(parts)));
    block->m_messageId = messageId;
    block->m_parts->watcher = std::thread([raw = block.get(), seen] { raw->Watch(seen); });
    g_attached[object] = block;
    return block;
}

SharedBlock::SharedBlock(std::unique_ptr<Parts> parts) : m_parts(std::move(parts)) {
    m_data = static_cast<uint8_t*>(m_parts->block.data);
    m_size = static_cast<int32_t>(m_parts->block.size);
    m_low = PbmMemoryMutex(&static_cast<MutexObject*>(m_parts->low.data)->word, &m_parts->lowHolder,
                           &m_parts->low, m_parts->lowExisted);
    m_high = PbmMemoryMutex(&static_cast<MutexObject*>(m_parts->high.data)->word, &m_parts->highHolder,
                            &m_parts->high, m_parts->highExisted);
}

SharedBlock::~SharedBlock() {
    m_parts->stop.store(true);
    // Every watcher of the name wakes (a word cut short answers EFAULT);
    // the others find nothing new.
    Futex(&m_parts->Ctl()->sequence, FUTEX_WAKE, INT_MAX, nullptr);
    if (m_parts->watcher.joinable()) m_parts->watcher.join();
    // Holds this process still has go back: nobody here can give them back
    // later.
    m_low.Release();
    m_high.Release();
    {
        RegistryLock lock(m_parts->registry);
        if (!m_parts->Detach()) UnlinkAll(m_parts->object);
    }
    std::lock_guard<std::mutex> attachedLock(g_attachedLock);
    auto known = g_attached.find(m_parts->object);
    if (known != g_attached.end() && known->second.expired()) g_attached.erase(known);
}

bool SharedBlock::Intact() const { return m_parts->block.Intact(); }

bool SharedBlock::Read(int32_t at, void* out, size_t n) const {
    if (at < 0 || static_cast<uint64_t>(at) > static_cast<uint64_t>(m_size) ||
        n > static_cast<size_t>(m_size - at) || !Intact())
        return false;
    const uint8_t* from = m_data + at;
    return n == 0 || Guarded([&] { std::memcpy(out, from, n); });
}

bool SharedBlock::Write(int32_t at, const void* in, size_t n) {
    if (at < 0 || static_cast<uint64_t>(at) > static_cast<uint64_t>(m_size) ||
        n > static_cast<size_t>(m_size - at) || !Intact())
        return false;
    uint8_t* to = m_data + at;
    return n == 0 || Guarded([&] { std::memcpy(to, in, n); });
}

void SharedBlock::Notify() {
    Control* c = m_parts->Ctl();
    if (!m_parts->control.Intact() || !Guarded([&] { c->sequence.fetch_add(1); })) return;
    Futex(&c->sequence, FUTEX_WAKE, INT_MAX, nullptr);
}

void SharedBlock::Watch(uint32_t seen) {
    Control* c = m_parts->Ctl();
    while (!m_parts->stop.load()) {
        const timespec wait{0, 100 * 1000000L};
        // A control object cut short ends the notifications, not the process.
        if (!m_parts->control.Intact()) return;
        if (Futex(&c->sequence, FUTEX_WAIT, seen, &wait) != 0 && errno == EFAULT) return;
        uint32_t now = 0;
        if (!Guarded([&] { now = c->sequence.load(); })) return;
        if (now == seen || m_parts->stop.load()) continue;
        const uint32_t posts = now - seen < kMaxPostsPerWake ? now - seen : kMaxPostsPerWake;
        seen = now;
        if (m_messageId == 0) continue;
        for (uint32_t i = 0; i < posts; ++i) WindowMessageQueue::EngineWindow().Post(m_messageId, 0, 0);
    }
}

void SharedBlock::Remove(const std::string& name) { UnlinkAll(ObjectName(name)); }

void SharedBlock::UseRegistry(const std::string& object) {
    std::lock_guard<std::mutex> guard(g_registryLock);
    g_registryObject = object;
    g_registryOpened = false;  // the one open so far stays mapped for whoever holds it
}
