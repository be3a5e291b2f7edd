// Name table of registrations: a fixed number of buckets, each kept in
// ascending byte order and searched by binary search. Names compare exactly
// (case-sensitive, unsigned bytes); callers upper-case names before they
// insert or look up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

template <class T>
class CHashSearchTable {
public:
    // One name and the entry it stands for; the atom owns the entry.
    struct __Atom {
        __Atom(std::string n, T* d) : name(std::move(n)), data(d) {}
        ~__Atom() { delete data; }
        __Atom(const __Atom&) = delete;
        __Atom& operator=(const __Atom&) = delete;
        std::string name;
        T* data;
    };

    explicit CHashSearchTable(int bucketCount = 43) : m_buckets(bucketCount > 0 ? bucketCount : 1) {}
    ~CHashSearchTable() { Clear(); }
    CHashSearchTable(const CHashSearchTable&) = delete;
    CHashSearchTable& operator=(const CHashSearchTable&) = delete;

    // Only the first 15 characters choose the bucket; each is taken as a
    // signed byte.
    static uint32_t Hash(const char* text) {
        uint32_t h = 0;
        for (int i = 0; i < 15 && text[i]; ++i) h = (h + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(text[i])))) * 31u;
        return h;
    }
    int BucketOf(const char* text) const { return static_cast<int>(Hash(text) % static_cast<uint32_t>(m_buckets.size())); }

    // Position of the name in its bucket, or -(insertion position) - 1.
    int Search(int bucket, const char* text) const {
        const std::vector<__Atom*>& b = m_buckets[bucket];
        int lo = 0, hi = static_cast<int>(b.size()) - 1;
        while (lo <= hi) {
            const int mid = (lo + hi) >> 1;
            const int c = b[mid]->name.compare(text);
            if (c == 0) return mid;
            if (c < 0)
                lo = mid + 1;
            else
                hi = mid - 1;
        }
        return -lo - 1;
    }

    // 0 when inserted (the table then owns data); -1 when the name is already
    // there (the caller keeps data).
    int Insert(const char* name, T* data) {
        const int bucket = BucketOf(name);
        const int pos = Search(bucket, name);
        if (pos >= 0) return -1;
        std::vector<__Atom*>& b = m_buckets[bucket];
        b.insert(b.begin() + (-pos - 1), new __Atom(name, data));
        return 0;
    }

    // Removes a name and deletes its entry; false when the name is not there.
    bool Remove(const char* name) {
        const int bucket = BucketOf(name);
        const int pos = Search(bucket, name);
        if (pos < 0) return false;
        std::vector<__Atom*>& b = m_buckets[bucket];
        delete b[pos];
        b.erase(b.begin() + pos);
        return true;
    }

    T* Find(const char* text) const {
        const int bucket = BucketOf(text);
        const int pos = Search(bucket, text);
        return pos >= 0 ? m_buckets[bucket][pos]->data : nullptr;
    }

    // Calls f(name, data) for every entry, bucket by bucket.
    template <class F>
    void ForEach(F&& f) const {
        for (const std::vector<__Atom*>& b : m_buckets)
            for (const __Atom* a : b) f(a->name, a->data);
    }

    void Clear() {
        for (std::vector<__Atom*>& b : m_buckets) {
            for (__Atom* a : b) delete a;
            b.clear();
        }
    }

    int BucketCount() const { return static_cast<int>(m_buckets.size()); }

private:
    std::vector<std::vector<__Atom*>> m_buckets;
};
