#pragma once

// A recorder login and the login table.
//
// A login is made at run time from the first slot that needs a recorder and is shared by every
// slot naming the same address, port, user, password and kind. The fixed blocks below are what
// the DVR SDK and the media-transmit library are handed at login.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "live_client/core/CameraInfo.h"
#include "platform/Sync.h"

class CLoginInfo;

#pragma pack(push, 1)
// Handed to ORVANE_loginServer (46 bytes).
struct DvrLoginBlock {
  char szUser[12];
  char szPassword[12];
  char szMac[18];            // 17 characters and NUL
  std::uint32_t dwClientIp;  // network byte order
};
// Handed to FRWCreateHandle as its connect block (32 bytes, little-endian).
struct FrwConnectBlock {
  char szAddress[16];        // dotted IPv4 text of the resolved address
  std::uint16_t wPort;
  std::uint8_t byChannel;
  std::uint8_t byReserved;
  std::uint32_t dwMediaPort;  // port + 1
  std::uint32_t dwReserved1;
  std::uint32_t dwReserved2;
};
// Handed to FRWCreateHandle as its user block (24 bytes).
struct FrwUserBlock {
  char szUser[12];
  char szPassword[12];
};
#pragma pack(pop)
static_assert(sizeof(DvrLoginBlock) == 46);
static_assert(sizeof(FrwConnectBlock) == 32);
static_assert(sizeof(FrwUserBlock) == 24);

// Handed to ORVANE_regCBMsgConnLost: everything the loss handler needs to find the login
// again without touching the tables first.
struct ConnLostContext {
  void* pMainDlg = nullptr;
  int hDvr = 0;
  std::uint32_t dwIP = 0;
  std::uint16_t nPort = 0;
  std::uint16_t nPort2 = 0;
  CLoginInfo* pLogin = nullptr;
};

// The fixed client identity every DVR login block carries.
inline constexpr const char kClientMacText[] = "00:0C:6E:4B:52:56";
inline constexpr const char kClientIpText[] = "192.168.0.100";

// Copies `text` into a fixed field of `width` bytes: a shorter text is NUL-padded, a text of
// exactly `width` characters fills the field without a terminating NUL, a longer one is cut.
void CopyFixedText(char* field, std::size_t width, std::string_view text);

// inet_addr of a dotted IPv4 text ("a.b.c.d", each 0-255): the address in network byte order
// as it lies in memory, or 0xFFFFFFFF (INADDR_NONE) for anything else.
std::uint32_t DottedAddressValue(std::string_view text);
// True when `text` is a dotted IPv4 address as above.
bool IsDottedAddress(std::string_view text);

class CLoginInfo {
 public:
  // A blank record: empty address, ports 0, kind 3, handle 0 (the login table starts with
  // 126 of these).
  CLoginInfo();
  // The record for `slot`: copies address, ports, user, password and kind; for kind 3 fills
  // the media-transmit blocks (address text only when strAddr is already a dotted address,
  // otherwise the login step resolves it into the block), for other kinds sets dwIP and fills
  // the DVR login block. The caller holds the slot's lock.
  explicit CLoginInfo(const CCameraInfo& slot);
  // Copies every field except the lock (each record has its own).
  CLoginInfo(const CLoginInfo& other);
  CLoginInfo& operator=(const CLoginInfo&) = delete;
  virtual ~CLoginInfo() = default;

  // Same address, port, user, password and kind (byte comparison of the texts).
  bool operator==(const CLoginInfo& other) const;
  // True when this record serves `slot` under the same rule.
  bool Matches(const CCameraInfo& slot) const;

  int hDvr = 0;
  std::string strAddr;
  std::uint32_t dwIP = 0;
  int nPort = 0;
  int nPort2 = 0;
  std::string strUser;
  std::string strPassword;
  int nKind = kKindAlder;
  DvrLoginBlock dvrLogin{};
  FrwConnectBlock frwConnect{};
  FrwUserBlock frwUser{};
  CCameraInfo* pCamera[kChannelsPerLogin] = {};  // guarded by `lock`
  ConnLostContext lostContext{};
  platform::CriticalSection lock;
  int bLoggingOut = 0;
  int bLostReported = 0;
  int nRef = 0;

  // Writes the resolved dotted address into the media-transmit connect block.
  void SetConnectAddress(std::string_view dotted);
};

// The login table: records live at stable addresses (workers keep pointers to them).
using LoginTable = std::vector<std::unique_ptr<CLoginInfo>>;

// Size of the login table given at the end of the main dialog's initialisation.
inline constexpr std::size_t kInitialLoginRecords = 126;

// Makes the table hold exactly `count` records: blank records are appended, records past
// `count` are removed.
void SizeLoginTable(LoginTable& table, std::size_t count);

// Process-wide login table, reached by the connect workers; the main thread fills it at
// start-up and empties it in the final teardown.
extern LoginTable g_LoginTable;
