// Size-class pool for the machine's small buffers (string characters, vector
// floats, pointer tables, array elements).
//
// Every request is rounded up to the pool's granularity (32 bytes for the
// global pool) and the rounded size is reported back as the granted capacity,
// so strings and vectors grow into it without reallocating. Blocks of up to
// ten granules are kept on per-class free lists and reused in constant time;
// larger blocks go straight back to the heap.
//
// The global pool `VmBlockMgr` is one instance per thread: a block may be
// freed on another thread than the one that took it, and then simply joins
// that thread's lists. No locks are needed and no thread can corrupt another
// thread's lists. A thread's lists are returned to the heap when it ends.
//
// Built with QEM_NO_POOL every request goes to malloc/free with the exact
// rounded size, so that the sanitizers see every allocation and every access
// past the granted capacity.
#pragma once

#include <cstddef>
#include <cstdint>

class CVmMemManager {
public:
    class __BlockMgr;
};

class CVmMemManager::__BlockMgr {
public:
    static constexpr int kClassCount = 10;   // free lists for 1..10 granules
    static constexpr int kLargeClass = 10;   // class tag of a heap block

    // The shift is the bit count of g: 16 (5 bits) gives 32-byte granules.
    explicit constexpr __BlockMgr(int g, bool keepFreeBlocks = true)
        : m_mask(MaskFor(g)), m_shift(ShiftFor(g)), m_keepFreeBlocks(keepFreeBlocks), m_free{} {}
    __BlockMgr(const __BlockMgr&) = delete;
    __BlockMgr& operator=(const __BlockMgr&) = delete;
    virtual ~__BlockMgr() { ReleaseAll(); }

    // Returns at least `size` bytes (a size of 0 or less is treated as 1) and
    // reports the rounded size through `granted` when it is given.
    void* Alloc(int64_t size, int32_t* granted = nullptr);
    void Free(void* p);
    // A block of at least `size` bytes holding the first `keep` bytes of p
    // (p may be null); p is gone afterwards. A heap block grows in place
    // where the heap can (realloc), so growing a large table copies little.
    void* Realloc(void* p, size_t keep, int64_t size, int32_t* granted = nullptr);
    void FreeIfSet(void* p) {
        if (p) Free(p);
    }

    // Rounded size of a request, as Alloc grants it.
    int64_t RoundUp(int64_t size) const {
        if (size <= 0) size = 1;
        return ((size - 1) | m_mask) + 1;
    }
    // Size class of a block handed out by this pool: 0..9, or 10 for a heap
    // block. Meaningful only with the pool in use.
    static int ClassOf(const void* p);

    int Granularity() const { return m_mask + 1; }

    // Returns every block on every free list to the heap.
    void ReleaseAll();

private:
    struct Header;
    static constexpr int BitCount(int g) { return g <= 0 ? 0 : 1 + BitCount(g >> 1); }
    static constexpr int ShiftFor(int g) { return BitCount(g); }
    static constexpr int MaskFor(int g) { return (1 << BitCount(g)) - 1; }

    int m_mask;
    int m_shift;
    [[maybe_unused]] bool m_keepFreeBlocks;
    Header* m_free[kClassCount];
};

// The global pool of the calling thread (see above).
CVmMemManager::__BlockMgr& VmBlockMgr();
