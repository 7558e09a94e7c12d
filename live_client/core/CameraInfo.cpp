#include "live_client/core/CameraInfo.h"

void CCameraInfo::ResetSaved() {
  nPage = 0;
  nWnd = 0;
  strCamDesc.clear();
  strSvrDesc.clear();
  strAddr.clear();
  nPort = 8000;
  nPort2 = 9008;
  strUser.clear();
  strPassword.clear();
  nKind = kKindAlder;
  nChannel = 0;
}

std::string CameraHostOf(const std::string& address) {
  std::size_t from = 0;
  if (!address.empty() && address.front() == '[') {
    const std::size_t close = address.find(']');
    if (close != std::string::npos) from = close;
  }
  return address.substr(0, address.find('/', from));
}
