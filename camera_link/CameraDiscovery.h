#pragma once

// Finding cameras on the network for the camera link's callers: the discovery target text
// split into addresses, the probe sent to them all, and each answer reduced to what a camera
// slot needs (address and services port of the camera, its model and name).

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace camlink {

struct FoundCamera {
    std::string host;        // address of its services (brackets round an IPv6 literal)
    int port = 80;           // port of its services
    std::string model;
    std::string name;
    std::string serviceUrl;  // the service address the host and port come from
};

// Splits the target text at commas and white space. False when an entry is no numeric IPv4
// or IPv6 address (`bad` names it): a host name would make the search wait for name servers.
// A text without entries gives no addresses and true.
bool SplitDiscoveryTargets(const std::string& text, std::vector<std::string>& addresses,
                           std::string& bad);

// Host and port of a camera's service address "http://host[:port]/path"; the port is the
// scheme's own (80, or 443 for https) when the address names none. False when the text is
// no http or https address with a host.
bool ServiceHostPort(const std::string& url, std::string& host, int& port);

// Probes every address at `port` and collects the answers that come within `wait`; each
// service address is listed once. A CML_ code: CML_OK (also when none answered),
// CML_ERR_TIMEOUT when no probe could be sent, CML_ERR_CANCELLED when *cancel became true.
int DiscoverCameras(const std::vector<std::string>& addresses, int port,
                    std::chrono::milliseconds wait, const std::atomic<bool>* cancel,
                    std::vector<FoundCamera>& cameras);

}  // namespace camlink
