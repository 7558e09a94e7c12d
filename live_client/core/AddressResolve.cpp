#include "live_client/core/AddressResolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cctype>
#include <cstring>

#include "live_client/core/LoginInfo.h"

bool IsDynamicDnsName(std::string_view name) {
  const std::string_view suffix(kDynamicDnsSuffix);
  if (name.size() <= suffix.size()) return false;
  const std::string_view tail = name.substr(name.size() - suffix.size());
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(tail[i])) !=
        std::tolower(static_cast<unsigned char>(suffix[i])))
      return false;
  }
  return true;
}

int ResolveAddress(const std::string& address, std::string& dotted) {
  if (IsDottedAddress(address)) {
    dotted = address;
    return kResolveOk;
  }
  if (IsDynamicDnsName(address)) return kResolveDynamicDns;
  if (address.empty()) return kResolveNotFound;

  // The platform layer has no name service; the resolver is reached directly here, and only
  // for names that are neither dotted addresses nor of the dynamic-DNS domain.
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int rc = getaddrinfo(address.c_str(), nullptr, &hints, &result);
  if (rc == EAI_SYSTEM || rc == EAI_MEMORY) return kResolveNoSockets;
  if (rc != 0 || !result) return kResolveNotFound;
  int outcome = kResolveNotFound;
  for (addrinfo* entry = result; entry; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || !entry->ai_addr) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) {
      dotted = text;
      outcome = kResolveOk;
      break;
    }
  }
  freeaddrinfo(result);
  return outcome;
}
