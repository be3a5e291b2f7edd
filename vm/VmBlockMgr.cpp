#include "VmBlockMgr.h"

#include <cstdlib>
#include <cstring>
#include <new>

// 16 bytes, so that the addresses handed out keep malloc's alignment.
struct CVmMemManager::__BlockMgr::Header {
    int32_t sizeClass;
    Header* nextFree;
};

namespace {

#ifndef QEM_NO_POOL
constexpr size_t kHeaderSize = 16;
#endif

void* HeapAlloc(size_t bytes) {
    void* p = std::malloc(bytes);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

void* CVmMemManager::__BlockMgr::Alloc(int64_t size, int32_t* granted) {
    const int64_t rounded = RoundUp(size);
    if (granted) *granted = rounded > INT32_MAX ? INT32_MAX : static_cast<int32_t>(rounded);
#ifdef QEM_NO_POOL
    return HeapAlloc(static_cast<size_t>(rounded));
#else
    const int64_t k = (rounded >> m_shift) - 1;
    Header* h;
    if (k < kClassCount) {
        h = m_free[k];
        if (h) {
            m_free[k] = h->nextFree;
        } else {
            h = static_cast<Header*>(HeapAlloc(static_cast<size_t>(rounded) + kHeaderSize));
            h->sizeClass = static_cast<int32_t>(k);
        }
    } else {
        h = static_cast<Header*>(HeapAlloc(static_cast<size_t>(rounded) + kHeaderSize));
        h->sizeClass = kLargeClass;
    }
    h->nextFree = nullptr;
    return reinterpret_cast<char*>(h) + kHeaderSize;
#endif
}

void CVmMemManager::__BlockMgr::Free(void* p) {
    if (!p) return;
#ifdef QEM_NO_POOL
    std::free(p);
#else
    Header* h = reinterpret_cast<Header*>(static_cast<char*>(p) - kHeaderSize);
    if (h->sizeClass < 0 || h->sizeClass >= kClassCount) {
        std::free(h);
        return;
    }
    if (!m_keepFreeBlocks) {
        std::free(h);
        return;
    }
    h->nextFree = m_free[h->sizeClass];
    m_free[h->sizeClass] = h;
#endif
}

void* CVmMemManager::__BlockMgr::Realloc(void* p, size_t keep, int64_t size, int32_t* granted) {
    const int64_t rounded = RoundUp(size);
#ifdef QEM_NO_POOL
    (void)keep;
    if (granted) *granted = rounded > INT32_MAX ? INT32_MAX : static_cast<int32_t>(rounded);
    void* q = std::realloc(p, static_cast<size_t>(rounded));
    if (!q) throw std::bad_alloc();
    return q;
#else
    const int64_t k = (rounded >> m_shift) - 1;
    if (p && k >= kClassCount && ClassOf(p) == kLargeClass) {
        if (granted) *granted = rounded > INT32_MAX ? INT32_MAX : static_cast<int32_t>(rounded);
        void* h = std::realloc(static_cast<char*>(p) - kHeaderSize, static_cast<size_t>(rounded) + kHeaderSize);
        if (!h) throw std::bad_alloc();
        return static_cast<char*>(h) + kHeaderSize;
    }
    void* q = Alloc(size, granted);
    if (p && keep) std::memcpy(q, p, keep);
    Free(p);
    return q;
#endif
}

int CVmMemManager::__BlockMgr::ClassOf(const void* p) {
#ifdef QEM_NO_POOL
    (void)p;
    return kLargeClass;
#else
    return reinterpret_cast<const Header*>(static_cast<const char*>(p) - kHeaderSize)->sizeClass;
#endif
}

void CVmMemManager::__BlockMgr::ReleaseAll() {
    for (Header*& head : m_free) {
        while (head) {
            Header* next = head->nextFree;
            std::free(head);
            head = next;
        }
    }
}

namespace {

// The thread's pool lives in a plain thread_local pointer (no TLS wrapper on
// the hot path); the owner object below frees its lists when the thread ends.
// Values destroyed after that (static objects at exit, later thread_local
// destructors) use a pool that keeps no free lists and is never destroyed.
// Initial-exec: in the shared engine library a general TLS access would be a
// call on every allocation; the library is loaded with the program.
__attribute__((tls_model("initial-exec"))) thread_local CVmMemManager::__BlockMgr* t_pool = nullptr;
thread_local bool t_poolGone = false;

struct ThreadPoolOwner {
    CVmMemManager::__BlockMgr pool{16};
    ~ThreadPoolOwner() {
        t_pool = nullptr;
        t_poolGone = true;
    }
};

CVmMemManager::__BlockMgr& UncachedPool() {
    static CVmMemManager::__BlockMgr* pool = new CVmMemManager::__BlockMgr(16, false);
    return *pool;
}

CVmMemManager::__BlockMgr& CreateThreadPool() {
    if (t_poolGone) return UncachedPool();
    thread_local ThreadPoolOwner owner;
    t_pool = &owner.pool;
    return owner.pool;
}

}  // namespace

CVmMemManager::__BlockMgr& VmBlockMgr() {
    CVmMemManager::__BlockMgr* p = t_pool;
    return p ? *p : CreateThreadPool();
}
