// onvif_sim: the service side of a network camera on one loopback address. Answers the
// device, media and PTZ calls over HTTP (libmicrohttpd) and directed discovery probes over
// UDP; checks the credential digest and its time against its own (optionally wrong) clock;
// serves two profiles whose streams live on a camera_sim, and a JPEG snapshot of each (made
// with libjpeg at start, at the profile's size); prints every PTZ and imaging call it takes
// and, when linked to its camera_sim's control socket, passes the PTZ calls on to it.
#include "camera_link/SoapXml.h"
#include "common/CommandHelp.h"

#include <arpa/inet.h>
#include <jpeglib.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxRequestBytes = 256 * 1024;

struct Options {
    std::string address = "127.0.0.1";
    int port = 8080;
    int discoveryPort = 3702;
    std::string user = "admin";
    std::string password = "s3cret";
    std::string camera = "127.0.0.1:8554";  // the camera_sim the streams point at
    long clockOffsetSeconds = 0;
    std::string name = "Test Camera";
    std::string model = "SIM-100";
    bool media = true;
    bool ptz = true;
    bool imaging = false;  // focus and iris of its one video input
    bool snapshots = true;  // names a snapshot address per profile
    std::string hostile;  // "garbage" or "huge": every HTTP answer is that instead
    bool httpDigest = false;  // the HTTP layer asks for digest credentials as well
    std::string cameraControl;  // the camera_sim's PTZ control socket; empty: not linked
};

struct Device {
    Options options;
    std::mutex lock;
    std::map<std::string, std::string> presets;  // token -> name; Guarded by lock
    int nextPreset = 1;                           // Guarded by lock
    double iris = -2.0;                           // Guarded by lock; attenuation in dB
    std::map<std::string, std::string> snapshots;  // stream path -> JPEG; made before serving
    int control = -1;  // datagram socket towards the camera's PTZ control; -1: not linked
};

volatile sig_atomic_t g_quit = 0;  // set by SIGTERM/SIGINT, read by the main loop

void Print(const std::string& line)
{
    std::printf("onvif_sim: %s\n", line.c_str());
    std::fflush(stdout);
}

// Passes one PTZ command on to the linked camera, so its picture moves. A camera that is
// not (or no longer) there costs the command, not the call: the call is still answered.
void TellCamera(Device& device, const std::string& command)
{
    if (device.control < 0)
        return;
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    std::strncpy(where.sun_path, device.options.cameraControl.c_str(), sizeof where.sun_path - 1);
    if (sendto(device.control, command.data(), command.size(), MSG_DONTWAIT,
               reinterpret_cast<const sockaddr*>(&where), sizeof where) < 0)
        Print("camera control " + device.options.cameraControl + " did not take '" + command +
              "': " + std::strerror(errno));
}

// A speed attribute of a move as the camera takes it: 0 when absent or unreadable.
std::string Speed(const std::string& text)
{
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || !(value >= -1.0 && value <= 1.0))
        return "0";
    char out[32];
    std::snprintf(out, sizeof out, "%.3f", value);
    return out;
}

// --- reading requests (libxml2) ---

using camlink::soap::Attribute;
using camlink::soap::Base64;
using camlink::soap::Doc;
using camlink::soap::Find;
using camlink::soap::Named;
using camlink::soap::ReadDoc;
using camlink::soap::Text;
using camlink::soap::XmlEscape;

xmlNode* FirstElement(const xmlNode* node)
{
    for (xmlNode* child = node != nullptr ? node->children : nullptr; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE)
            return child;
    return nullptr;
}

// --- answers ---

std::string Envelope(const std::string& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
           " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
           " xmlns:tptz=\"http://www.onvif.org/ver20/ptz/wsdl\""
           " xmlns:timg=\"http://www.onvif.org/ver20/imaging/wsdl\""
           " xmlns:tt=\"http://www.onvif.org/ver10/schema\""
           " xmlns:ter=\"http://www.onvif.org/ver10/error\">"
           "<SOAP-ENV:Body>" +
           body + "</SOAP-ENV:Body></SOAP-ENV:Envelope>\n";
}

struct Answer {
    unsigned status = MHD_HTTP_OK;
    std::string body;
};

Answer Fault(const char* subcode, const std::string& reason)
{
    return {MHD_HTTP_BAD_REQUEST,
            Envelope("<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender"
                     "</SOAP-ENV:Value><SOAP-ENV:Subcode><SOAP-ENV:Value>ter:" +
                     std::string(subcode) +
                     "</SOAP-ENV:Value></SOAP-ENV:Subcode></SOAP-ENV:Code>"
                     "<SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">" +
                     XmlEscape(reason) + "</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault>")};
}

std::time_t DeviceNow(const Options& options)
{
    return std::time(nullptr) + options.clockOffsetSeconds;
}

std::vector<unsigned char> Base64Decode(const std::string& text)
{
    if (text.empty() || text.size() % 4 != 0 || text.size() > 4096)
        return {};
    std::vector<unsigned char> out(text.size() / 4 * 3);
    int length = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(text.data()),
                                 static_cast<int>(text.size()));
    if (length < 0)
        return {};
    size_t padding = text.size() - text.find_last_not_of('=') - 1;
    out.resize(static_cast<size_t>(length) - padding);
    return out;
}

// The UsernameToken of the request: the right user, a digest made with our password, and a
// time within five minutes of our clock. Empty when it passes, else why not.
std::string CheckCredentials(const Options& options, xmlNode* root)
{
    xmlNode* token = Find(Find(root, "Security"), "UsernameToken");
    if (token == nullptr)
        return "no credentials";
    xmlNode* passwordNode = Find(token, "Password");
    if (Attribute(passwordNode, "Type").find("#PasswordDigest") == std::string::npos)
        return "no password digest";
    std::vector<unsigned char> nonce = Base64Decode(Text(Find(token, "Nonce")));
    std::string created = Text(Find(token, "Created"));
    if (nonce.empty() || created.empty())
        return "no nonce or time";
    std::string input(nonce.begin(), nonce.end());
    input += created + options.password;
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(input.data()), input.size(), digest);
    if (Text(Find(token, "Username")) != options.user ||
        Text(passwordNode) != Base64(digest, sizeof digest))
        return "wrong user or password";
    std::tm when{};
    if (strptime(created.c_str(), "%Y-%m-%dT%H:%M:%S", &when) == nullptr)
        return "unreadable time " + created;
    long skew = static_cast<long>(timegm(&when) - DeviceNow(options));
    if (skew > 300 || skew < -300)
        return "time " + created + " is " + std::to_string(skew) + " s off the device clock";
    return {};
}

struct ProfileInfo {
    const char* token;
    const char* name;
    int width;
    int height;
    std::string path;  // the camera_sim stream
};
// The sizes and stream paths may be set on the command line (before serving starts).
ProfileInfo kProfiles[] = {
    {"profile_main", "MainStream", 1920, 1080, "main"},
    {"profile_sub", "SubStream", 640, 360, "sub"},
};

// "WxH" into a profile's size; false for anything else.
bool ParseSize(const std::string& text, ProfileInfo& profile)
{
    int width = 0;
    int height = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", &width, &height, &tail) != 2 || width < 16 ||
        height < 16 || width > 8192 || height > 8192)
        return false;
    profile.width = width;
    profile.height = height;
    return true;
}

const ProfileInfo* ProfileOf(xmlNode* request)
{
    std::string token = Text(Find(request, "ProfileToken"));
    for (const ProfileInfo& profile : kProfiles)
        if (token == profile.token)
            return &profile;
    return nullptr;
}

std::string ServiceUrl(const Options& options)
{
    return "http://" + options.address + ":" + std::to_string(options.port) +
           "/onvif/device_service";
}

Answer Handle(Device& device, const std::string& request)
{
    const Options& options = device.options;
    Doc doc = ReadDoc(request);
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    xmlNode* call = FirstElement(Find(root, "Body"));
    if (!Named(root, "Envelope") || call == nullptr)
        return {MHD_HTTP_BAD_REQUEST, "no SOAP request\n"};
    std::string action = reinterpret_cast<const char*>(call->name);

    if (action == "GetSystemDateAndTime") {
        std::time_t now = DeviceNow(options);
        std::tm utc{};
        gmtime_r(&now, &utc);
        char text[512];
        std::snprintf(text, sizeof text,
                      "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>"
                      "<tt:DateTimeType>Manual</tt:DateTimeType>"
                      "<tt:DaylightSavings>false</tt:DaylightSavings>"
                      "<tt:UTCDateTime><tt:Time><tt:Hour>%d</tt:Hour><tt:Minute>%d</tt:Minute>"
                      "<tt:Second>%d</tt:Second></tt:Time><tt:Date><tt:Year>%d</tt:Year>"
                      "<tt:Month>%d</tt:Month><tt:Day>%d</tt:Day></tt:Date></tt:UTCDateTime>"
                      "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>",
                      utc.tm_hour, utc.tm_min, utc.tm_sec, utc.tm_year + 1900, utc.tm_mon + 1,
                      utc.tm_mday);
        return {MHD_HTTP_OK, Envelope(text)};
    }
    std::string refused = CheckCredentials(options, root);
    if (!refused.empty()) {
        Print("refused " + action + ": " + refused);
        return Fault("NotAuthorized", "Sender not authorized");
    }
    if (action == "GetDeviceInformation")
        return {MHD_HTTP_OK,
                Envelope("<tds:GetDeviceInformationResponse><tds:Manufacturer>Simulated"
                         "</tds:Manufacturer><tds:Model>" +
                         XmlEscape(options.model) +
                         "</tds:Model><tds:FirmwareVersion>1.0.0</tds:FirmwareVersion>"
                         "<tds:SerialNumber>SIM0001</tds:SerialNumber><tds:HardwareId>" +
                         XmlEscape(options.model) +
                         "</tds:HardwareId></tds:GetDeviceInformationResponse>")};
    if (action == "GetCapabilities") {
        std::string url = XmlEscape(ServiceUrl(options));
        std::string body = "<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Device><tt:XAddr>" +
                           url + "</tt:XAddr></tt:Device>";
        if (options.media)
            body += "<tt:Media><tt:XAddr>" + url +
                    "</tt:XAddr><tt:StreamingCapabilities><tt:RTP_RTSP_TCP>true</tt:RTP_RTSP_TCP>"
                    "</tt:StreamingCapabilities></tt:Media>";
        if (options.ptz)
            body += "<tt:PTZ><tt:XAddr>" + url + "</tt:XAddr></tt:PTZ>";
        if (options.imaging)
            body += "<tt:Imaging><tt:XAddr>" + url + "</tt:XAddr></tt:Imaging>";
        body += "</tds:Capabilities></tds:GetCapabilitiesResponse>";
        return {MHD_HTTP_OK, Envelope(body)};
    }
    if (!options.media && (action == "GetProfiles" || action == "GetStreamUri" ||
                           action == "GetSnapshotUri"))
        return Fault("ActionNotSupported", "no media service");
    if (action == "GetProfiles") {
        std::string body = "<trt:GetProfilesResponse>";
        for (const ProfileInfo& profile : kProfiles) {
            body += std::string("<trt:Profiles fixed=\"true\" token=\"") + profile.token +
                    "\"><tt:Name>" + profile.name +
                    "</tt:Name><tt:VideoSourceConfiguration token=\"src_config\">"
                    "<tt:Name>Input</tt:Name><tt:SourceToken>video_input</tt:SourceToken>"
                    "</tt:VideoSourceConfiguration><tt:VideoEncoderConfiguration token=\"enc_" + profile.path +
                    "\"><tt:Name>" + profile.name +
                    "</tt:Name><tt:Encoding>H264</tt:Encoding><tt:Resolution><tt:Width>" +
                    std::to_string(profile.width) + "</tt:Width><tt:Height>" +
                    std::to_string(profile.height) +
                    "</tt:Height></tt:Resolution></tt:VideoEncoderConfiguration></trt:Profiles>";
        }
        return {MHD_HTTP_OK, Envelope(body + "</trt:GetProfilesResponse>")};
    }
    if (action == "GetSnapshotUri" && !options.snapshots)
        return Fault("ActionNotSupported", "no snapshots");
    if (action == "GetStreamUri" || action == "GetSnapshotUri") {
        const ProfileInfo* profile = ProfileOf(call);
        if (profile == nullptr)
            return Fault("NoProfile", "no such profile");
        std::string uri = action == "GetStreamUri"
                              ? "rtsp://" + options.camera + "/" + profile->path
                              : "http://" + options.address + ":" +
                                    std::to_string(options.port) + "/snapshot/" + profile->path;
        return {MHD_HTTP_OK, Envelope("<trt:" + action + "Response><trt:MediaUri><tt:Uri>" +
                                      XmlEscape(uri) +
                                      "</tt:Uri><tt:InvalidAfterConnect>false"
                                      "</tt:InvalidAfterConnect></trt:MediaUri></trt:" +
                                      action + "Response>")};
    }

    if (action == "Move" || action == "GetImagingSettings" || action == "SetImagingSettings" ||
        (action == "Stop" && Find(call, "VideoSourceToken") != nullptr)) {
        if (!options.imaging)
            return Fault("ActionNotSupported", "no imaging service");
        if (Text(Find(call, "VideoSourceToken")) != "video_input")
            return Fault("NoSource", "no such video input");
        std::lock_guard<std::mutex> guard(device.lock);
        if (action == "Move") {
            Print("imaging Move focus=" + Text(Find(Find(call, "Continuous"), "Speed")));
            return {MHD_HTTP_OK, Envelope("<timg:MoveResponse/>")};
        }
        if (action == "Stop") {
            Print("imaging Stop");
            return {MHD_HTTP_OK, Envelope("<timg:StopResponse/>")};
        }
        if (action == "GetImagingSettings") {
            char iris[32];
            std::snprintf(iris, sizeof iris, "%.3f", device.iris);
            return {MHD_HTTP_OK,
                    Envelope(std::string("<timg:GetImagingSettingsResponse><timg:ImagingSettings>"
                                         "<tt:Brightness>50</tt:Brightness><tt:Exposure>"
                                         "<tt:Mode>AUTO</tt:Mode><tt:Iris>") +
                             iris +
                             "</tt:Iris></tt:Exposure></timg:ImagingSettings>"
                             "</timg:GetImagingSettingsResponse>")};
        }
        std::string iris = Text(Find(Find(call, "Exposure"), "Iris"));
        char* end = nullptr;
        double value = std::strtod(iris.c_str(), &end);
        if (iris.empty() || end == nullptr || *end != '\0')
            return Fault("SettingsInvalid", "no iris value");
        device.iris = value;
        Print("imaging SetImagingSettings iris=" + iris + " mode=" +
              Text(Find(Find(call, "Exposure"), "Mode")));
        return {MHD_HTTP_OK, Envelope("<timg:SetImagingSettingsResponse/>")};
    }
    if (!options.ptz)
        return Fault("ActionNotSupported", "no PTZ service");
    const ProfileInfo* profile = ProfileOf(call);
    if (profile == nullptr)
        return Fault("NoProfile", "no such profile");
    std::string on = std::string(" profile=") + profile->token;
    if (action == "ContinuousMove") {
        xmlNode* panTilt = Find(call, "PanTilt");
        Print("ptz ContinuousMove" + on + " pan=" + Attribute(panTilt, "x") +
              " tilt=" + Attribute(panTilt, "y") + " zoom=" + Attribute(Find(call, "Zoom"), "x"));
        TellCamera(device, "move " + Speed(Attribute(panTilt, "x")) + " " +
                               Speed(Attribute(panTilt, "y")) + " " +
                               Speed(Attribute(Find(call, "Zoom"), "x")));
        return {MHD_HTTP_OK, Envelope("<tptz:ContinuousMoveResponse/>")};
    }
    if (action == "Stop") {
        Print("ptz Stop" + on);
        TellCamera(device, "stop");
        return {MHD_HTTP_OK, Envelope("<tptz:StopResponse/>")};
    }
    std::lock_guard<std::mutex> guard(device.lock);
    std::string presetToken = Text(Find(call, "PresetToken"));
    if (action == "SetPreset") {
        if (presetToken.empty())
            presetToken = "preset_" + std::to_string(device.nextPreset++);
        else if (device.presets.count(presetToken) == 0)
            return Fault("NoToken", "no such preset");
        std::string name = Text(Find(call, "PresetName"));
        device.presets[presetToken] = name;
        Print("ptz SetPreset" + on + " name=" + name + " token=" + presetToken);
        TellCamera(device, "store " + presetToken);
        return {MHD_HTTP_OK, Envelope("<tptz:SetPresetResponse><tptz:PresetToken>" +
                                      XmlEscape(presetToken) +
                                      "</tptz:PresetToken></tptz:SetPresetResponse>")};
    }
    if (action == "GotoPreset" || action == "RemovePreset") {
        auto preset = device.presets.find(presetToken);
        if (preset == device.presets.end())
            return Fault("NoToken", "no such preset");
        Print("ptz " + action + on + " token=" + presetToken + " name=" + preset->second);
        TellCamera(device, (action == "RemovePreset" ? "forget " : "recall ") + presetToken);
        if (action == "RemovePreset")
            device.presets.erase(preset);
        return {MHD_HTTP_OK, Envelope("<tptz:" + action + "Response/>")};
    }
    return Fault("ActionNotSupported", "unknown call " + action);
}

// What a broken device sends instead of an answer.
Answer Hostile(const std::string& kind)
{
    if (kind == "huge") {
        // Well-formed and endless: only the size gives it away.
        std::string body = Envelope("<tds:GetDeviceInformationResponse><tds:Model>");
        body.insert(body.size() - 40, std::string(3 << 20, 'x'));
        return {MHD_HTTP_OK, body};
    }
    std::string noise;
    unsigned value = 12345;
    for (int i = 0; i < 4096; ++i) {
        value = value * 1103515245u + 12345u;
        noise += static_cast<char>(value >> 16);
    }
    return {MHD_HTTP_OK, "<<<?xml \x01\x02 not xml" + noise};
}

// A test picture of width x height as a JPEG: colour bars over a gradient, with a comment
// naming it, so a test can tell the camera's own picture from one decoded off the stream.
std::string MakeJpeg(int width, int height, const std::string& comment)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 80, TRUE);
    jpeg_start_compress(&info, TRUE);
    jpeg_write_marker(&info, JPEG_COM, reinterpret_cast<const JOCTET*>(comment.data()),
                      static_cast<unsigned>(comment.size()));
    static const unsigned char kBars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255},
                                              {0, 255, 0},     {255, 0, 255}, {255, 0, 0},
                                              {0, 0, 255},     {0, 0, 0}};
    std::vector<unsigned char> row(static_cast<size_t>(width) * 3);
    while (info.next_scanline < info.image_height) {
        const int y = static_cast<int>(info.next_scanline);
        for (int x = 0; x < width; ++x) {
            const unsigned char* bar = kBars[x * 8 / width];
            const int shade = 64 + 191 * y / height;
            for (int c = 0; c < 3; ++c)
                row[static_cast<size_t>(x) * 3 + c] = static_cast<unsigned char>(bar[c] * shade / 255);
        }
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    std::string jpeg(reinterpret_cast<const char*>(buffer), size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return jpeg;
}

MHD_Result Reply(MHD_Connection* connection, unsigned status, const std::string& body,
                 const char* type)
{
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(response, "Content-Type", type);
    MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

// GET of a snapshot address: the profile's picture, for the device's user only (HTTP basic
// unless the whole device asks for digest).
MHD_Result Snapshot(Device& device, MHD_Connection* connection, const std::string& url)
{
    if (!device.options.httpDigest) {
        char* password = nullptr;
        char* user = MHD_basic_auth_get_username_password(connection, &password);
        const bool allowed = user != nullptr && password != nullptr &&
                             device.options.user == user && device.options.password == password;
        MHD_free(user);
        MHD_free(password);
        if (!allowed) {
            static const char kRefused[] = "credentials needed\n";
            MHD_Response* refusal = MHD_create_response_from_buffer(
                sizeof kRefused - 1, const_cast<char*>(kRefused), MHD_RESPMEM_PERSISTENT);
            MHD_Result queued = MHD_queue_basic_auth_fail_response(connection, "onvif_sim", refusal);
            MHD_destroy_response(refusal);
            return queued;
        }
    }
    auto picture = device.snapshots.find(url.substr(std::strlen("/snapshot/")));
    if (picture == device.snapshots.end())
        return Reply(connection, MHD_HTTP_NOT_FOUND, "no such snapshot\n", "text/plain");
    Print("snapshot " + picture->first + " served " + std::to_string(picture->second.size()) + " bytes");
    return Reply(connection, MHD_HTTP_OK, picture->second, "image/jpeg");
}

MHD_Result OnRequest(void* context, MHD_Connection* connection, const char* url, const char* method,
                     const char*, const char* uploadData, size_t* uploadSize, void** state)
{
    auto* device = static_cast<Device*>(context);
    if (*state == nullptr) {
        *state = new std::string;
        return MHD_YES;
    }
    auto* request = static_cast<std::string*>(*state);
    if (*uploadSize != 0) {
        if (request->size() + *uploadSize <= kMaxRequestBytes)
            request->append(uploadData, *uploadSize);
        else
            request->assign(kMaxRequestBytes + 1, ' ');  // marked too large, answered below
        *uploadSize = 0;
        return MHD_YES;
    }
    if (device->options.httpDigest) {
        // libmicrohttpd keeps the nonces; a request without valid credentials gets the
        // challenge (marked stale when only its nonce was old).
        constexpr const char* kRealm = "onvif_sim";
        char* user = MHD_digest_auth_get_username(connection);
        int check = MHD_NO;
        if (user != nullptr) {
            check = MHD_digest_auth_check2(connection, kRealm, user,
                                           device->options.password.c_str(), 300,
                                           MHD_DIGEST_ALG_MD5);
            if (device->options.user != user)
                check = MHD_NO;
            MHD_free(user);
        }
        if (check != MHD_YES) {
            static const char kRefused[] = "digest credentials needed\n";
            MHD_Response* refusal = MHD_create_response_from_buffer(
                sizeof kRefused - 1, const_cast<char*>(kRefused), MHD_RESPMEM_PERSISTENT);
            MHD_Result queued = MHD_queue_auth_fail_response2(
                connection, kRealm, "0a4f113b", refusal,
                check == MHD_INVALID_NONCE ? MHD_YES : MHD_NO, MHD_DIGEST_ALG_MD5);
            MHD_destroy_response(refusal);
            if (user != nullptr)
                Print("refused HTTP digest credentials");
            return queued;
        }
    }
    if (std::strcmp(method, "GET") == 0 && std::strncmp(url, "/snapshot/", 10) == 0 &&
        device->options.hostile.empty())
        return Snapshot(*device, connection, url);
    Answer answer;
    if (!device->options.hostile.empty())
        answer = Hostile(device->options.hostile);
    else if (std::strcmp(method, "POST") != 0)
        answer = {MHD_HTTP_METHOD_NOT_ALLOWED, "POST only\n"};
    else if (request->size() > kMaxRequestBytes)
        answer = {MHD_HTTP_CONTENT_TOO_LARGE, "request too large\n"};
    else
        answer = Handle(*device, *request);
    MHD_Response* response = MHD_create_response_from_buffer(
        answer.body.size(), answer.body.data(), MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(response, "Content-Type", "application/soap+xml; charset=utf-8");
    MHD_Result queued = MHD_queue_response(connection, answer.status, response);
    MHD_destroy_response(response);
    return queued;
}

void OnRequestDone(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode)
{
    delete static_cast<std::string*>(*state);
    *state = nullptr;
}

// One discovery probe: answered when it is one, addressed back to its sender.
void AnswerProbe(const Options& options, int fd, const char* data, size_t length,
                 const sockaddr_in& from)
{
    Doc doc = ReadDoc(std::string(data, length));
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!Named(root, "Envelope") || Find(Find(root, "Body"), "Probe") == nullptr) {
        Print("ignored a datagram that is no probe");
        return;
    }
    std::string messageId = Text(Find(Find(root, "Header"), "MessageID"));
    std::string scopes = "onvif://www.onvif.org/type/video_encoder "
                         "onvif://www.onvif.org/Profile/Streaming ";
    auto escaped = [](const std::string& text) {
        xmlChar* value = xmlURIEscapeStr(reinterpret_cast<const xmlChar*>(text.c_str()),
                                         reinterpret_cast<const xmlChar*>(""));
        std::string out = value != nullptr ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
        return out;
    };
    scopes += "onvif://www.onvif.org/name/" + escaped(options.name) +
              " onvif://www.onvif.org/hardware/" + escaped(options.model);
    std::string answer =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\""
        " xmlns:wsa=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
        " xmlns:wsd=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
        " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><SOAP-ENV:Header>"
        "<wsa:MessageID>urn:uuid:sim-answer-" +
        std::to_string(std::time(nullptr)) +
        "</wsa:MessageID><wsa:RelatesTo>" + XmlEscape(messageId) +
        "</wsa:RelatesTo><wsa:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/"
        "anonymous</wsa:To><wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/"
        "ProbeMatches</wsa:Action></SOAP-ENV:Header><SOAP-ENV:Body><wsd:ProbeMatches>"
        "<wsd:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:sim-" +
        XmlEscape(options.address) + "</wsa:Address></wsa:EndpointReference>"
        "<wsd:Types>dn:NetworkVideoTransmitter</wsd:Types><wsd:Scopes>" +
        XmlEscape(scopes) + "</wsd:Scopes><wsd:XAddrs>" + XmlEscape(ServiceUrl(options)) +
        "</wsd:XAddrs><wsd:MetadataVersion>1</wsd:MetadataVersion></wsd:ProbeMatch>"
        "</wsd:ProbeMatches></SOAP-ENV:Body></SOAP-ENV:Envelope>";
    sendto(fd, answer.data(), answer.size(), 0, reinterpret_cast<const sockaddr*>(&from),
           sizeof from);
    Print("answered a probe");
}

void OnQuit(int)
{
    g_quit = 1;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string key = argv[i];
        if (key == "--no-media") { options.media = false; continue; }
        if (key == "--no-ptz") { options.ptz = false; continue; }
        if (key == "--imaging") { options.imaging = true; continue; }
        if (key == "--no-snapshot") { options.snapshots = false; continue; }
        if (key == "--http-digest") { options.httpDigest = true; continue; }
        if (i + 1 >= argc)
            return false;
        std::string value = argv[++i];
        if (key == "--address") options.address = value;
        else if (key == "--port") options.port = std::atoi(value.c_str());
        else if (key == "--discovery-port") options.discoveryPort = std::atoi(value.c_str());
        else if (key == "--user") options.user = value;
        else if (key == "--password") options.password = value;
        else if (key == "--camera") options.camera = value;
        else if (key == "--camera-control" && !value.empty()) options.cameraControl = value;
        else if (key == "--clock-offset") options.clockOffsetSeconds = std::atol(value.c_str());
        else if (key == "--name") options.name = value;
        else if (key == "--model") options.model = value;
        else if (key == "--hostile" && (value == "garbage" || value == "huge")) options.hostile = value;
        else if (key == "--main-size") { if (!ParseSize(value, kProfiles[0])) return false; }
        else if (key == "--sub-size") { if (!ParseSize(value, kProfiles[1])) return false; }
        else if (key == "--sub-path" && !value.empty()) kProfiles[1].path = value;
        else return false;
    }
    return options.port > 0 && options.port < 65536 && options.discoveryPort > 0 &&
           options.discoveryPort < 65536;
}

constexpr const char* kHelp =
    "The services side of a simulated network camera: discovery answers, device, media, PTZ\n"
    "and imaging services and JPEG snapshots over HTTP, with the stream addresses of a\n"
    "camera_sim, for testing and demonstrating the live client without camera hardware.\n"
    "\n"
    "Options:\n"
    "  --help               print this text and exit\n"
    "  --version            print the version and exit\n"
    "  --address A          address to serve on (default 127.0.0.1)\n"
    "  --port P             HTTP port of the device, media and PTZ services (default 8080)\n"
    "  --discovery-port P   UDP port answering discovery probes (default 3702)\n"
    "  --user U --password W  the credentials it takes (default admin / s3cret)\n"
    "  --camera HOST:PORT   the camera_sim its stream addresses point at\n"
    "  --camera-control PATH  pass every PTZ move, stop and preset on to that camera_sim\n"
    "                       (started with --ptz-control PATH), whose picture then moves\n"
    "  --clock-offset S     its clock runs S seconds off the real time\n"
    "  --name N --model M   what it calls itself in discovery answers\n"
    "  --no-media, --no-ptz  leave that service out\n"
    "  --imaging            serve focus and iris of its video input as well\n"
    "  --no-snapshot        name no snapshot address\n"
    "  --http-digest        ask for HTTP digest credentials as well\n"
    "  --hostile garbage|huge  answer every HTTP request with noise or with 3 MiB\n"
    "  --main-size WxH, --sub-size WxH  the sizes its two profiles announce\n"
    "                       (default 1920x1080 and 640x360)\n"
    "  --sub-path P         the camera_sim stream of the second profile (default sub)\n"
    "\n"
    "Prints 'ready' when it serves, and one line per PTZ or imaging call it takes. Stops on\n"
    "SIGTERM.\n";

}  // namespace

int main(int argc, char** argv)
{
    if (suite::AnswerHelpOrVersion(argc, argv, "[options]", kHelp))
        return 0;
    Device device;
    if (!ParseOptions(argc, argv, device.options)) {
        std::fprintf(stderr, "onvif_sim: bad arguments (see --help)\n");
        return 2;
    }
    const Options& options = device.options;
    if (!options.cameraControl.empty()) {
        if (options.cameraControl.size() >= sizeof(sockaddr_un{}.sun_path)) {
            std::fprintf(stderr, "onvif_sim: camera control path %s is too long\n",
                         options.cameraControl.c_str());
            return 2;
        }
        device.control = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (device.control < 0) {
            std::fprintf(stderr, "onvif_sim: no socket for the camera control\n");
            return 1;
        }
    }
    for (const ProfileInfo& profile : kProfiles)
        device.snapshots[profile.path] = MakeJpeg(profile.width, profile.height,
                                                  "onvif_sim snapshot " + profile.path);
    signal(SIGTERM, OnQuit);
    signal(SIGINT, OnQuit);
    signal(SIGPIPE, SIG_IGN);

    sockaddr_in where{};
    where.sin_family = AF_INET;
    if (inet_pton(AF_INET, options.address.c_str(), &where.sin_addr) != 1) {
        std::fprintf(stderr, "onvif_sim: %s is no IPv4 address\n", options.address.c_str());
        return 2;
    }
    where.sin_port = htons(static_cast<uint16_t>(options.port));
    unsigned char digestRandom[32];
    if (RAND_bytes(digestRandom, sizeof digestRandom) != 1) {
        std::fprintf(stderr, "onvif_sim: no random numbers for the digest nonces\n");
        return 1;
    }
    MHD_Daemon* daemon = MHD_start_daemon(
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ERROR_LOG, static_cast<uint16_t>(options.port),
        nullptr, nullptr, OnRequest, &device, MHD_OPTION_SOCK_ADDR, &where,
        MHD_OPTION_NOTIFY_COMPLETED, OnRequestDone, nullptr, MHD_OPTION_CONNECTION_TIMEOUT,
        10u, MHD_OPTION_DIGEST_AUTH_RANDOM, sizeof digestRandom, digestRandom,
        MHD_OPTION_NONCE_NC_SIZE, 300u, MHD_OPTION_END);
    if (daemon == nullptr) {
        std::fprintf(stderr, "onvif_sim: cannot serve HTTP on %s:%d\n", options.address.c_str(),
                     options.port);
        return 1;
    }

    int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    setsockopt(udp, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in probeAddress = where;
    probeAddress.sin_port = htons(static_cast<uint16_t>(options.discoveryPort));
    if (udp < 0 ||
        bind(udp, reinterpret_cast<sockaddr*>(&probeAddress), sizeof probeAddress) != 0) {
        std::fprintf(stderr, "onvif_sim: cannot take discovery probes on %s:%d\n",
                     options.address.c_str(), options.discoveryPort);
        MHD_stop_daemon(daemon);
        return 1;
    }
    std::printf("onvif_sim: ready on %s:%d\n", options.address.c_str(), options.port);
    std::fflush(stdout);

    std::vector<char> datagram(65536);
    while (!g_quit) {
        pollfd waiting[1] = {{udp, POLLIN, 0}};
        if (poll(waiting, 1, 200) <= 0)
            continue;
        if (waiting[0].revents & POLLIN) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            ssize_t length = recvfrom(udp, datagram.data(), datagram.size(), 0,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (length > 0)
                AnswerProbe(options, udp, datagram.data(), static_cast<size_t>(length), from);
        }
    }
    close(udp);
    MHD_stop_daemon(daemon);
    if (device.control >= 0)
        close(device.control);
    return 0;
}
