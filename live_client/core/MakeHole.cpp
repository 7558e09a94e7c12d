#include "live_client/core/MakeHole.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "common/TraceMessage.h"
#include "device_sdk/Teskline/Teskline.h"
#include "live_client/core/LoginInfo.h"
#include "platform/MessageBox.h"

namespace {

constexpr int kAttempts = 4;
// The local port the media-transmit library listens on; the traversal needs it too.
constexpr std::uint16_t kClientPort = 6000;

std::string DottedText(std::uint32_t networkOrder) {
  in_addr address{};
  address.s_addr = networkOrder;
  char text[INET_ADDRSTRLEN] = {};
  if (!inet_ntop(AF_INET, &address, text, sizeof text)) return {};
  return text;
}

}  // namespace

int MakeHole(CLoginInfo& login, std::uint16_t* clientPorts, void* owner,
             const HoleLanguageText& languageText) {
  TraceMessage("[KORVEL] - KORVEL: - start to make hole.");
  std::uint16_t servicePorts[TESK_PORT_ENTRIES];
  std::uint16_t localClientPorts[TESK_PORT_ENTRIES] = {};
  std::uint32_t domainIps[TESK_ADDRESS_ENTRIES];
  std::uint16_t dvrLocalPorts[TESK_PORT_ENTRIES];
  std::uint16_t clientNatPorts[TESK_PORT_ENTRIES];
  unsigned char further[80];
  localClientPorts[0] = kClientPort;
  localClientPorts[1] = kClientPort;

  // The traversal may keep the name; it gets its own terminated copy.
  char name[256] = {};
  std::snprintf(name, sizeof name, "%s", login.strAddr.c_str());

  const char* failureKey = "IDS_MAKEHOLE_FAILED";
  bool success = false;
  for (int attempt = 1; attempt <= kAttempts && !success; ++attempt) {
    TraceMessage("[KORVEL] - MakeHole %d times.", attempt);
    std::memset(servicePorts, 0, sizeof servicePorts);
    std::memset(domainIps, 0, sizeof domainIps);
    std::memset(dvrLocalPorts, 0, sizeof dvrLocalPorts);
    std::memset(clientNatPorts, 0, sizeof clientNatPorts);
    std::memset(further, 0, sizeof further);
    servicePorts[0] = static_cast<std::uint16_t>(login.nPort);
    servicePorts[1] = static_cast<std::uint16_t>(login.nPort + 1);

    const int rc = PelStartTESKMakeHole(name, servicePorts, 1, domainIps, localClientPorts,
                                        dvrLocalPorts, further, clientNatPorts);
    char line[512];
    std::snprintf(line, sizeof line,
                  "rc:%d,pClientPorts[0]:%d,pClientPorts[1]:%d,pClientPorts[2]:%d,"
                  "pServicePorts[0]:%d,pServicePorts[1]:%d,pClientNATPorts[0]:%d,"
                  "pClientNATPorts[1]:%d,pClientNATPorts[2]:%d,pDVRLocalPorts[0]:%d,"
                  "pDVRLocalPorts[1]:%d,pDVRLocalPorts[2]:%d\n",
                  rc, localClientPorts[0], localClientPorts[1], localClientPorts[2],
                  servicePorts[0], servicePorts[1], clientNatPorts[0], clientNatPorts[1],
                  clientNatPorts[2], dvrLocalPorts[0], dvrLocalPorts[1], dvrLocalPorts[2]);
    TraceMessage("[KORVEL] - %s", line);
    for (int i = 0; i < TESK_ADDRESS_ENTRIES && domainIps[i] != 0; ++i)
      TraceMessage("[KORVEL] - pDomainIPs:%s", DottedText(domainIps[i]).c_str());

    const bool haveAddress = domainIps[0] != 0;
    const std::string address = haveAddress ? DottedText(domainIps[0]) : std::string();
    auto takeAddress = [&] {
      login.SetConnectAddress(address);
      login.frwConnect.dwMediaPort = 0;
      login.frwConnect.dwReserved1 = 0;
      login.frwConnect.dwReserved2 = 0;
    };
    switch (rc) {
      case 0:
        TraceMessage("[KORVEL] - DVR is offline or old version Client, Direct connect please!");
        failureKey = "IDS_MAKEHOLE_NOTSUPPORTED";
        break;
      case 1:
        // The traversal answered without an address: nothing to connect to, so it cannot
        // count as success.
        if (haveAddress) {
          takeAddress();
          success = true;
        } else {
          failureKey = "IDS_MAKEHOLE_FAILED";
        }
        break;
      case 2:
        if (haveAddress) {
          takeAddress();
          login.frwConnect.wPort = servicePorts[0];
          login.frwConnect.dwMediaPort = servicePorts[1];
          success = true;
        } else {
          failureKey = "IDS_MAKEHOLE_FAILED";
        }
        break;
      case 3:
      case 4:
        if (haveAddress) {
          takeAddress();
          success = true;
        } else {
          failureKey = rc == 3 ? "IDS_MAKEHOLE_FAILED_3" : "IDS_MAKEHOLE_FAILED_4";
        }
        break;
      case 5:
        if (haveAddress) login.SetConnectAddress(address);
        failureKey = haveAddress ? "IDS_MAKEHOLE_FAILED" : "IDS_MAKEHOLE_FAILED_OVERTIME";
        break;
      default:
        failureKey = "IDS_MAKEHOLE_FAILED";
        break;
    }
  }
  if (!success) {
    const std::string text = languageText ? languageText(failureKey) : std::string(failureKey);
    platform::MessageBox(owner, text, "KORVEL", platform::MB_OK);
  }
  if (clientPorts) {
    clientPorts[0] = localClientPorts[0];
    clientPorts[1] = localClientPorts[1];
  }
  return success ? 1 : 0;
}
