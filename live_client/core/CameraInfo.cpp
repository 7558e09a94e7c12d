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
