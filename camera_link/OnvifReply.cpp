#include "camera_link/OnvifReply.h"

#include "camera_link/SoapXml.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cmath>
#include <locale>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <utility>

namespace camlink::onvif {

namespace {

using soap::Attribute;
using soap::Child;
using soap::Doc;
using soap::Find;
using soap::FindAll;
using soap::Named;
using soap::ReadDoc;
using soap::Text;

// A whole number within [low, high], or -1.
int Number(const xmlNode* node, int low, int high)
{
    std::string text = Text(node);
    if (text.empty() || text.size() > 9)
        return -1;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return -1;
    int value = std::atoi(text.c_str());
    return value < low || value > high ? -1 : value;
}

// The local part of a qualified name such as "ter:NotAuthorized".
std::string LocalPart(const std::string& qname)
{
    size_t colon = qname.rfind(':');
    return colon == std::string::npos ? qname : qname.substr(colon + 1);
}

// The Body of a SOAP envelope; a reply whose root is no Envelope is refused.
xmlNode* Body(xmlDoc* doc, std::string& error)
{
    xmlNode* root = xmlDocGetRootElement(doc);
    if (!Named(root, "Envelope")) {
        error = "the reply is no SOAP envelope";
        return nullptr;
    }
    // SOAP 1.1 envelopes come from older firmware; their bodies read the same, so the
    // envelope's namespace is not checked.
    xmlNode* body = Child(root, "Body");
    if (body == nullptr)
        error = "the SOAP envelope has no body";
    return body;
}

// Parses the reply and hands its body to read; faults and bad XML are answered here.
template <typename Reader>
Result ReadBody(const std::string& xml, std::string& error, Reader read)
{
    Doc doc = ReadDoc(xml);
    if (!doc) {
        error = "the reply is no well-formed XML";
        return Result::BadReply;
    }
    xmlNode* body = Body(doc.get(), error);
    if (body == nullptr)
        return Result::BadReply;
    if (Child(body, "Fault") != nullptr) {
        error = "the reply is a SOAP fault";
        return Result::Fault;
    }
    return read(body);
}

// The text of an element the reply must carry; `out` is left as it was when it is missing.
Result RequiredText(const xmlNode* node, const char* missing, std::string& out, std::string& error)
{
    std::string text = Text(node);
    if (text.empty()) {
        error = missing;
        return Result::BadReply;
    }
    out = std::move(text);
    return Result::Ok;
}

std::string PercentDecode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::istringstream stream(text);
    std::string word;
    while (stream >> word)
        words.push_back(word);
    return words;
}

// The value of a scope ".../<kind>/<value>", decoded; empty when the scope is of another kind.
std::string ScopeValue(const std::string& scope, const std::string& kind)
{
    std::string marker = "/" + kind + "/";
    size_t at = scope.find(marker);
    if (at == std::string::npos || scope.compare(0, 8, "onvif://") != 0)
        return {};
    return PercentDecode(scope.substr(at + marker.size()));
}

}  // namespace

const char* ResultName(Result result)
{
    switch (result) {
    case Result::Ok: return "ok";
    case Result::WrongCredentials: return "wrong credentials";
    case Result::NoMediaService: return "no media service";
    case Result::NoPtzService: return "no PTZ service";
    case Result::NoImagingService: return "no imaging service";
    case Result::Unreachable: return "unreachable";
    case Result::BadReply: return "bad reply";
    case Result::TooLarge: return "reply too large";
    case Result::Fault: return "fault";
    case Result::Cancelled: return "cancelled";
    }
    return "unknown";
}

Result CheckEnvelope(const std::string& xml, FaultInfo& fault, std::string& error)
{
    Doc doc = ReadDoc(xml);
    if (!doc) {
        error = "the reply is no well-formed XML";
        return Result::BadReply;
    }
    xmlNode* body = Body(doc.get(), error);
    if (body == nullptr)
        return Result::BadReply;
    xmlNode* faultNode = Child(body, "Fault");
    if (faultNode == nullptr)
        return Result::Ok;
    // SOAP 1.2: Code/Value and Code/Subcode/Value (nested subcodes: the innermost counts);
    // SOAP 1.1: faultcode and faultstring.
    xmlNode* code = Child(faultNode, "Code");
    fault.code = LocalPart(Text(Child(code, "Value")));
    for (xmlNode* sub = Child(code, "Subcode"); sub != nullptr; sub = Child(sub, "Subcode"))
        fault.subcode = LocalPart(Text(Child(sub, "Value")));
    fault.reason = Text(Find(faultNode, "Text"));
    if (code == nullptr) {
        fault.code = LocalPart(Text(Child(faultNode, "faultcode")));
        fault.reason = Text(Child(faultNode, "faultstring"));
    }
    error = "SOAP fault " + fault.code + (fault.subcode.empty() ? "" : "/" + fault.subcode) +
            (fault.reason.empty() ? "" : ": " + fault.reason);
    return Result::Fault;
}

Result ParseSystemDateAndTime(const std::string& xml, CameraClock& clock, std::string& error)
{
    return ReadBody(xml, error, [&](xmlNode* body) {
        xmlNode* utc = Find(body, "UTCDateTime");
        xmlNode* date = Child(utc, "Date");
        xmlNode* time = Child(utc, "Time");
        CameraClock read;
        read.year = Number(Child(date, "Year"), 1970, 9999);
        read.month = Number(Child(date, "Month"), 1, 12);
        read.day = Number(Child(date, "Day"), 1, 31);
        read.hour = Number(Child(time, "Hour"), 0, 23);
        read.minute = Number(Child(time, "Minute"), 0, 59);
        read.second = Number(Child(time, "Second"), 0, 60);
        if (read.year < 0 || read.month < 0 || read.day < 0 || read.hour < 0 ||
            read.minute < 0 || read.second < 0) {
            error = "the reply holds no valid UTC date and time";
            return Result::BadReply;
        }
        clock = read;
        return Result::Ok;
    });
}

Result ParseDeviceInformation(const std::string& xml, DeviceInfo& info, std::string& error)
{
    return ReadBody(xml, error, [&](xmlNode* body) {
        xmlNode* response = Child(body, "GetDeviceInformationResponse");
        if (response == nullptr) {
            error = "the reply holds no device information";
            return Result::BadReply;
        }
        info.manufacturer = Text(Child(response, "Manufacturer"));
        info.model = Text(Child(response, "Model"));
        info.firmware = Text(Child(response, "FirmwareVersion"));
        info.serial = Text(Child(response, "SerialNumber"));
        info.hardware = Text(Child(response, "HardwareId"));
        return Result::Ok;
    });
}

Result ParseCapabilities(const std::string& xml, Capabilities& capabilities, std::string& error)
{
    return ReadBody(xml, error, [&](xmlNode* body) {
        xmlNode* all = Find(body, "Capabilities");
        if (all == nullptr) {
            error = "the reply holds no capabilities";
            return Result::BadReply;
        }
        capabilities.device = Text(Child(Child(all, "Device"), "XAddr"));
        capabilities.media = Text(Child(Child(all, "Media"), "XAddr"));
        capabilities.ptz = Text(Child(Child(all, "PTZ"), "XAddr"));
        capabilities.imaging = Text(Child(Child(all, "Imaging"), "XAddr"));
        return Result::Ok;
    });
}

Result ParseProfiles(const std::string& xml, std::vector<Profile>& profiles, std::string& error)
{
    return ReadBody(xml, error, [&](xmlNode* body) {
        xmlNode* response = Child(body, "GetProfilesResponse");
        if (response == nullptr) {
            error = "the reply holds no profile list";
            return Result::BadReply;
        }
        std::vector<Profile> read;
        for (xmlNode* node = response->children; node != nullptr; node = node->next) {
            if (!Named(node, "Profiles"))
                continue;
            Profile profile;
            profile.token = Attribute(node, "token");
            if (profile.token.empty()) {
                error = "a profile has no token";
                return Result::BadReply;
            }
            profile.name = Text(Child(node, "Name"));
            xmlNode* video = Child(node, "VideoEncoderConfiguration");
            profile.encoding = Text(Child(video, "Encoding"));
            xmlNode* resolution = Child(video, "Resolution");
            profile.width = std::max(0, Number(Child(resolution, "Width"), 0, 65535));
            profile.height = std::max(0, Number(Child(resolution, "Height"), 0, 65535));
            profile.videoSource = Text(Child(Child(node, "VideoSourceConfiguration"), "SourceToken"));
            read.push_back(std::move(profile));
        }
        profiles = std::move(read);
        return Result::Ok;
    });
}

Result ParseMediaUri(const std::string& xml, std::string& uri, std::string& error)
{
    return ReadBody(xml, error, [&](xmlNode* body) {
        return RequiredText(Find(Find(body, "MediaUri"), "Uri"), "the reply holds no media address",
                            uri, error);
    });
}

Result ParseIris(const std::string& xml, double& iris, bool& present, std::string& error)
{
    return ReadBody(xml, error, [&](xmlNode* body) {
        xmlNode* settings = Find(body, "ImagingSettings");
        if (settings == nullptr) {
            error = "the reply holds no imaging settings";
            return Result::BadReply;
        }
        present = false;
        std::string text = Text(Child(Child(settings, "Exposure"), "Iris"));
        if (text.empty())
            return Result::Ok;
        std::istringstream in(text);
        in.imbue(std::locale::classic());
        double value = 0.0;
        if (!(in >> value) || !(in >> std::ws).eof() || !std::isfinite(value)) {
            error = "the iris setting is no number: " + text.substr(0, 40);
            return Result::BadReply;
        }
        iris = value;
        present = true;
        return Result::Ok;
    });
}

Result ParsePresetToken(const std::string& xml, std::string& token, std::string& error)
{
    return ReadBody(xml, error, [&](xmlNode* body) {
        return RequiredText(Find(Child(body, "SetPresetResponse"), "PresetToken"),
                            "the reply holds no preset token", token, error);
    });
}

Result ParseProbeMatches(const std::string& xml, const std::string& messageId,
                         std::vector<DiscoveredDevice>& devices, std::string& error)
{
    Doc doc = ReadDoc(xml);
    if (!doc) {
        error = "the answer is no well-formed XML";
        return Result::BadReply;
    }
    xmlNode* root = xmlDocGetRootElement(doc.get());
    xmlNode* body = Body(doc.get(), error);
    if (body == nullptr)
        return Result::BadReply;
    std::string relatesTo = Text(Child(Child(root, "Header"), "RelatesTo"));
    if (!messageId.empty() && relatesTo != messageId) {
        error = "the answer belongs to another probe";
        return Result::BadReply;
    }
    std::vector<xmlNode*> matches;
    FindAll(body, "ProbeMatch", matches);
    for (xmlNode* match : matches) {
        DiscoveredDevice device;
        device.endpoint = Text(Find(Child(match, "EndpointReference"), "Address"));
        device.xaddrs = Words(Text(Child(match, "XAddrs")));
        device.scopes = Words(Text(Child(match, "Scopes")));
        for (const std::string& scope : device.scopes) {
            if (device.name.empty())
                device.name = ScopeValue(scope, "name");
            if (device.hardware.empty())
                device.hardware = ScopeValue(scope, "hardware");
        }
        if (device.xaddrs.empty())
            continue;  // nothing to talk to
        devices.push_back(std::move(device));
    }
    return Result::Ok;
}

}  // namespace camlink::onvif
