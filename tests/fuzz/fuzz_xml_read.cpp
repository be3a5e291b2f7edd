// Reads arbitrary bytes as XML into a property tree, then writes the tree
// back as XML and as its dump form.
#include <sstream>
#include <string>

#include "xml/XmlParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    Mirrow::ptree tree;
    try {
        Mirrow::read_xml(in, tree);
    } catch (const Mirrow::xml_parser_error&) {
    }
    std::ostringstream out;
    Mirrow::write_xml(out, tree);
    Mirrow::write_dump(out, tree, 0);
    return 0;
}
