#include "camera_link/OnvifClient.h"

#include "camera_link/SoapXml.h"

#include <curl/curl.h>
#include <netdb.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <locale>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

namespace camlink::onvif {

namespace {

using soap::Base64;
using soap::XmlEscape;

constexpr const char* kDeviceActions = "http://www.onvif.org/ver10/device/wsdl/";
constexpr const char* kMediaActions = "http://www.onvif.org/ver10/media/wsdl/";
constexpr const char* kPtzActions = "http://www.onvif.org/ver20/ptz/wsdl/";
constexpr const char* kImagingActions = "http://www.onvif.org/ver20/imaging/wsdl/";

constexpr const char* kEnvelopeOpen =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
    " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
    " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
    " xmlns:tptz=\"http://www.onvif.org/ver20/ptz/wsdl\""
    " xmlns:timg=\"http://www.onvif.org/ver20/imaging/wsdl\""
    " xmlns:tt=\"http://www.onvif.org/ver10/schema\">";

// "urn:uuid:..." from 16 random bytes (version 4).
std::string RandomUuid()
{
    unsigned char bytes[16] = {};
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return {};
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);
    char text[64];
    std::snprintf(text, sizeof text,
                  "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7],
                  bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14],
                  bytes[15]);
    return text;
}

// A speed for the camera: within [-1, 1], written with a decimal point whatever the locale.
std::string Speed(double value)
{
    if (!std::isfinite(value))
        value = 0.0;
    value = std::clamp(value, -1.0, 1.0) + 0.0;  // + 0.0: no "-0.000" for a stop
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(3);
    text << std::fixed << value;
    return text.str();
}

std::string Element(const char* name, const std::string& value)
{
    return std::string("<") + name + ">" + XmlEscape(value) + "</" + name + ">";
}

struct ReplyBuffer {
    std::string* text;
    size_t limit;
    bool overflow = false;
};

// How often a transfer in flight looks at the cancel flag.
constexpr std::chrono::milliseconds kCancelPoll{50};
// Beyond this much, reasons for skipped discovery answers are no longer collected.
constexpr size_t kMaxDiscoveryErrorBytes = 2048;

size_t Collect(char* data, size_t size, size_t count, void* context)
{
    auto* buffer = static_cast<ReplyBuffer*>(context);
    size_t length = size * count;
    if (buffer->text->size() + length > buffer->limit) {
        buffer->overflow = true;
        return 0;  // curl stops the transfer
    }
    buffer->text->append(data, length);
    return length;
}

void InitCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlFree {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct MultiFree {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct HeadersFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

Client::Client(std::string deviceUrl, std::string user, std::string password)
    : deviceUrl_(std::move(deviceUrl)), user_(std::move(user)), password_(std::move(password))
{
    InitCurlOnce();
}

Result Client::Fail(Result result, const std::string& why)
{
    lastError_ = why;
    return result;
}

std::string Client::SecurityHeader() const
{
    if (user_.empty())
        return {};
    unsigned char nonce[16] = {};
    if (RAND_bytes(nonce, sizeof nonce) != 1)
        return {};
    // The camera compares this time with its own clock: written in the camera's time.
    std::time_t now = std::time(nullptr) + static_cast<std::time_t>(clockOffset_.count());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char created[32];
    std::strftime(created, sizeof created, "%Y-%m-%dT%H:%M:%SZ", &utc);

    std::string digestInput(reinterpret_cast<const char*>(nonce), sizeof nonce);
    digestInput += created;
    digestInput += password_;
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(digestInput.data()), digestInput.size(), digest);

    return "<s:Header><wsse:Security s:mustUnderstand=\"1\""
           " xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-wssecurity-secext-1.0.xsd\""
           " xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-wssecurity-utility-1.0.xsd\">"
           "<wsse:UsernameToken>" +
           Element("wsse:Username", user_) +
           "<wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">" +
           Base64(digest, sizeof digest) +
           "</wsse:Password>"
           "<wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
           "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">" +
           Base64(nonce, sizeof nonce) + "</wsse:Nonce>" + Element("wsu:Created", created) +
           "</wsse:UsernameToken></wsse:Security></s:Header>";
}

Result Client::Transfer(const std::string& url, const char* action,
                        const std::string& envelope, std::string& reply, long& status,
                        size_t limit)
{
    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    std::unique_ptr<CURLM, MultiFree> multi(curl_multi_init());
    if (!curl || !multi)
        return Fail(Result::Unreachable, "cannot start an HTTP request");
    std::unique_ptr<curl_slist, HeadersFree> headers;
    if (action != nullptr) {
        std::string contentType =
            std::string("Content-Type: application/soap+xml; charset=utf-8; action=\"") +
            action + "\"";
        headers.reset(curl_slist_append(nullptr, contentType.c_str()));
    }
    ReplyBuffer buffer{&reply, limit};
    reply.clear();
    char curlError[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout_.count()));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout_.count()));
    if (action != nullptr) {
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, envelope.c_str());
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(envelope.size()));
        curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    }
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &buffer);
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limit));
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, curlError);
    if (!user_.empty()) {
        // Cameras that guard the HTTP layer as well ask for basic or digest; curl answers
        // whichever the camera names.
        curl_easy_setopt(handle, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
        curl_easy_setopt(handle, CURLOPT_USERNAME, user_.c_str());
        curl_easy_setopt(handle, CURLOPT_PASSWORD, password_.c_str());
    }
    // Driven through a multi handle so that a cancel ends the wait within a poll interval
    // instead of at the timeout.
    curl_multi_add_handle(multi.get(), handle);
    CURLcode code = CURLE_OK;
    for (;;) {
        if (cancel_ != nullptr && cancel_->load()) {
            curl_multi_remove_handle(multi.get(), handle);
            return Fail(Result::Cancelled, url + ": cancelled");
        }
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            code = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0) {
            int left = 0;
            CURLMsg* message = curl_multi_info_read(multi.get(), &left);
            code = message != nullptr && message->msg == CURLMSG_DONE ? message->data.result
                                                                      : CURLE_FAILED_INIT;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, static_cast<int>(kCancelPoll.count()), nullptr);
    }
    curl_multi_remove_handle(multi.get(), handle);
    std::string why = curlError[0] != '\0' ? curlError : curl_easy_strerror(code);
    if (buffer.overflow || code == CURLE_FILESIZE_EXCEEDED)
        return Fail(Result::TooLarge, url + ": the reply is larger than " +
                                          std::to_string(limit >> 20) + " MiB");
    switch (code) {
    case CURLE_OK:
        break;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:  // no HTTP status line at all
    case CURLE_BAD_CONTENT_ENCODING:
        return Fail(Result::BadReply, url + ": " + why);
    default:
        return Fail(Result::Unreachable, url + ": " + why);
    }
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return Result::Ok;
}

Result Client::ServiceUrl(Service service, std::string& url)
{
    if (service == Service::Device) {
        url = deviceUrl_;
        return Result::Ok;
    }
    if (!haveCapabilities_) {
        Capabilities capabilities;
        Result result = GetCapabilities(capabilities);
        if (result != Result::Ok)
            return result;
    }
    if (service == Service::Media) {
        if (capabilities_.media.empty())
            return Fail(Result::NoMediaService, deviceUrl_ + ": the camera has no media service");
        url = capabilities_.media;
    } else if (service == Service::Ptz) {
        if (capabilities_.ptz.empty())
            return Fail(Result::NoPtzService, deviceUrl_ + ": the camera has no PTZ service");
        url = capabilities_.ptz;
    } else {
        if (capabilities_.imaging.empty())
            return Fail(Result::NoImagingService,
                        deviceUrl_ + ": the camera has no imaging service");
        url = capabilities_.imaging;
    }
    return Result::Ok;
}

Result Client::Call(Service service, const char* action, const std::string& body,
                    std::string& reply)
{
    std::string url;
    Result result = ServiceUrl(service, url);
    if (result != Result::Ok)
        return result;
    const char* actions = service == Service::Device  ? kDeviceActions
                          : service == Service::Media ? kMediaActions
                          : service == Service::Ptz   ? kPtzActions
                                                      : kImagingActions;
    std::string actionUri = std::string(actions) + action;
    // The clock question goes without credentials: we need its answer to write them.
    bool secure = std::string(action) != "GetSystemDateAndTime";
    std::string envelope = kEnvelopeOpen + (secure ? SecurityHeader() : std::string()) +
                           "<s:Body>" + body + "</s:Body></s:Envelope>";
    long status = 0;
    result = Transfer(url, actionUri.c_str(), envelope, reply, status, kMaxReplyBytes);
    if (result != Result::Ok)
        return result;
    if (status == 401 || status == 403)
        return Fail(Result::WrongCredentials,
                    url + ": the camera refused the credentials (HTTP " +
                        std::to_string(status) + ")");
    FaultInfo fault;
    std::string why;
    result = CheckEnvelope(reply, fault, why);
    if (result == Result::Fault) {
        if (fault.subcode == "NotAuthorized" || fault.subcode == "FailedAuthentication" ||
            fault.code == "FailedAuthentication" || fault.code == "NotAuthorized")
            return Fail(Result::WrongCredentials, url + ": " + action + ": " + why);
        return Fail(Result::Fault, url + ": " + action + ": " + why);
    }
    if (result != Result::Ok)
        return Fail(result, url + ": " + action + ": " + why + " (HTTP " +
                                std::to_string(status) + ")");
    if (status != 200)
        return Fail(Result::BadReply,
                    url + ": " + action + ": HTTP status " + std::to_string(status));
    return Result::Ok;
}

Result Client::SyncClock()
{
    std::string reply, why;
    Result result = Call(Service::Device, "GetSystemDateAndTime", "<tds:GetSystemDateAndTime/>",
                         reply);
    if (result != Result::Ok)
        return result;
    CameraClock clock;
    result = ParseSystemDateAndTime(reply, clock, why);
    if (result != Result::Ok)
        return Fail(result, deviceUrl_ + ": GetSystemDateAndTime: " + why);
    std::tm camera{};
    camera.tm_year = clock.year - 1900;
    camera.tm_mon = clock.month - 1;
    camera.tm_mday = clock.day;
    camera.tm_hour = clock.hour;
    camera.tm_min = clock.minute;
    camera.tm_sec = clock.second;
    clockOffset_ = std::chrono::seconds(timegm(&camera) - std::time(nullptr));
    return Result::Ok;
}

Result Client::GetDeviceInformation(DeviceInfo& info)
{
    std::string reply, why;
    Result result =
        Call(Service::Device, "GetDeviceInformation", "<tds:GetDeviceInformation/>", reply);
    if (result == Result::Ok && (result = ParseDeviceInformation(reply, info, why)) != Result::Ok)
        Fail(result, deviceUrl_ + ": GetDeviceInformation: " + why);
    return result;
}

Result Client::GetCapabilities(Capabilities& capabilities)
{
    std::string reply, why;
    Result result = Call(Service::Device, "GetCapabilities",
                         "<tds:GetCapabilities><tds:Category>All</tds:Category>"
                         "</tds:GetCapabilities>",
                         reply);
    if (result != Result::Ok)
        return result;
    result = ParseCapabilities(reply, capabilities, why);
    if (result != Result::Ok)
        return Fail(result, deviceUrl_ + ": GetCapabilities: " + why);
    capabilities_ = capabilities;
    haveCapabilities_ = true;
    return Result::Ok;
}

Result Client::GetProfiles(std::vector<Profile>& profiles)
{
    std::string reply, why;
    Result result = Call(Service::Media, "GetProfiles", "<trt:GetProfiles/>", reply);
    if (result == Result::Ok && (result = ParseProfiles(reply, profiles, why)) != Result::Ok)
        Fail(result, capabilities_.media + ": GetProfiles: " + why);
    return result;
}

Result Client::GetStreamUri(const std::string& profileToken, std::string& uri)
{
    std::string reply, why;
    Result result = Call(Service::Media, "GetStreamUri",
                         "<trt:GetStreamUri><trt:StreamSetup>"
                         "<tt:Stream>RTP-Unicast</tt:Stream>"
                         "<tt:Transport><tt:Protocol>RTSP</tt:Protocol></tt:Transport>"
                         "</trt:StreamSetup>" +
                             Element("trt:ProfileToken", profileToken) + "</trt:GetStreamUri>",
                         reply);
    if (result == Result::Ok && (result = ParseMediaUri(reply, uri, why)) != Result::Ok)
        Fail(result, capabilities_.media + ": GetStreamUri: " + why);
    return result;
}

Result Client::GetSnapshotUri(const std::string& profileToken, std::string& uri)
{
    std::string reply, why;
    Result result = Call(Service::Media, "GetSnapshotUri",
                         "<trt:GetSnapshotUri>" + Element("trt:ProfileToken", profileToken) +
                             "</trt:GetSnapshotUri>",
                         reply);
    if (result == Result::Ok && (result = ParseMediaUri(reply, uri, why)) != Result::Ok)
        Fail(result, capabilities_.media + ": GetSnapshotUri: " + why);
    return result;
}

Result Client::ContinuousMove(const std::string& profileToken, double pan, double tilt,
                              double zoom)
{
    std::string reply;
    return Call(Service::Ptz, "ContinuousMove",
                "<tptz:ContinuousMove>" + Element("tptz:ProfileToken", profileToken) +
                    "<tptz:Velocity><tt:PanTilt x=\"" + Speed(pan) + "\" y=\"" + Speed(tilt) +
                    "\"/><tt:Zoom x=\"" + Speed(zoom) +
                    "\"/></tptz:Velocity></tptz:ContinuousMove>",
                reply);
}

Result Client::Stop(const std::string& profileToken)
{
    std::string reply;
    return Call(Service::Ptz, "Stop",
                "<tptz:Stop>" + Element("tptz:ProfileToken", profileToken) +
                    "<tptz:PanTilt>true</tptz:PanTilt><tptz:Zoom>true</tptz:Zoom></tptz:Stop>",
                reply);
}

Result Client::SetPreset(const std::string& profileToken, const std::string& name,
                         std::string& presetToken)
{
    std::string reply, why;
    std::string body = "<tptz:SetPreset>" + Element("tptz:ProfileToken", profileToken) +
                       Element("tptz:PresetName", name);
    if (!presetToken.empty())
        body += Element("tptz:PresetToken", presetToken);
    body += "</tptz:SetPreset>";
    Result result = Call(Service::Ptz, "SetPreset", body, reply);
    if (result == Result::Ok &&
        (result = ParsePresetToken(reply, presetToken, why)) != Result::Ok)
        Fail(result, capabilities_.ptz + ": SetPreset: " + why);
    return result;
}

Result Client::RemovePreset(const std::string& profileToken, const std::string& presetToken)
{
    std::string reply;
    return Call(Service::Ptz, "RemovePreset",
                "<tptz:RemovePreset>" + Element("tptz:ProfileToken", profileToken) +
                    Element("tptz:PresetToken", presetToken) + "</tptz:RemovePreset>",
                reply);
}

Result Client::GotoPreset(const std::string& profileToken, const std::string& presetToken)
{
    std::string reply;
    return Call(Service::Ptz, "GotoPreset",
                "<tptz:GotoPreset>" + Element("tptz:ProfileToken", profileToken) +
                    Element("tptz:PresetToken", presetToken) + "</tptz:GotoPreset>",
                reply);
}

Result Client::FocusMove(const std::string& videoSource, double speed)
{
    std::string reply;
    return Call(Service::Imaging, "Move",
                "<timg:Move>" + Element("timg:VideoSourceToken", videoSource) +
                    "<timg:Focus><tt:Continuous><tt:Speed>" + Speed(speed) +
                    "</tt:Speed></tt:Continuous></timg:Focus></timg:Move>",
                reply);
}

Result Client::FocusStop(const std::string& videoSource)
{
    std::string reply;
    return Call(Service::Imaging, "Stop",
                "<timg:Stop>" + Element("timg:VideoSourceToken", videoSource) + "</timg:Stop>",
                reply);
}

Result Client::IrisStep(const std::string& videoSource, double step)
{
    std::string reply, why;
    Result result = Call(Service::Imaging, "GetImagingSettings",
                         "<timg:GetImagingSettings>" +
                             Element("timg:VideoSourceToken", videoSource) +
                             "</timg:GetImagingSettings>",
                         reply);
    if (result != Result::Ok)
        return result;
    double iris = 0.0;
    bool present = false;
    if ((result = ParseIris(reply, iris, present, why)) != Result::Ok)
        return Fail(result, capabilities_.imaging + ": GetImagingSettings: " + why);
    if (!present)
        return Fail(Result::NoImagingService,
                    capabilities_.imaging + ": the camera has no iris setting");
    std::ostringstream value;
    value.imbue(std::locale::classic());
    value.precision(3);
    value << std::fixed << iris + step;
    return Call(Service::Imaging, "SetImagingSettings",
                "<timg:SetImagingSettings>" + Element("timg:VideoSourceToken", videoSource) +
                    "<timg:ImagingSettings><tt:Exposure><tt:Mode>MANUAL</tt:Mode><tt:Iris>" +
                    value.str() +
                    "</tt:Iris></tt:Exposure></timg:ImagingSettings></timg:SetImagingSettings>",
                reply);
}

Result Client::FetchSnapshot(const std::string& uri, std::string& jpeg)
{
    if (uri.rfind("http://", 0) != 0 && uri.rfind("https://", 0) != 0)
        return Fail(Result::BadReply, "the snapshot address is no HTTP address");
    long status = 0;
    Result result = Transfer(uri, nullptr, std::string(), jpeg, status, kMaxSnapshotBytes);
    if (result != Result::Ok)
        return result;
    if (status == 401 || status == 403)
        return Fail(Result::WrongCredentials,
                    uri + ": the camera refused the credentials (HTTP " + std::to_string(status) +
                        ")");
    if (status != 200)
        return Fail(Result::BadReply, uri + ": HTTP status " + std::to_string(status));
    // A JPEG starts with its start-of-image marker and ends with its end marker; anything
    // else (an error page, a cut transfer) is no picture to keep.
    const bool whole = jpeg.size() >= 4 && static_cast<unsigned char>(jpeg[0]) == 0xFF &&
                       static_cast<unsigned char>(jpeg[1]) == 0xD8 &&
                       static_cast<unsigned char>(jpeg[jpeg.size() - 2]) == 0xFF &&
                       static_cast<unsigned char>(jpeg[jpeg.size() - 1]) == 0xD9;
    if (!whole)
        return Fail(Result::BadReply, uri + ": the snapshot is no whole JPEG picture");
    return Result::Ok;
}

Result Discover(const std::string& address, int port, std::chrono::milliseconds wait,
                std::vector<DiscoveredDevice>& devices, std::string& error)
{
    return Discover(std::vector<std::string>{address}, port, wait, devices, error);
}

Result Discover(const std::vector<std::string>& addresses, int port,
                std::chrono::milliseconds wait, std::vector<DiscoveredDevice>& devices,
                std::string& error, const std::atomic<bool>* cancel)
{
    std::string messageId = RandomUuid();
    if (messageId.empty()) {
        error = "no random numbers for the probe's message id";
        return Result::Unreachable;
    }
    std::string probe =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
        " xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
        " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
        " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><s:Header>"
        "<a:Action s:mustUnderstand=\"1\">"
        "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>" +
        Element("a:MessageID", messageId) +
        "<a:ReplyTo><a:Address>"
        "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"
        "</a:Address></a:ReplyTo>"
        "<a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>"
        "</s:Header><s:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types>"
        "</d:Probe></s:Body></s:Envelope>";

    // One socket per address: each answer comes back to the socket its probe left from,
    // whatever the address family.
    struct Socket {
        int fd = -1;
        ~Socket()
        {
            if (fd >= 0)
                close(fd);
        }
    };
    std::vector<Socket> sockets(addresses.size());
    std::vector<pollfd> waiting;
    std::string failures;
    auto failed = [&](const std::string& why) {
        failures += failures.empty() ? why : "; " + why;
    };
    const std::string service = std::to_string(port);
    for (size_t k = 0; k < addresses.size(); ++k) {
        const std::string& address = addresses[k];
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* target = nullptr;
        int lookup = getaddrinfo(address.c_str(), service.c_str(), &hints, &target);
        if (lookup != 0 || target == nullptr) {
            failed(address + ": " + gai_strerror(lookup));
            continue;
        }
        std::unique_ptr<addrinfo, void (*)(addrinfo*)> targetGuard(target, freeaddrinfo);
        sockets[k].fd = socket(target->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (sockets[k].fd < 0) {
            failed(address + ": cannot open a UDP socket");
            continue;
        }
        if (sendto(sockets[k].fd, probe.data(), probe.size(), 0, target->ai_addr,
                   target->ai_addrlen) < 0) {
            failed(address + ": the probe could not be sent");
            continue;
        }
        waiting.push_back(pollfd{sockets[k].fd, POLLIN, 0});
    }
    error = failures;
    if (waiting.empty()) {
        if (error.empty())
            error = "no address to probe";
        return Result::Unreachable;
    }

    std::set<std::string> seen;
    auto deadline = std::chrono::steady_clock::now() + wait;
    std::vector<char> datagram(65536);
    for (;;) {
        if (cancel != nullptr && cancel->load())
            return Result::Cancelled;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        if (cancel != nullptr)
            left = std::min(left, std::chrono::duration_cast<std::chrono::milliseconds>(
                                      kCancelPoll));
        if (poll(waiting.data(), waiting.size(), static_cast<int>(left.count())) <= 0)
            continue;
        for (pollfd& socketWaiting : waiting) {
            if ((socketWaiting.revents & POLLIN) == 0)
                continue;
            sockaddr_storage from{};
            socklen_t fromLength = sizeof from;
            ssize_t length = recvfrom(socketWaiting.fd, datagram.data(), datagram.size(), 0,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (length <= 0)
                continue;
            char host[NI_MAXHOST] = {};
            getnameinfo(reinterpret_cast<sockaddr*>(&from), fromLength, host, sizeof host,
                        nullptr, 0, NI_NUMERICHOST);
            std::vector<DiscoveredDevice> found;
            std::string why;
            if (ParseProbeMatches(std::string(datagram.data(), static_cast<size_t>(length)),
                                  messageId, found, why) != Result::Ok) {
                // Kept for the caller's trace; other answers may follow. A flood of noise
                // is not kept whole.
                if (error.size() < kMaxDiscoveryErrorBytes)
                    error += (error.empty() ? "" : "; ") + std::string(host) + ": " + why;
                continue;
            }
            for (DiscoveredDevice& device : found) {
                std::string key =
                    device.endpoint.empty() ? device.xaddrs.front() : device.endpoint;
                if (!seen.insert(key).second)
                    continue;
                device.from = host;
                devices.push_back(std::move(device));
            }
        }
    }
    return Result::Ok;
}

}  // namespace camlink::onvif
