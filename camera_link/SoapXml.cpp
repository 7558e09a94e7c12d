#include "camera_link/SoapXml.h"

#include <libxml/parser.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace camlink::soap {

Doc ReadDoc(const std::string& xml)
{
    if (xml.empty() || xml.size() > static_cast<size_t>(INT32_MAX))
        return nullptr;
    return Doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "soap.xml", nullptr,
                             XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

bool Named(const xmlNode* node, const char* localName)
{
    return node != nullptr && node->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(node->name), localName) == 0;
}

xmlNode* Child(const xmlNode* node, const char* localName)
{
    if (node == nullptr)
        return nullptr;
    for (xmlNode* child = node->children; child != nullptr; child = child->next)
        if (Named(child, localName))
            return child;
    return nullptr;
}

xmlNode* Find(const xmlNode* node, const char* localName)
{
    if (node == nullptr)
        return nullptr;
    for (xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (Named(child, localName))
            return child;
        if (xmlNode* found = Find(child, localName))
            return found;
    }
    return nullptr;
}

void FindAll(const xmlNode* node, const char* localName, std::vector<xmlNode*>& found)
{
    if (node == nullptr)
        return;
    for (xmlNode* child = node->children; child != nullptr; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (Named(child, localName))
            found.push_back(child);
        else
            FindAll(child, localName, found);
    }
}

std::string Text(const xmlNode* node)
{
    if (node == nullptr)
        return {};
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content != nullptr ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    size_t begin = text.find_first_not_of(" \t\r\n");
    size_t end = text.find_last_not_of(" \t\r\n");
    return begin == std::string::npos ? std::string() : text.substr(begin, end - begin + 1);
}

std::string Attribute(const xmlNode* node, const char* name)
{
    if (node == nullptr)
        return {};
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value != nullptr ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

std::string XmlEscape(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Base64(const unsigned char* data, size_t length)
{
    std::string out(4 * ((length + 2) / 3) + 1, '\0');
    int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), data,
                                  static_cast<int>(length));
    out.resize(static_cast<size_t>(std::max(written, 0)));
    return out;
}

}  // namespace camlink::soap
