// The script class sharedByteBuffer: script values exchanged with other
// processes (or other programs) through a named block of shared memory
// (platform/SharedBlock.h).
//
// The block holds a count, signed 32-bit big-endian at offset 0, then the
// items one after the other, with no padding. Each item is a type byte and
// its payload:
//   2 Integer  int32 big-endian                               (5 bytes)
//   3 Real     float in host order                            (5 bytes)
//   4 Bool     one byte, non-zero for true                    (2 bytes)
//   5 String   int32 big-endian length n, then n characters   (5 + n)
//   8 Vector   int32 big-endian count n, then n host floats   (5 + 4n)
// A count of 1 is one value, a larger count an array of that many values,
// 0 or less an empty block.
//
// Every item and the count are read and written under the block's low
// mutex; an array is written and read whole under the high one (a script
// that holds Lock and writes an array while another process reads one can
// deadlock: the two take the mutexes in opposite orders). After an array is
// written, every process attached to the name gets the block's message in
// its OnEvent, with two Void arguments.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vm/ByteStream.h"
#include "vm/VmRegister.h"

class SharedBlock;
class PbmMemoryMutex;

// The block layout, over plain memory or over a SharedBlock (then with its
// two mutexes). Nothing is read or written outside the block's bytes, and
// what another process left in a block is checked like any input: counts
// and lengths against the bytes there, the items decoded one by one (never
// reserved by the count). A block another process cut short, or a mutex it
// keeps past the lock limit, ends the operation with its failure.
class SharedBlockCodec {
public:
    enum class Failure {
        None,
        Empty,      // Decode: the block holds no value
        BadData,    // Decode: a count, type or length the block cannot hold
        DoesNotFit, // Encode: a value of another type, or too large for the block
        TimedOut,   // a mutex stayed held past the lock limit
        Stopped,    // a stop request ended a wait for a mutex
        Broken,     // the block or a mutex object was cut short
    };

    SharedBlockCodec(uint8_t* data, int32_t size) : m_data(data), m_size(data ? size : 0) {}
    explicit SharedBlockCodec(SharedBlock& block);

    // Replaces the block's content with one value, or with the elements of
    // an Array that have a type of the layout (others are skipped). False,
    // with nothing written, for a value of another type or one that does not
    // fit. `wroteArray` tells whether an Array was written.
    bool Encode(const CVmValue& value, bool* wroteArray = nullptr);
    // The block's value; false (no result) when it is empty, or when an item
    // has an unknown type or runs past the block's end.
    bool Decode(CVmValue& out);
    // Why the last Encode or Decode answered false.
    Failure LastFailure() const { return m_failure; }

private:
    class Held;
    // The bytes an item of the value takes, or -1 when it has no item type
    // (an Array's element of types 6 and 10 counts as that).
    static int64_t ItemSize(const CVmValue& v, bool single);
    bool Fail(Failure f) {
        m_failure = f;
        return false;
    }
    bool Lock(PbmMemoryMutex* mutex);
    bool Copy(int32_t at, void* out, size_t n);
    bool Put(int32_t at, const void* in, size_t n);
    bool PutCount(int32_t count);
    bool PutItem(int32_t at, const CVmValue& v);
    // The item at `at` into `out`, and its size; false past the end.
    bool GetItem(int32_t at, CVmValue& out, int32_t& size, DecodeBudget& budget);

    uint8_t* m_data = nullptr;
    int32_t m_size = 0;
    SharedBlock* m_block = nullptr;
    Failure m_failure = Failure::None;
};

class sharedByteBuffer : public CVmClassBase {
public:
    static constexpr const char* kClassName = "sharedByteBuffer";
    const char* ClassName() override { return kClassName; }

    // Attaches to the block of that name, writing how it went on the
    // machine's output.
    sharedByteBuffer(const std::string& name, int32_t size);
    ~sharedByteBuffer() override;

    class CRegister : public CVmRegisterClass {
    public:
        const char* GetClassName() override { return kClassName; }
        VmNativeMethod GetFactory() override { return Handler(&CRegister::Create); }
        bool RegisterMethods(int32_t n) override;

    private:
        // sharedByteBuffer(name, size).
        void Create(CVmClassBase* object, int mode);
        void Lock(CVmClassBase* object, int mode);
        void Unlock(CVmClassBase* object, int mode);
        void TryLock(CVmClassBase* object, int mode);
        void VarDecode(CVmClassBase* object, int mode);
        void VarEncode(CVmClassBase* object, int mode);
        void GetEventID(CVmClassBase* object, int mode);
    };

private:
    // The error for a failure that another process caused, if it is one.
    void ReportFailure(SharedBlockCodec::Failure failure) const;

    std::string m_name;  // at most 499 characters
    std::shared_ptr<SharedBlock> m_block;  // null when construction failed
    int32_t m_locks = 0;  // Lock and successful TryLock calls not yet undone
};
