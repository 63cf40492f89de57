// The XML of instrument files (XRDML, BRML, RASX), read with pugixml: the document, its
// nesting checked before anything walks it, and the look-ups the readers share.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <string_view>

#include "core/result.hpp"

namespace obrin::pattern_io {

// Parses text into doc. Refused, with the line, when it is not well-formed; and when it nests
// deeper than kMaxPatternXmlDepth, which no instrument writes and which would exhaust the stack
// of any reader that recurses.
Result<void> loadXml(pugi::xml_document& doc, std::string_view text);

// The element name without its namespace prefix.
std::string_view localName(const pugi::xml_node& node);
// The first child element of that local name; an empty node when there is none.
pugi::xml_node childNamed(const pugi::xml_node& node, std::string_view name);
// The first element of that local name below node, in document order (no recursion).
pugi::xml_node descendantNamed(const pugi::xml_node& node, std::string_view name);

}  // namespace obrin::pattern_io
