#include "io/pattern_xml.hpp"

#include <algorithm>

#include "core/limits.hpp"
#include "io/pattern_readers.hpp"

namespace obrin::pattern_io {

namespace {

// The next node of node's subtree in document order (root excluded), with depth following it.
pugi::xml_node nextInOrder(pugi::xml_node node, const pugi::xml_node& root, int& depth) {
  if (pugi::xml_node child = node.first_child()) {
    ++depth;
    return child;
  }
  while (node != root) {
    if (pugi::xml_node sibling = node.next_sibling()) return sibling;
    node = node.parent();
    --depth;
  }
  return {};
}

}  // namespace

Result<void> loadXml(pugi::xml_document& doc, std::string_view text) {
  const pugi::xml_parse_result parsed = doc.load_buffer(text.data(), text.size());
  if (!parsed) {
    const auto offset = std::clamp<std::ptrdiff_t>(parsed.offset, 0, std::ptrdiff_t(text.size()));
    const long long line = 1 + std::count(text.begin(), text.begin() + offset, '\n');
    return fail(atLine(line) + "the XML is damaged or incomplete (" + parsed.description() + ")");
  }
  // pugixml parses without recursion; this walk does not recurse either.
  int depth = 0;
  for (pugi::xml_node n = doc.first_child(); n; n = nextInOrder(n, doc, depth))
    if (depth >= kMaxPatternXmlDepth)
      return fail("its XML nests deeper than " + std::to_string(kMaxPatternXmlDepth) +
                  " levels, which no instrument writes");
  return {};
}

std::string_view localName(const pugi::xml_node& node) {
  const std::string_view name = node.name();
  const auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node childNamed(const pugi::xml_node& node, std::string_view name) {
  for (pugi::xml_node child : node.children())
    if (child.type() == pugi::node_element && localName(child) == name) return child;
  return {};
}

pugi::xml_node descendantNamed(const pugi::xml_node& node, std::string_view name) {
  int depth = 0;
  for (pugi::xml_node n = node.first_child(); n; n = nextInOrder(n, node, depth))
    if (n.type() == pugi::node_element && localName(n) == name) return n;
  return {};
}

}  // namespace obrin::pattern_io
