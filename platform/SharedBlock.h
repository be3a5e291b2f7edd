// Named blocks of memory shared between processes, with the two mutexes and
// the notification that guard and announce their contents.
//
// A block of name N is made of POSIX shared-memory objects, each named "/"
// plus N with every '/' in N turned into '_' (N keeps at most 499
// characters):
//   "/N"          the block itself: zero-filled when made, nothing else in it
//   "/N_mutex"    the low mutex: a magic word, then the holder's thread id
//                 (0: free; bit 31: a thread waits), a futex word
//   "/N_mutexhi"  the high one, alike
//   "/N_msgid"    the control object: the notification counter (a futex
//                 word) and the processes attached
// Other programs open the block by that name and follow its byte layout.
//
// Every name gets a message id in 0xC000-0xFFFF, the same in every process,
// from a registry object that all engines share ("/qem_message_registry").
// Notify() wakes every process attached to the name; each posts the id, with
// wParam 0 and lParam 0, to its engine window's message queue, the notifying
// process included.
//
// A process attaches once per name (blocks of one name share one
// attachment) and the last process to let go removes the objects. A process
// that died while attached is forgotten by the next one that attaches or
// lets go: its block and data stay for whoever connects next, and a mutex
// it held passes to the next thread that waits for it.
//
// The other processes are not trusted. One may cut an object short, write
// anything into it, keep a mutex for ever or fill the registry: every access
// checks the object's size first and runs under a fault guard (an object cut
// short while it is read ends that access, never the process), every wait
// for a mutex has a time limit and ends on a stop request, and a full table
// refuses the attachment instead of waiting.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct SharedObjectMapping;

// A named mutex inside shared memory, recursive and robust: the thread that
// holds it may take it again (and gives it back as often), and one whose
// holder died is taken over. It is a word in the mutex object that holds
// its holder's thread id (0: free), so that nothing another process writes
// there can lead this one astray: the worst a forged word does is look held.
class PbmMemoryMutex {
public:
    enum Outcome { Acquired, TimedOut, Stopped, Broken };
    // Who of this process holds the mutex, and how often.
    struct Holder {
        std::atomic<int32_t> thread{0};
        int32_t depth = 0;
    };

    PbmMemoryMutex() = default;
    PbmMemoryMutex(std::atomic<uint32_t>* word, Holder* holder, const SharedObjectMapping* object, bool existed)
        : m_word(word), m_holder(holder), m_object(object), m_existed(existed) {}

    bool Valid() const { return m_word != nullptr; }
    // Another process had made it.
    bool Existed() const { return m_existed; }
    // Waits at most `ms` milliseconds (a negative time: the process's lock
    // limit), less when a stop is requested (BlockingWait.h). Broken: the
    // object was cut short or cannot be used.
    Outcome Acquire(int ms = -1);
    // Acquire, true when acquired.
    bool Lock(int ms = -1) { return Acquire(ms) == Acquired; }
    bool TryLock(int ms) { return Lock(ms); }
    // False when the calling thread does not hold it.
    bool Unlock();
    // Gives up every hold of this process at once (its end).
    void Release();

    // The longest a Lock without a time waits (5 s; tests shorten it).
    static void SetLockLimitMs(int ms);
    static int LockLimitMs();

private:
    std::atomic<uint32_t>* m_word = nullptr;
    Holder* m_holder = nullptr;
    const SharedObjectMapping* m_object = nullptr;
    bool m_existed = false;
};

class SharedBlock {
public:
    // How attaching went: the block was made here, was there already, or
    // could not be made (Create) or mapped (Map).
    enum Outcome { Created, Connected, CreateFailed, MapFailed };

    // The object name of block name N: "/" + N cut to 499 characters, with
    // '/' turned into '_'.
    static std::string ObjectName(const std::string& name);
    // The message id of a registered name (0 when the registry cannot be
    // used or is full); the same name gives the same id in every process.
    static uint32_t RegisterMessage(const std::string& name);

    // Attaches to the block of that name, made with `size` bytes when it is
    // new (a size below 4 is refused); an existing block keeps its own size.
    // Null when it failed, with the stage in `outcome`.
    static std::shared_ptr<SharedBlock> Attach(const std::string& name, int32_t size, Outcome& outcome);
    ~SharedBlock();
    SharedBlock(const SharedBlock&) = delete;
    SharedBlock& operator=(const SharedBlock&) = delete;

    // The block's memory as mapped: for tests and the block's own readers,
    // which go through Read and Write.
    uint8_t* Data() const { return m_data; }
    int32_t Size() const { return m_size; }
    // Whether the block still has the size it had at attach: another
    // process may have cut it short.
    bool Intact() const;
    // Copies bytes out of and into the block; false when they lie outside
    // it or the block was cut short (then also during the copy).
    bool Read(int32_t at, void* out, size_t n) const;
    bool Write(int32_t at, const void* in, size_t n);
    PbmMemoryMutex& Low() { return m_low; }
    PbmMemoryMutex& High() { return m_high; }
    uint32_t MessageId() const { return m_messageId; }
    // Wakes every process attached to the name (this one too).
    void Notify();

    // Removes every object of the name, attached or not (for tests that
    // clean up after processes they killed).
    static void Remove(const std::string& name);
    // Another registry object than every engine's, for tests that spoil
    // theirs (blocks attached before keep the registry they had).
    static void UseRegistry(const std::string& object);

private:
    struct Parts;
    explicit SharedBlock(std::unique_ptr<Parts> parts);
    // Posts the message for every notification after the `seen`th.
    void Watch(uint32_t seen);

    std::unique_ptr<Parts> m_parts;
    uint8_t* m_data = nullptr;
    int32_t m_size = 0;
    PbmMemoryMutex m_low;
    PbmMemoryMutex m_high;
    uint32_t m_messageId = 0;
};
