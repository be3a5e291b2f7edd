// The XML writer and the dump form. Trees built from long paths can be far
// deeper than anything the reader accepts, so both walk with an explicit
// stack instead of recursing, and both stop as soon as the stream fails.
#include <ostream>
#include <vector>

#include "XmlParser.h"

namespace Mirrow {

namespace {

// A node whose children are being visited, and its key (null for the tree
// itself, which is not closed).
struct Frame {
    const ptree* node;
    ptree::const_iterator next;
    int depth;  // of the children
    const std::string* key;
};

// Visits the children of the tree depth first, in list order, with an
// explicit stack: visit(key, child, depth) handles a child and answers
// whether its children follow; leave(key, node, depth) closes such a node
// after them. Stops when the stream fails.
template <class Visit, class Leave>
void Walk(std::ostream& out, const ptree& tree, int depth, Visit visit, Leave leave) {
    std::vector<Frame> stack{{&tree, tree.begin(), depth, nullptr}};
    while (!stack.empty() && out) {
        Frame& f = stack.back();
        if (f.next == f.node->end()) {
            if (f.key) leave(*f.key, *f.node, f.depth - 1);
            stack.pop_back();
            continue;
        }
        const std::string& key = f.next->first;
        const ptree& child = f.next->second;
        const int at = f.depth;
        ++f.next;
        if (visit(key, child, at)) stack.push_back({&child, child.begin(), at + 1, &key});
    }
}

void Spaces(std::ostream& out, int n) {
    for (; n > 0; --n) out.put(' ');
}

void Indent(std::ostream& out, int depth) { Spaces(out, depth % 48); }

// The dump's indentation: two spaces a level, with the levels counted
// modulo 48 as the XML's are, so that the dump of a deep tree grows with its
// size, not with the square of its depth.
void DumpIndent(std::ostream& out, int depth) { Spaces(out, 2 * (depth % 48)); }

// Writes one element's start tag; answers true when its children follow
// (the caller then writes them and the end tag).
bool WriteElement(std::ostream& out, const std::string& key, const ptree& element, int depth) {
    Indent(out, depth);
    out << '<' << key;
    const ptree* attrs = element.find("<xmlattr>");
    if (attrs) {
        for (const ptree::value_type& a : *attrs) {
            out << ' ' << a.first << "=\"";
            encode_entities(out, a.second.data());
            out << '"';
        }
    }
    const bool hasChildren = element.children().size() > (attrs ? 1u : 0u);
    if (!hasChildren && element.data().empty()) {
        out << (!key.empty() && key[0] == '?' ? " ?>" : "/>") << '\n';
        return false;
    }
    out << '>';
    if (hasChildren) {
        out << '\n';
        return true;
    }
    encode_entities(out, element.data());
    out << "</" << key << ">\n";
    return false;
}

}  // namespace

void write_xml(std::ostream& out, const ptree& tree) {
    if (tree.count("?xml") == 0) out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    Walk(
        out, tree, 0,
        [&out](const std::string& key, const ptree& child, int depth) {
            if (key == "<xmlattr>") return false;  // written with its element
            if (key == "<xmlcomment>") {
                out << "<!--" << child.data() << "-->\n";
            } else if (key == "<xmltext>") {
                encode_entities(out, child.data());
            } else if (key == "<xmlcdata>") {
                out << "<![CDATA[" << child.data() << "]]>\n";
            } else if (!key.empty() && key[0] == '!') {
                out << '<' << key << child.data() << ">\n";
            } else {
                return WriteElement(out, key, child, depth);
            }
            return false;
        },
        [&out](const std::string& key, const ptree& element, int depth) {
            Indent(out, depth);
            encode_entities(out, element.data());
            out << "</" << key << ">\n";
        });
}

void write_dump(std::ostream& out, const ptree& tree, int depth) {
    Walk(
        out, tree, depth,
        [&out](const std::string& key, const ptree& child, int at) {
            DumpIndent(out, at);
            out << key << '\t' << child.data() << (child.empty() ? "\n" : "\t {\n");
            return !child.empty();
        },
        [&out](const std::string&, const ptree&, int at) {
            DumpIndent(out, at);
            out << "}\n";
        });
}

void encode_entities(std::ostream& out, const std::string& text) {
    size_t from = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* escape = nullptr;
        switch (text[i]) {
            case '<': escape = "&lt;"; break;
            case '>': escape = "&gt;"; break;
            case '"': escape = "&quot;"; break;
            case '\'': escape = "&apos;"; break;
            case '&': escape = "&amp;"; break;
            default: continue;
        }
        out.write(text.data() + from, static_cast<std::streamsize>(i - from));
        out << escape;
        from = i + 1;
    }
    out.write(text.data() + from, static_cast<std::streamsize>(text.size() - from));
}

}  // namespace Mirrow
