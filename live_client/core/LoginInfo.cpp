#include "live_client/core/LoginInfo.h"

#include <cstring>

LoginTable g_LoginTable;

void CopyFixedText(char* field, std::size_t width, std::string_view text) {
  std::memset(field, 0, width);
  std::memcpy(field, text.data(), text.size() < width ? text.size() : width);
}

std::uint32_t DottedAddressValue(std::string_view text) {
  std::uint8_t bytes[4] = {};
  int part = 0;
  std::size_t i = 0;
  while (part < 4) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return 0xFFFFFFFFu;
    unsigned value = 0;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[i] - '0');
      if (++digits > 3 || value > 255) return 0xFFFFFFFFu;
      ++i;
    }
    bytes[part++] = static_cast<std::uint8_t>(value);
    if (part < 4) {
      if (i >= text.size() || text[i] != '.') return 0xFFFFFFFFu;
      ++i;
    }
  }
  if (i != text.size()) return 0xFFFFFFFFu;
  std::uint32_t value = 0;
  std::memcpy(&value, bytes, 4);  // network order as it lies in memory
  return value;
}

bool IsDottedAddress(std::string_view text) {
  // 255.255.255.255 is a valid address whose value equals the failure marker.
  return DottedAddressValue(text) != 0xFFFFFFFFu || text == "255.255.255.255";
}

CLoginInfo::CLoginInfo() = default;

CLoginInfo::CLoginInfo(const CCameraInfo& slot)
    : strAddr(slot.strAddr),
      nPort(slot.nPort),
      nPort2(slot.nPort2),
      strUser(slot.strUser),
      strPassword(slot.strPassword),
      nKind(slot.nKind) {
  if (nKind == kKindAlder) {
    if (IsDottedAddress(strAddr)) SetConnectAddress(strAddr);
    frwConnect.wPort = static_cast<std::uint16_t>(nPort);
    frwConnect.byChannel = static_cast<std::uint8_t>(slot.nChannel);
    frwConnect.dwMediaPort = static_cast<std::uint32_t>(nPort + 1);
    CopyFixedText(frwUser.szUser, sizeof frwUser.szUser, strUser);
    CopyFixedText(frwUser.szPassword, sizeof frwUser.szPassword, strPassword);
  } else {
    dwIP = DottedAddressValue(strAddr);
    CopyFixedText(dvrLogin.szUser, sizeof dvrLogin.szUser, strUser);
    CopyFixedText(dvrLogin.szPassword, sizeof dvrLogin.szPassword, strPassword);
    CopyFixedText(dvrLogin.szMac, sizeof dvrLogin.szMac, kClientMacText);
    dvrLogin.dwClientIp = DottedAddressValue(kClientIpText);
  }
}

CLoginInfo::CLoginInfo(const CLoginInfo& other)
    : hDvr(other.hDvr),
      strAddr(other.strAddr),
      dwIP(other.dwIP),
      nPort(other.nPort),
      nPort2(other.nPort2),
      strUser(other.strUser),
      strPassword(other.strPassword),
      nKind(other.nKind),
      dvrLogin(other.dvrLogin),
      frwConnect(other.frwConnect),
      frwUser(other.frwUser),
      lostContext(other.lostContext),
      bLoggingOut(other.bLoggingOut),
      bLostReported(other.bLostReported),
      nRef(other.nRef) {
  std::memcpy(pCamera, other.pCamera, sizeof pCamera);
}

bool CLoginInfo::operator==(const CLoginInfo& other) const {
  return strAddr == other.strAddr && nPort == other.nPort && strUser == other.strUser &&
         strPassword == other.strPassword && nKind == other.nKind;
}

bool CLoginInfo::Matches(const CCameraInfo& slot) const {
  return strAddr == slot.strAddr && nPort == slot.nPort && strUser == slot.strUser &&
         strPassword == slot.strPassword && nKind == slot.nKind;
}

void CLoginInfo::SetConnectAddress(std::string_view dotted) {
  CopyFixedText(frwConnect.szAddress, sizeof frwConnect.szAddress, dotted);
}

void SizeLoginTable(LoginTable& table, std::size_t count) {
  if (table.size() > count) table.resize(count);
  while (table.size() < count) table.push_back(std::make_unique<CLoginInfo>());
}
