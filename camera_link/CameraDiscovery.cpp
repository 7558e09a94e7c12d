#include "camera_link/CameraDiscovery.h"

#include "camera_link/Camlink.h"
#include "camera_link/OnvifClient.h"
#include "common/TraceMessage.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <netdb.h>
#include <strings.h>
#include <sys/socket.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <set>

namespace camlink {

bool SplitDiscoveryTargets(const std::string& text, std::vector<std::string>& addresses,
                           std::string& bad)
{
    addresses.clear();
    size_t at = 0;
    while (at < text.size()) {
        const size_t start = text.find_first_not_of(", \t\r\n", at);
        if (start == std::string::npos)
            break;
        size_t end = text.find_first_of(", \t\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string entry = text.substr(start, end - start);
        at = end;
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = AI_NUMERICHOST;
        addrinfo* found = nullptr;
        if (getaddrinfo(entry.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
            bad = entry;
            return false;
        }
        freeaddrinfo(found);
        addresses.push_back(std::move(entry));
    }
    return true;
}

bool ServiceHostPort(const std::string& url, std::string& host, int& port)
{
    std::vector<char> proto(16), auth(256), hostText(256), path(1024);
    int given = -1;
    av_url_split(proto.data(), static_cast<int>(proto.size()), auth.data(),
                 static_cast<int>(auth.size()), hostText.data(),
                 static_cast<int>(hostText.size()), &given, path.data(),
                 static_cast<int>(path.size()), url.c_str());
    std::string scheme = proto.data();
    for (char& c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // A host that filled its buffer may have been cut: refused rather than another host.
    if ((scheme != "http" && scheme != "https") || hostText[0] == '\0' ||
        std::strlen(hostText.data()) + 1 >= hostText.size())
        return false;
    if (given == 0 || given > 65535)
        return false;
    host = hostText.data();
    // The slot's address takes an IPv6 literal in brackets.
    if (host.find(':') != std::string::npos && host.front() != '[')
        host = "[" + host + "]";
    port = given > 0 ? given : (scheme == "https" ? 443 : 80);
    return true;
}

int DiscoverCameras(const std::vector<std::string>& addresses, int port,
                    std::chrono::milliseconds wait, const std::atomic<bool>* cancel,
                    std::vector<FoundCamera>& cameras)
{
    std::vector<onvif::DiscoveredDevice> devices;
    std::string error;
    const onvif::Result result = onvif::Discover(addresses, port, wait, devices, error, cancel);
    if (!error.empty())
        TraceMessage("[CAMLINK] - discovery: %s", error.c_str());
    if (result == onvif::Result::Cancelled)
        return CML_ERR_CANCELLED;
    if (result != onvif::Result::Ok)
        return CML_ERR_TIMEOUT;
    std::set<std::string> listed;
    for (const onvif::DiscoveredDevice& device : devices) {
        // The first plain-HTTP service address is the one a login can use; a camera naming
        // only others is still listed by the first that reads.
        FoundCamera camera;
        bool chosen = false;
        for (int pass = 0; pass < 2 && !chosen; ++pass) {
            for (const std::string& url : device.xaddrs) {
                if (pass == 0 && strncasecmp(url.c_str(), "http://", 7) != 0)
                    continue;
                if (ServiceHostPort(url, camera.host, camera.port)) {
                    camera.serviceUrl = url;
                    chosen = true;
                    break;
                }
            }
        }
        if (!chosen) {
            TraceMessage("[CAMLINK] - discovery: %s names no service address that reads",
                         device.from.c_str());
            continue;
        }
        if (!listed.insert(camera.serviceUrl).second)
            continue;
        camera.model = device.hardware;
        camera.name = device.name;
        cameras.push_back(std::move(camera));
    }
    return CML_OK;
}

}  // namespace camlink
