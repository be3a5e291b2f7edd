#include "PropertyTree.h"

#include <climits>
#include <cstdlib>
#include <tuple>
#include <vector>

namespace Mirrow {

// The node record. The index maps each key to the child's list position;
// std::string orders bytes as unsigned characters, case-sensitive, and a
// multimap keeps equal keys in insertion order.
struct ptree::node {
    std::string data;
    children_type children;
    std::multimap<std::string, children_type::iterator> index;
};

namespace {

typedef std::multimap<std::string, ptree::children_type::iterator> Index;

// The position after the last "[" of a segment, read as atoi does (leading
// blanks, a sign, digits, anything after ignored), saturated to int.
long ReadPosition(const char* text) {
    const long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return v;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    if (path.empty()) return parts;
    size_t pos = 0;
    for (;;) {
        const size_t next = path.find('/', pos);
        parts.push_back(path.substr(pos, next == std::string::npos ? std::string::npos : next - pos));
        if (next == std::string::npos) break;
        pos = next + 1;
        if (pos == path.size()) break;  // a separator at the end adds no segment
    }
    return parts;
}

}  // namespace

ptree::ptree() : m_node(new node) {}

// Deep trees (a long path from a script) must not recurse through the
// destructors: the subtree's records are taken apart with a work list.
ptree::~ptree() {
    if (!m_node) return;
    std::vector<std::unique_ptr<node>> work;
    work.push_back(std::move(m_node));
    while (!work.empty()) {
        std::unique_ptr<node> n = std::move(work.back());
        work.pop_back();
        for (value_type& child : n->children)
            if (child.second.m_node) work.push_back(std::move(child.second.m_node));
    }
}

const ptree& ptree::shared_empty() {
    static const ptree empty;
    return empty;
}

const std::string& ptree::data() const { return m_node->data; }
void ptree::put_value(const std::string& text) { m_node->data = text; }
const ptree::children_type& ptree::children() const { return m_node->children; }

int ptree::count(const std::string& key) const { return static_cast<int>(m_node->index.count(key)); }

const ptree* ptree::find(const std::string& key) const {
    const auto it = m_node->index.find(key);
    return it == m_node->index.end() ? nullptr : &it->second->second;
}

ptree& ptree::push_back(const std::string& key, const std::string& value) {
    node& n = *m_node;
    n.children.emplace_back(std::piecewise_construct, std::forward_as_tuple(key), std::forward_as_tuple());
    const children_type::iterator it = std::prev(n.children.end());
    n.index.emplace(key, it);  // after the equal keys already there
    it->second.m_node->data = value;
    return it->second;
}

namespace {

struct Segment {
    std::string key;  // empty: every child, in key order
    long n = 1;       // 1-based position; 0: all (or the first); negative: none
};

Segment ParseSegment(const std::string& s) {
    Segment seg;
    const size_t open = s.rfind('[');
    if (s.size() >= 3 && s.back() == ']' && open != std::string::npos) {
        seg.key = s.substr(0, open);
        seg.n = ReadPosition(s.c_str() + open + 1);
    } else {
        seg.key = s;
    }
    return seg;
}

// The children a segment names, as index positions: every one with the key
// when all is set and the segment says "[0]", else at most the n-th one.
std::vector<Index::iterator> Matches(Index& index, const Segment& seg, bool all) {
    std::vector<Index::iterator> found;
    if (seg.n < 0) return found;
    Index::iterator first = index.begin(), last = index.end();
    if (!seg.key.empty()) std::tie(first, last) = index.equal_range(seg.key);
    const long wanted = seg.n == 0 ? 1 : seg.n;
    long position = 1;
    for (Index::iterator it = first; it != last; ++it, ++position) {
        if (seg.n == 0 && all) {
            found.push_back(it);
        } else if (position == wanted) {
            found.push_back(it);
            break;
        }
    }
    return found;
}

}  // namespace

const ptree& ptree::get_child(const std::string& path) const {
    const ptree* at = this;
    for (const std::string& part : SplitPath(path)) {
        const std::vector<Index::iterator> m = Matches(at->m_node->index, ParseSegment(part), false);
        if (m.empty()) return shared_empty();
        at = &m.front()->second->second;
    }
    return *at;
}

ptree& ptree::write_path(const std::string& path, const std::string& value, bool always_new) {
    const std::vector<std::string> parts = SplitPath(path);
    if (parts.empty()) {
        m_node->data = value;
        return *this;
    }
    ptree* at = this;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const Segment seg = ParseSegment(parts[i]);
        const std::vector<Index::iterator> m = Matches(at->m_node->index, seg, false);
        at = m.empty() ? &at->push_back(seg.key) : &m.front()->second->second;
    }
    const Segment last = ParseSegment(parts.back());
    const std::vector<Index::iterator> m =
        always_new ? std::vector<Index::iterator>() : Matches(at->m_node->index, last, true);
    if (m.empty()) return at->push_back(last.key, value);
    for (const Index::iterator& it : m) it->second->second.m_node->data = value;
    return m.front()->second->second;
}

ptree& ptree::put(const std::string& path, const std::string& value) { return write_path(path, value, false); }
ptree& ptree::add(const std::string& path, const std::string& value) { return write_path(path, value, true); }

int ptree::erase(const std::string& path) {
    const std::vector<std::string> parts = SplitPath(path);
    if (parts.empty()) return 0;  // a tree cannot remove itself
    ptree* at = this;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::vector<Index::iterator> m = Matches(at->m_node->index, ParseSegment(parts[i]), false);
        if (m.empty()) return 0;
        at = &m.front()->second->second;
    }
    node& n = *at->m_node;
    const std::vector<Index::iterator> m = Matches(n.index, ParseSegment(parts.back()), true);
    for (const Index::iterator& it : m) {
        const children_type::iterator child = it->second;
        n.index.erase(it);
        n.children.erase(child);
    }
    return static_cast<int>(m.size());
}

}  // namespace Mirrow
