// Named blocks of memory shared between processes, with the two mutexes and
// the notification that guard and announce their contents.
//
// A block of name N is made of POSIX shared-memory objects, each named "/"
// plus N with every '/' in N turned into '_' (N keeps at most 499
// characters):
//   "/N"          the block itself: zero-filled when made, nothing else in it
//   "/N_mutex"    a process-shared, recursive, robust mutex (the low one)
//   "/N_mutexhi"  another one (the high one)
//   "/N_msgid"    the control object: the message id, the notification
//                 counter (a futex word) and the processes attached
// Other programs open the block by that name and follow its byte layout.
//
// Every name gets a message id in 0xC000-0xFFFF, the same in every process,
// from a registry object that all engines share ("/qem_registered_messages").
// Notify() wakes every process attached to the name; each posts the id, with
// wParam 0 and lParam 0, to its engine window's message queue, the notifying
// process included.
//
// A process attaches once per name (blocks of one name share one
// attachment) and the last process to let go removes the objects. A process
// that died while attached is forgotten by the next one that attaches or
// lets go: its block and data stay for whoever connects next, and a mutex
// it held passes to the next thread that waits for it.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A named mutex inside shared memory, recursive and robust: the thread that
// holds it may take it again (and gives it back as often), and one whose
// holder died is taken over.
class PbmMemoryMutex {
public:
    // `holds` counts this process's holds (null: not counted); `existed`:
    // another process had made it.
    explicit PbmMemoryMutex(pthread_mutex_t* mutex = nullptr, std::atomic<int>* holds = nullptr,
                            bool existed = false)
        : m_mutex(mutex), m_holds(holds), m_existed(existed) {}

    bool Valid() const { return m_mutex != nullptr; }
    bool Existed() const { return m_existed; }
    // Waits without limit; false only when the mutex can no longer be used.
    bool Lock();
    // Waits at most `ms` milliseconds; true when acquired.
    bool TryLock(int ms);
    // False when the calling thread does not hold it.
    bool Unlock();

private:
    bool Acquired(int result);
    pthread_mutex_t* m_mutex;
    std::atomic<int>* m_holds;
    bool m_existed;
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

    uint8_t* Data() const { return m_data; }
    int32_t Size() const { return m_size; }
    PbmMemoryMutex& Low() { return m_low; }
    PbmMemoryMutex& High() { return m_high; }
    uint32_t MessageId() const { return m_messageId; }
    // Wakes every process attached to the name (this one too).
    void Notify();

    // Removes every object of the name, attached or not (for tests that
    // clean up after processes they killed).
    static void Remove(const std::string& name);

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
