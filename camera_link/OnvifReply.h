#pragma once

// Reading the answers of a network camera's device, media and PTZ services, and of its
// discovery probe. Each function takes the reply text as it came and fills plain structs;
// a reply that is no XML, or lacks what the call must return, gives BadReply with the reason.

#include <string>
#include <vector>

namespace camlink::onvif {

enum class Result {
    Ok = 0,
    WrongCredentials,  // the camera refused the user or password
    NoMediaService,    // the camera offers no media service (no profiles, no streams)
    NoPtzService,      // the camera offers no PTZ service
    NoImagingService,  // the camera offers no imaging service (focus, iris)
    Unreachable,       // no connection, or no answer within the timeout
    BadReply,          // not XML, or not the shape the call answers with
    TooLarge,          // the reply passed the size limit
    Fault,             // the camera answered with a SOAP fault other than a refusal
    Cancelled,         // the caller ended the call before the answer came
};

const char* ResultName(Result result);

// The camera's clock in UTC, from GetSystemDateAndTime.
struct CameraClock {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

struct DeviceInfo {
    std::string manufacturer;
    std::string model;
    std::string firmware;
    std::string serial;
    std::string hardware;
};

// The service addresses GetCapabilities names; empty when the camera has no such service.
struct Capabilities {
    std::string device;
    std::string media;
    std::string ptz;
    std::string imaging;  // focus and iris
};

// One media profile: what a stream of the camera looks like.
struct Profile {
    std::string token;
    std::string name;
    std::string encoding;  // "H264", "JPEG", ... as the camera names it; empty when it has none
    int width = 0;
    int height = 0;
    std::string videoSource;  // the token of the camera's video input the profile shows
};

// A camera that answered a discovery probe.
struct DiscoveredDevice {
    std::string from;                 // the address the answer came from
    std::string endpoint;             // its endpoint reference (a stable id)
    std::vector<std::string> xaddrs;  // its device service addresses
    std::vector<std::string> scopes;
    std::string name;      // from the scope .../name/<value>, percent-escapes decoded
    std::string hardware;  // from the scope .../hardware/<value>
};

// A SOAP fault: its code, subcode (local names, e.g. "Sender", "NotAuthorized") and reason.
struct FaultInfo {
    std::string code;
    std::string subcode;
    std::string reason;
};

// What any reply is before the call looks at it: parsed, a fault, or neither. `fault` is
// filled when the body holds a Fault element.
Result CheckEnvelope(const std::string& xml, FaultInfo& fault, std::string& error);

Result ParseSystemDateAndTime(const std::string& xml, CameraClock& clock, std::string& error);
Result ParseDeviceInformation(const std::string& xml, DeviceInfo& info, std::string& error);
Result ParseCapabilities(const std::string& xml, Capabilities& capabilities, std::string& error);
Result ParseProfiles(const std::string& xml, std::vector<Profile>& profiles, std::string& error);
// The <Uri> of GetStreamUri and GetSnapshotUri answers.
Result ParseMediaUri(const std::string& xml, std::string& uri, std::string& error);
// The iris setting of a GetImagingSettings answer; `present` false when it names none.
Result ParseIris(const std::string& xml, double& iris, bool& present, std::string& error);
// The preset token of a SetPreset answer.
Result ParsePresetToken(const std::string& xml, std::string& token, std::string& error);
// Every ProbeMatch of one discovery answer whose RelatesTo names messageId (any when empty).
Result ParseProbeMatches(const std::string& xml, const std::string& messageId,
                         std::vector<DiscoveredDevice>& devices, std::string& error);

}  // namespace camlink::onvif
