#pragma once

// What both ends of the camera services read and write: libxml2 documents parsed without the
// network, elements found by local name whatever a camera's namespace prefixes, text escaped
// for XML, and the Base64 of the credential digest.

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <vector>

namespace camlink::soap {

struct DocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

// Parses without the network and without expanding entities: the text comes from a peer we do
// not trust. Null for empty, oversized or malformed text.
Doc ReadDoc(const std::string& xml);

bool Named(const xmlNode* node, const char* localName);
// First child element of node with that local name (any namespace).
xmlNode* Child(const xmlNode* node, const char* localName);
// First element with that local name anywhere below node, depth first.
xmlNode* Find(const xmlNode* node, const char* localName);
// Every element with that local name below node, not looking inside the ones found.
void FindAll(const xmlNode* node, const char* localName, std::vector<xmlNode*>& found);
// The node's text without surrounding white space; empty for a null node.
std::string Text(const xmlNode* node);
// The attribute's value; empty when the node or the attribute is missing.
std::string Attribute(const xmlNode* node, const char* name);

// Text made safe to stand inside an XML element or a quoted attribute.
std::string XmlEscape(const std::string& text);

std::string Base64(const unsigned char* data, size_t length);

}  // namespace camlink::soap
