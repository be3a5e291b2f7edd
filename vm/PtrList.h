// Small doubly linked list of item pointers with an iteration cursor. An
// owning list deletes its items when they are removed or when it is cleared.
// Not thread-safe: holders lock around it.
#pragma once

template <class T>
class PtrList {
public:
    explicit PtrList(bool ownsItems = true) : owns(ownsItems) {}
    ~PtrList() { Clear(); }
    PtrList(const PtrList&) = delete;
    PtrList& operator=(const PtrList&) = delete;

    // Appends at the tail and moves the cursor there; a null item is refused.
    bool Append(T* item) {
        if (!item) return false;
        Node* n = new Node{item, nullptr, tail};
        if (tail)
            tail->next = n;
        else
            head = n;
        tail = n;
        current = n;
        ++m_count;
        return true;
    }

    // Inserts before the cursor node (at the tail when there is no cursor);
    // the cursor stays where it was.
    bool InsertBeforeCurrent(T* item) {
        if (!item) return false;
        if (!current) {
            Node* keep = current;
            Append(item);
            current = keep;
            return true;
        }
        Node* n = new Node{item, current, current->prev};
        if (current->prev)
            current->prev->next = n;
        else
            head = n;
        current->prev = n;
        ++m_count;
        return true;
    }

    T* First() {
        current = head;
        return current ? current->item : nullptr;
    }
    T* Next() {
        if (current) current = current->next;
        return current ? current->item : nullptr;
    }
    T* Current() const { return current ? current->item : nullptr; }

    // Unlinks the cursor node and moves the cursor to the following node.
    void RemoveCurrent() {
        Node* n = current;
        if (!n) return;
        T* item = Unlink(n);
        if (owns) delete item;
    }

    // Unlinks the node of an item without deleting the item; false when the
    // item is not in the list. A cursor on it moves to the following node.
    bool Detach(T* item) {
        for (Node* n = head; n; n = n->next) {
            if (n->item == item) {
                Unlink(n);
                return true;
            }
        }
        return false;
    }

    void Clear() {
        Node* n = head;
        head = tail = current = nullptr;
        m_count = 0;
        while (n) {
            Node* next = n->next;
            if (owns) delete n->item;
            delete n;
            n = next;
        }
    }

    int Count() const { return m_count; }
    bool IsEmpty() const { return head == nullptr; }

    // Visits every item in order without moving the cursor.
    template <class F>
    void ForEach(F&& f) const {
        for (Node* n = head; n; n = n->next) f(n->item);
    }

    struct Node {
        T* item;
        Node* next;
        Node* prev;
    };

    bool owns;
    Node* head = nullptr;
    Node* tail = nullptr;
    Node* current = nullptr;

private:
    T* Unlink(Node* n) {
        if (n->prev)
            n->prev->next = n->next;
        else
            head = n->next;
        if (n->next)
            n->next->prev = n->prev;
        else
            tail = n->prev;
        if (current == n) current = n->next;
        T* item = n->item;
        delete n;
        --m_count;
        return item;
    }

    int m_count = 0;
};
