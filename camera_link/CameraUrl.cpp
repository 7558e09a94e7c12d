#include "camera_link/CameraUrl.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace camlink {

namespace {

std::string PercentEncode(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    return out;
}

std::string PercentDecode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string HostForUrl(const std::string& host)
{
    // An IPv6 literal needs its brackets back in a URL.
    if (host.find(':') != std::string::npos && host.front() != '[')
        return "[" + host + "]";
    return host;
}

}  // namespace

CameraAddress AddressFromSlot(const std::string& hostAndPath, int port, const std::string& user,
                              const std::string& password)
{
    CameraAddress address;
    std::string text = hostAndPath;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    size_t start = 0;
    while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start])))
        ++start;
    text = text.substr(start);
    size_t slash = text.find('/');
    if (!text.empty() && text.front() == '[') {
        size_t close = text.find(']');
        slash = close == std::string::npos ? std::string::npos : text.find('/', close);
    }
    address.host = text.substr(0, slash);
    if (address.host.size() > 2 && address.host.front() == '[' && address.host.back() == ']')
        address.host = address.host.substr(1, address.host.size() - 2);
    if (slash != std::string::npos)
        address.path = text.substr(slash + 1);
    address.port = port > 0 && port <= 65535 ? port : 554;
    address.user = user;
    address.password = password;
    return address;
}

std::string RtspUrl(const CameraAddress& address)
{
    std::string url = "rtsp://";
    if (!address.user.empty())
        url += PercentEncode(address.user) + ":" + PercentEncode(address.password) + "@";
    return url + HostForUrl(address.host) + ":" + std::to_string(address.port) + "/" + address.path;
}

std::string RedactedUrl(const CameraAddress& address)
{
    std::string url = "rtsp://";
    if (!address.user.empty())
        url += PercentEncode(address.user) + ":***@";
    return url + HostForUrl(address.host) + ":" + std::to_string(address.port) + "/" + address.path;
}

bool SplitRtspUrl(const std::string& url, CameraAddress& address)
{
    std::vector<char> proto(16), auth(256), host(256), path(1024);
    int port = -1;
    av_url_split(proto.data(), static_cast<int>(proto.size()), auth.data(),
                 static_cast<int>(auth.size()), host.data(), static_cast<int>(host.size()), &port,
                 path.data(), static_cast<int>(path.size()), url.c_str());
    const std::string scheme = proto.data();
    if ((scheme != "rtsp" && scheme != "RTSP") || host[0] == '\0')
        return false;
    // A part that filled its buffer may have been cut: such an address is refused rather
    // than turned into another one.
    for (const std::vector<char>* part : {&auth, &host, &path}) {
        if (std::strlen(part->data()) + 1 >= part->size())
            return false;
    }
    address = CameraAddress();
    address.host = host.data();
    if (address.host.size() > 2 && address.host.front() == '[' && address.host.back() == ']')
        address.host = address.host.substr(1, address.host.size() - 2);
    address.port = port > 0 && port <= 65535 ? port : 554;
    std::string pathText = path.data();
    if (!pathText.empty() && pathText.front() == '/')
        pathText.erase(0, 1);
    address.path = pathText;
    const std::string credentials = auth.data();
    const size_t colon = credentials.find(':');
    address.user = PercentDecode(credentials.substr(0, colon));
    if (colon != std::string::npos)
        address.password = PercentDecode(credentials.substr(colon + 1));
    return true;
}

}  // namespace camlink
