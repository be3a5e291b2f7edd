// Property trees: every node holds a text value and an ordered list of keyed
// children; nodes are addressed by slash-separated paths.
//
// Path grammar: segments separated by "/". A segment is a key, or a key
// followed by "[n]" (decimal n, counted from 1 among the children with that
// key). "[0]" means every child with the key where an operation can act on
// several (put, erase) and the first one otherwise; a negative n names no
// child. A segment without brackets means the first child with the key. An
// empty segment (two separators in a row, or one at the start) matches every
// child, taken in key order. A separator at the end adds no segment; the empty
// path names the tree itself.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <string>
#include <utility>

namespace Mirrow {

class ptree {
public:
    typedef std::pair<const std::string, ptree> value_type;
    typedef std::list<value_type> children_type;
    typedef children_type::const_iterator const_iterator;

    ptree();
    ~ptree();
    // A tree owns its subtree and is never copied or moved: children live in
    // their parent's list, and handles to trees are addresses.
    ptree(const ptree&) = delete;
    ptree& operator=(const ptree&) = delete;

    // The node at the path, or the shared empty tree when the path names no
    // node. The shared tree is const, so a miss can never be written through.
    const ptree& get_child(const std::string& path) const;
    // The tree get_child answers on a miss: compare addresses to detect one.
    static const ptree& shared_empty();

    // Sets the value of the node at the path, creating missing nodes; "[0]" on
    // the last segment sets every child with that key. Answers the (first)
    // node set.
    ptree& put(const std::string& path, const std::string& value);
    // Like put, but the last segment always gets a new child.
    ptree& add(const std::string& path, const std::string& value);
    // Removes the node at the path (every child with the key for "[0]");
    // answers how many were removed.
    int erase(const std::string& path);
    // Number of children with the key.
    int count(const std::string& key) const;

    void put_value(const std::string& text);
    const std::string& data() const;

    // Children in insertion (document) order.
    const children_type& children() const;
    const_iterator begin() const { return children().begin(); }
    const_iterator end() const { return children().end(); }
    bool empty() const { return children().empty(); }
    // The first child with the key (in insertion order), or null.
    const ptree* find(const std::string& key) const;

    // Appends a child (key, value) at the end and answers it.
    ptree& push_back(const std::string& key, const std::string& value = std::string());

private:
    struct node;

    ptree& write_path(const std::string& path, const std::string& value, bool always_new);

    std::unique_ptr<node> m_node;
};

}  // namespace Mirrow
