// Integer-keyed hash table with chained nodes. A key may be present several
// times; the newest entry comes first.
#pragma once

#include <cstdint>
#include <vector>

template <class Data, class Key = uint32_t>
class CHashTable {
public:
    explicit CHashTable(int bucketCount) : m_buckets(bucketCount > 0 ? bucketCount : 1, nullptr) {}
    virtual ~CHashTable() {
        for (Node*& head : m_buckets) {
            while (head) {
                Node* next = head->next;
                Delete(head);
                head = next;
            }
        }
    }
    CHashTable(const CHashTable&) = delete;
    CHashTable& operator=(const CHashTable&) = delete;

    void Add(Key key, Data* data, bool owns) {
        Node*& head = m_buckets[Bucket(key)];
        head = new Node{owns, key, data, head};
    }

    // Unlinks the newest entry with the key; false when there is none.
    bool Remove(Key key) {
        for (Node** link = &m_buckets[Bucket(key)]; *link; link = &(*link)->next) {
            if ((*link)->key == key) {
                Node* n = *link;
                *link = n->next;
                Delete(n);
                return true;
            }
        }
        return false;
    }

    Data* Find(Key key) const {
        for (const Node* n = m_buckets[Bucket(key)]; n; n = n->next)
            if (n->key == key) return n->data;
        return nullptr;
    }

    // The front entry of the lowest non-empty bucket.
    Data* First() const {
        for (const Node* head : m_buckets)
            if (head) return head->data;
        return nullptr;
    }

private:
    struct Node {
        bool owns;
        Key key;
        Data* data;
        Node* next;
    };
    size_t Bucket(Key key) const { return static_cast<size_t>(key) % m_buckets.size(); }
    static void Delete(Node* n) {
        if (n->owns) delete n->data;
        delete n;
    }

    std::vector<Node*> m_buckets;
};
