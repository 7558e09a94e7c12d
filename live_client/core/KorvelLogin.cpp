#include "live_client/core/KorvelLogin.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "common/TraceMessage.h"
#include "camera_link/Camlink.h"
#include "device_sdk/Ferrow/Ferrow.h"
#include "device_sdk/Orvane/Orvane.h"
#include "live_client/core/AddressResolve.h"
#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelPreview.h"
#include "live_client/core/MakeHole.h"
#include "platform/MessageBox.h"

platform::CriticalSection g_csLoginTable;

namespace {

// DVR logins report a dropped link here, on an SDK thread. Takes slot locks only.
void OnDvrConnectionLost(void* user) {
  TraceMessage("[KORVEL] - ConnLost");
  auto* context = static_cast<ConnLostContext*>(user);
  if (g_bClosing || !context) return;
  if (!context->pMainDlg && context->hDvr == 0) return;
  CLoginInfo* login = context->pLogin;
  if (!login) return;
  CCameraInfo* served[kChannelsPerLogin] = {};
  {
    std::lock_guard<platform::CriticalSection> guard(login->lock);
    if (login->hDvr != context->hDvr) {
      TraceMessage("[KORVEL] - END:  CONNLOST  1");
      return;
    }
    if (login->bLoggingOut || login->bLostReported) {
      TraceMessage("[KORVEL] - END:  CONNLOST   2");
      return;
    }
    login->bLostReported = 1;
    std::copy(std::begin(login->pCamera), std::end(login->pCamera), served);
  }
  auto* dialog = static_cast<CKorvelDlg*>(context->pMainDlg);
  if (dialog)
    dialog->Post({korvel::WM_KORVEL_ERRREPORT, 5, reinterpret_cast<platform::LPARAM>(login)});
  for (int c = 0; c < 16; ++c) {
    CCameraInfo* slot = served[c];
    if (!slot) continue;
    std::lock_guard<platform::CriticalSection> guard(slot->lock);
    if (!slot->bTried) continue;
    slot->bConnected = 0;
    slot->nLostFlag = 1;
    BlankPreviewWindow(dialog, slot->nPage, slot->nWnd, true);
    if (dialog) dialog->UpdateIndicators(slot->nPage, slot->nWnd);
  }
  TraceMessage("[KORVEL] - END:  CONNLOST   2");
}

std::string LanguageOf(CKorvelDlg* dialog, const char* key) {
  return dialog ? dialog->LanguageText(key) : std::string(key);
}

void ShowLanguageMessage(CKorvelDlg* dialog, const char* key) {
  if (dialog) dialog->Skin().ShowMessage(key, platform::MB_OK, dialog->Handle());
  else platform::MessageBox(nullptr, key, "Korvel", platform::MB_OK);
}

CLoginInfo* AppendLogin(const CLoginInfo& record) {
  std::lock_guard<platform::CriticalSection> guard(g_csLoginTable);
  g_LoginTable.push_back(std::make_unique<CLoginInfo>(record));
  return g_LoginTable.back().get();
}

int StartAlderLogin(CKorvelDlg* dialog, CLoginInfo& record, CLoginInfo*& login,
                    const CCameraInfo& slot) {
  record.frwConnect.byChannel = static_cast<std::uint8_t>(slot.nChannel);
  std::string dotted;
  const int resolved = ResolveAddress(record.strAddr, dotted);
  if (resolved == kResolveNotFound) return kConnectResolveFailed;
  const bool punched = resolved != kResolveOk;
  if (!punched) {
    record.SetConnectAddress(dotted);
    record.frwConnect.dwMediaPort = static_cast<std::uint32_t>(record.nPort + 1);
    record.frwConnect.dwReserved1 = 0;
    record.frwConnect.dwReserved2 = 0;
  } else if (!MakeHole(record, nullptr, dialog ? dialog->Handle() : nullptr,
                       [dialog](const char* key) { return LanguageOf(dialog, key); })) {
    return kConnectResolveFailed;
  }
  int handle = 0;
  const int result = FRWCreateHandle(&handle, &record.frwConnect, &record.frwUser, 0);
  const char* address = record.frwConnect.szAddress;
  char shown[sizeof record.frwConnect.szAddress + 1] = {};
  std::copy(address, address + sizeof record.frwConnect.szAddress, shown);
  if (handle != 0 && result == 0) {
    record.hDvr = handle;
    login = AppendLogin(record);
    if (!punched) {
      TraceMessage(
          "[KORVEL] - return: %d. HANDLE: %d. SVR IP: %s. First FRWCreateHandle() success, "
          "Leave StartLogin",
          result, handle, shown);
    } else {
      TraceMessage(
          "[KORVEL] - return: %d. HANDLE: %d. SVR IP: %s. FRWCreateHandle() success, Leave "
          "StartLogin",
          result, handle, shown);
      TraceMessage("[KORVEL] - Leave StartLogin");
    }
    return 0;
  }
  TraceMessage(punched ? "[KORVEL] - return: %d. HANDLE: %d. SVR IP: %s. FRWCreateHandle() FAILED"
                       : "[KORVEL] - return: %d. HANDLE: %d. SVR IP: %s. First FRWCreateHandle() "
                         "FAILED",
               result, handle, shown);
  if (handle != 0) FRWDestroyHandle(handle);
  // A refusal without a code would otherwise read as success.
  return result != 0 ? result : FRW_ERR_HANDLE;
}

int StartCameraLogin(CLoginInfo& record, CLoginInfo*& login, const CCameraInfo& slot) {
  CML_CONNECT_INFO connect{};
  CopyFixedText(connect.szHost, sizeof connect.szHost - 1, record.strAddr);
  connect.wPort = static_cast<unsigned short>(record.nPort > 0 ? record.nPort : 554);
  connect.wOnvifPort = static_cast<unsigned short>(slot.nPort2 > 0 ? slot.nPort2 : 0);
  connect.nTransport = CML_TRANSPORT_TCP;
  CopyFixedText(connect.szUser, sizeof connect.szUser - 1, record.strUser);
  CopyFixedText(connect.szPassword, sizeof connect.szPassword - 1, record.strPassword);
  int handle = 0;
  int result = CMLCreateHandle(&handle, &connect, 0);
  if (result == CML_OK) result = CMLLogin(handle, slot.nChannel);
  if (result != CML_OK) {
    TraceMessage("[KORVEL] - camera %s:%d login failed: %d", record.strAddr.c_str(), record.nPort,
                 result);
    if (handle != 0) CMLDestroyHandle(handle);
    return ReportableCameraCode(result);
  }
  record.hDvr = handle;
  login = AppendLogin(record);
  TraceMessage("[KORVEL] - camera %s:%d logged in, HANDLE: %d", record.strAddr.c_str(),
               record.nPort, handle);
  return 0;
}

int StartDvrLogin(CKorvelDlg* dialog, CLoginInfo& record, CLoginInfo*& login) {
  std::string dotted;
  if (ResolveAddress(record.strAddr, dotted) != kResolveOk) return kConnectResolveFailed;
  record.dwIP = DottedAddressValue(dotted);
  int handle = 0;
  int result = ORVANE_createDVR(&handle, record.dwIP, static_cast<unsigned short>(record.nPort));
  if (handle == 0) return result != 0 ? result : ORVANE_ERR_INVALID_HANDLE;
  record.hDvr = handle;
  record.bLoggingOut = 0;
  ORVANE_LOGIN block;
  static_assert(sizeof block == sizeof record.dvrLogin);
  std::memcpy(&block, &record.dvrLogin, sizeof block);
  result = ORVANE_loginServer(handle, &block);
  if (result != 0) {
    // The handle of a refused login serves nobody.
    ORVANE_destroyDVR(handle);
    return result;
  }
  login = AppendLogin(record);
  {
    std::lock_guard<platform::CriticalSection> guard(login->lock);
    login->lostContext = ConnLostContext{dialog, handle, record.dwIP,
                                         static_cast<std::uint16_t>(record.nPort),
                                         static_cast<std::uint16_t>(record.nPort2), login};
  }
  if (ORVANE_regCBMsgConnLost(handle, OnDvrConnectionLost, &login->lostContext) != 0)
    TraceMessage("[KORVEL] - ORVANE_regCBMsgConnLost error.");
  TraceMessage("[KORVEL] - Leave StartLogin");
  return 0;
}

}  // namespace

// The camera link's refusals as the media-transmit library's codes, so the error report
// says "OVER TIME" for a camera that is not there, "USER INFO ERROR" for refused credentials
// and "NO VIDEO SOURCE" for a stream the camera does not have.
int ReportableCameraCode(int code) {
  switch (code) {
    case CML_ERR_TIMEOUT:
    case CML_ERR_REFUSED:
    case CML_ERR_CANCELLED:
      return FRW_ERR_TIMEOUT;
    case CML_ERR_USER:
      return FRW_ERR_USER;
    case CML_ERR_NO_MEDIA:
      return kConnectNoMediaService;
    case CML_ERR_NOT_FOUND:
    case CML_ERR_NO_SOURCE:
    case CML_ERR_PROTOCOL:
      return FRW_ERR_NO_SOURCE;
    default:
      return code;
  }
}

int ChannelsOfKind(int kind) {
  switch (kind) {
    case kKindDogwood: return 4;
    case kKindCedar: return 16;
    case kKindBirch: return 8;
    case kKindAlder: return 24;
    case kKindCamera: return kChannelsPerLogin;
    default: return 0;
  }
}

void ReportConnectFailure(CKorvelDlg* dialog, int code, int window, int page) {
  if (!dialog) return;
  const auto wParam = static_cast<platform::WPARAM>(
      (static_cast<std::uint32_t>(code + 100) << 16) | 1u);
  const auto lParam = static_cast<platform::LPARAM>(
      (static_cast<std::uint32_t>(window) << 16) | static_cast<std::uint32_t>(page & 0xFFFF));
  dialog->Post({korvel::WM_KORVEL_ERRREPORT, wParam, lParam});
}

int CheckLogin(CLoginInfo*& login, const CCameraInfo& slot) {
  TraceMessage("[KORVEL] - Come into CheckLogin");
  login = nullptr;
  {
    std::lock_guard<platform::CriticalSection> guard(g_csLoginTable);
    for (const auto& record : g_LoginTable) {
      if (record && record->Matches(slot)) {
        login = record.get();
        break;
      }
    }
  }
  TraceMessage("[KORVEL] - Leave CheckLogin");
  return login ? 1 : 0;
}

int StartLogin(CKorvelDlg* dialog, CLoginInfo*& login, CCameraInfo& slot) {
  TraceMessage("[KORVEL] - Come into StartLogin");
  login = nullptr;
  CLoginInfo record(slot);
  if (record.nKind == kKindAlder) return StartAlderLogin(dialog, record, login, slot);
  if (record.nKind == kKindCamera) return StartCameraLogin(record, login, slot);
  return StartDvrLogin(dialog, record, login);
}

int ConnectCamera(CKorvelDlg* dialog, CLoginInfo& login, CCameraInfo& slot, int p, int w) {
  slot.hDvr = login.hDvr;
  slot.nPage = p;
  slot.nWnd = w;
  slot.bFmtSet = 0;
  const int result = StartSDKPreview(dialog, login, slot, p, w);
  if (result != 0) {
    ReportConnectFailure(dialog, result, w, dialog ? dialog->CurrentPage() : p);
    return result;
  }
  slot.bConnected = 1;
  slot.nLostFlag = 0;
  // The camera's own name and size of the stream, for the tree and the camera list; a slot
  // whose address names its path shows that path's stream, which is no profile.
  std::string text;
  if (slot.nKind == kKindCamera && slot.nPort2 > 0 && CameraHostOf(slot.strAddr) == slot.strAddr) {
    CML_PROFILE_INFO profile{};
    if (CMLGetProfileInfo(login.hDvr, slot.nChannel, &profile) == CML_OK) {
      text.assign(profile.szName, strnlen(profile.szName, sizeof profile.szName));
      if (profile.nWidth > 0 && profile.nHeight > 0)
        text += (text.empty() ? "" : " ") + std::to_string(profile.nWidth) + "x" + std::to_string(profile.nHeight);
    }
  }
  SetSlotProfileText(p, w, text);
  std::lock_guard<platform::CriticalSection> guard(login.lock);
  login.nRef += 1;
  if (slot.nChannel >= 0 && slot.nChannel < kChannelsPerLogin) login.pCamera[slot.nChannel] = &slot;
  return 0;
}

int StopPreview(CKorvelDlg* dialog, CLoginInfo& login, CCameraInfo& slot) {
  const int result = StopSDKPreview(dialog, slot);
  if (result != 0) TraceMessage("[KORVEL] - StopSDKPreview() error.");
  slot.bConnected = 0;
  slot.nPage = -1;
  slot.nWnd = -1;
  std::lock_guard<platform::CriticalSection> guard(login.lock);
  login.nRef -= 1;
  return result;
}

void CheckLogout(CKorvelDlg* dialog, CLoginInfo* login, CCameraInfo* slot) {
  TraceMessage("[KORVEL] - Come into CheckLogout");
  if (!login || !slot) {
    TraceMessage(
        "[KORVEL] - exit from CheckLogout: pLoginInfo == NULL || pCameraInfo == NULL");
    return;
  }
  CCameraInfo* served[kChannelsPerLogin] = {};
  {
    std::lock_guard<platform::CriticalSection> guard(login->lock);
    std::copy(std::begin(login->pCamera), std::end(login->pCamera), served);
  }
  const int channels = ChannelsOfKind(login->nKind);
  for (int c = 0; c < channels && c < kChannelsPerLogin; ++c) {
    CCameraInfo* other = served[c];
    if (!other || other == slot) continue;
    std::lock_guard<platform::CriticalSection> guard(other->lock);
    if (other->bTried) {
      TraceMessage("[KORVEL] - exit from CheckLogout");
      return;
    }
  }

  CLoginInfo* found = nullptr;
  {
    std::lock_guard<platform::CriticalSection> guard(g_csLoginTable);
    for (const auto& record : g_LoginTable) {
      if (record && *record == *login) {
        found = record.get();
        break;
      }
    }
  }
  if (!found) {
    ShowLanguageMessage(dialog, "IDS_LOGOUT_ERR");
    TraceMessage("[KORVEL] - exit from CheckLogout");
    return;
  }
  int handle = 0;
  {
    std::lock_guard<platform::CriticalSection> guard(found->lock);
    found->bLoggingOut = 1;
    handle = found->hDvr;
  }
  auto removeRecord = [found] {
    std::lock_guard<platform::CriticalSection> guard(g_csLoginTable);
    for (auto it = g_LoginTable.begin(); it != g_LoginTable.end(); ++it) {
      if (it->get() == found) {
        g_LoginTable.erase(it);
        break;
      }
    }
    TraceMessage("[KORVEL] - Remove loginInfo");
  };
  if (found->nKind == kKindAlder) {
    FRWDestroyHandle(slot->hDvr != 0 ? slot->hDvr : handle);
    removeRecord();
  } else if (found->nKind == kKindCamera) {
    CMLDestroyHandle(handle);
    removeRecord();
  } else {
    const int result = ORVANE_logoutServer(handle);
    if (result != 0 && result != ORVANE_ERR_NOT_LOGGED_IN)
      TraceMessage("[KORVEL] - ORVANE_logoutServer() error.");
    if (ORVANE_destroyDVR(handle) == 0) {
      removeRecord();
    } else {
      ShowLanguageMessage(dialog, "IDS_DESTROYDVR_ERR");
      TraceMessage("[KORVEL] - ORVANE_destroyDVR() error");
    }
  }
  TraceMessage("[KORVEL] - exit from CheckLogout");
}
