#include "live_client/core/KorvelRecording.h"

#include <algorithm>
#include <mutex>

#include "common/TraceMessage.h"
#include "decoder_library/Halvane.h"
#include "device_sdk/Orvane/Orvane.h"
#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelLogin.h"
#include "live_client/core/KorvelPreview.h"
#include "live_client/core/LoginInfo.h"
#include "live_client/core/PageInfo.h"
#include "live_client/settings/CRecordDlg.h"
#include "live_client/skin/TextFormat.h"
#include "live_client/storage/CRecordDrives.h"
#include "platform/Files.h"
#include "platform/TimeText.h"

namespace {

bool ValidWindow(int w) { return w >= 0 && w < kVideoWindowCount; }

int FlagsOf(int kind) { return kind == kRecordScheduled ? kCaptureFlagsScheduled : kCaptureFlagsManual; }

}  // namespace

std::string RecordingFolder(const std::string& root, const std::string& address, int port,
                            int kind, int channel, std::time_t now) {
  std::string folder = FormatText(DecodesOnClient(kind) ? "%sVIDEO\\" : "%sVIDEO\\DVR_REC\\", {root});
  // A camera's address may carry its stream path: the folder is named after the host only.
  const std::string host = kind == kKindCamera ? CameraHostOf(address) : address;
  folder += FormatText("%s[SVR%d]\\", {host, static_cast<long long>(port)});
  if (!DecodesOnClient(kind)) return folder;
  platform::LocalTime local;
  if (!platform::ToLocalTime(now, local)) local = platform::GetLocalTime();
  folder += platform::FormatTime("%Y_%m_%d\\", local);
  folder += FormatText("chn_%02d\\", {static_cast<long long>(channel + 1)});
  folder += platform::FormatTime("%H\\", local);
  return folder;
}

CKorvelRecording::CKorvelRecording(CKorvelDlg& dialog, CRecordDrives& drives, RecordingTally& tally)
    : m_dialog(dialog), m_drives(drives), m_tally(tally) {}

std::time_t CKorvelRecording::Now() const { return m_clock ? m_clock() : std::time(nullptr); }

int CKorvelRecording::RecordingCount() const {
  std::lock_guard<platform::CriticalSection> guard(m_tally.lock);
  return m_tally.count;
}

void CKorvelRecording::AddToCount(int delta) {
  std::lock_guard<platform::CriticalSection> guard(m_tally.lock);
  // A count that was never raised (a slot set up some other way) must not go negative.
  m_tally.count = std::max(0, m_tally.count + delta);
}

bool CKorvelRecording::InSchedule(const CCameraInfo& slot) const {
  return IsInScheduleAt(slot.abySchedule, Now()) != 0;
}

void CKorvelRecording::Report(int code, int page, int w) {
  const auto lParam = static_cast<platform::LPARAM>((static_cast<std::uint32_t>(w) << 16) |
                                                    static_cast<std::uint32_t>(page & 0xFFFF));
  m_dialog.Post({korvel::WM_KORVEL_ERRREPORT, static_cast<platform::WPARAM>(code), lParam});
}

std::string CKorvelRecording::SlotText(const char* key, const CCameraInfo& slot, int result) const {
  return FormatText(m_dialog.LanguageText(key),
                    {slot.strAddr, static_cast<long long>(slot.nChannel + 1),
                     static_cast<long long>(result)});
}

void CKorvelRecording::Message(const std::string& text) { m_dialog.ShowMessageOnUi(text); }

void CKorvelRecording::MessageKey(const char* key) { Message(m_dialog.LanguageText(key)); }

// --- Start and stop of one slot -----------------------------------------------------------

int CKorvelRecording::StartSlot(CCameraInfo& slot, int kind) {
  const std::string root = m_drives.RecDrive();
  // Before the watchdog's first choice there is no drive: a folder without one would land
  // wherever the program happens to run.
  if (root.empty()) return -1;
  const std::string folder =
      RecordingFolder(root, slot.strAddr, slot.nPort, slot.nKind, slot.nChannel, Now());
  if (DecodesOnClient(slot.nKind)) {
    // A camera window showing another of the camera's profiles than its slot's goes back to
    // the slot's first: the file holds the slot's stream alone, from its first key frame.
    if (slot.nKind == kKindCamera) {
      const int shown = ShownCameraProfile(slot.nPage, slot.nWnd);
      if ((shown >= 0 && shown != slot.nChannel) || CameraStreamMoving(slot.nPage, slot.nWnd)) {
        const int moved = MoveCameraStream(&m_dialog, slot, slot.nPage, slot.nWnd, slot.nChannel,
                                           StreamMove::Recording);
        if (moved != 0) {
          TraceMessage("[KORVEL] - window %d cannot record: its slot's profile did not open",
                       slot.nWnd + 1);
          return moved;
        }
      }
    }
    platform::FileError error = platform::FileError::None;
    if (!platform::CreateFolderTree(folder, &error))
      TraceMessage("[KORVEL] - cannot create %s: %s", folder.c_str(), platform::FileErrorText(error));
    const int ok = DEC_StartCapture(slot.hDecoder, folder.c_str(), FlagsOf(kind), nullptr, 0);
    if (ok == 0) {
      TraceMessage("[KORVEL] - DEC_StartCapture T|F: %d", ok);
      const int code = DEC_GetLastError();
      return code != 0 ? code : -1;
    }
    return 0;
  }
  const int result = ORVANE_startRecord(slot.hDvr, slot.nChannel, folder.c_str(), kDvrRecordSplitBytes);
  if (result != 0) TraceMessage("[KORVEL] - ORVANE_startRecord Err: %d", result);
  return result;
}

int CKorvelRecording::StopSlot(CCameraInfo& slot) {
  if (DecodesOnClient(slot.nKind)) {
    if (DEC_StopCapture(slot.hDecoder) == 1) return 0;
    const int code = DEC_GetLastError();
    return code != 0 ? code : -1;
  }
  return ORVANE_stopRecord(slot.hDvr, slot.nChannel);
}

// --- Manual recording ---------------------------------------------------------------------

void CKorvelRecording::StartManualRecord(int w) {
  if (!ValidWindow(w)) return;
  const int p = m_dialog.CurrentPage();
  if (m_dialog.m_bNoDiskSpace.load() != 0) {
    MessageKey("IDS_DISKSPACE_FULL");
    m_dialog.UpdateIndicators(p, w);
    return;
  }
  CCameraInfo& slot = g_PageInfo[p].camera[w];
  const char* refusal = nullptr;
  {
    std::lock_guard<platform::CriticalSection> slotGuard(slot.lock);
    {
      std::lock_guard<platform::CriticalSection> dialogGuard(m_dialog.m_csDialog);
      slot.bBusy = 1;
      if (!slot.IsAssigned() || !slot.bConnected) refusal = "IDS_CAMERA_NOCONNECT";
      else if (slot.nRecKind == kRecordManual) refusal = "IDS_ALREADY_RECMANUAL";
      else if (slot.nRecKind == kRecordScheduled) refusal = "IDS_ALREADY_RECAUTO";
      else if (RecordingCount() >= kMaxRecordings) refusal = "IDS_RECNUM_OVERFLOW";
      else if (m_drives.RecDrive().empty()) refusal = "IDS_DISKSPACE_FULL";

      if (!refusal) {
        if (StartSlot(slot, kRecordManual) != 0) {
          Report(kReportRecordStartFailed, p, w);
        } else {
          slot.nRecKind = kRecordManual;
          AddToCount(+1);
          m_dialog.SetRecordMark(m_dialog.CurrentPage(), w, kRecordManual);
          TraceMessage("[KORVEL] - manual recording of window %d started", w);
        }
      }
    }
    slot.bBusy = 0;
    m_dialog.UpdateIndicators(p, w);
  }
  if (refusal) MessageKey(refusal);
}

void CKorvelRecording::StopManualRecord(int w) {
  if (!ValidWindow(w)) return;
  const int p = m_dialog.CurrentPage();
  CCameraInfo& slot = g_PageInfo[p].camera[w];
  std::string failure;
  {
    std::lock_guard<platform::CriticalSection> slotGuard(slot.lock);
    {
      std::lock_guard<platform::CriticalSection> dialogGuard(m_dialog.m_csDialog);
      slot.bBusy = 1;
      if (slot.IsAssigned() && slot.nRecKind != kRecordNone && RecordingCount() > 0) {
        const int wasKind = slot.nRecKind;
        const int result = StopSlot(slot);
        if (result != 0) {
          failure = SlotText("IDS_STOPMANUALREC_ERR", slot, result);
        } else {
          slot.nRecKind = kRecordNone;
          // A scheduled recording's unit belongs to its armed schedule, which stays armed.
          if (wasKind == kRecordManual) AddToCount(-1);
          m_dialog.SetRecordMark(m_dialog.CurrentPage(), w, kRecordNone);
          TraceMessage("[KORVEL] - manual recording of window %d stopped", w);
        }
      }
    }
    slot.bBusy = 0;
    m_dialog.UpdateIndicators(p, w);
  }
  if (!failure.empty()) Message(failure);
}

// --- Schedule -----------------------------------------------------------------------------

void CKorvelRecording::DealTimerRec() {
  for (int p = 0; p < kPageCount; ++p) {
    for (int w = 0; w < kSlotsPerPage; ++w) {
      std::lock_guard<platform::CriticalSection> table(g_csCameraTable);
      CCameraInfo& slot = g_PageInfo[p].camera[w];
      std::lock_guard<platform::CriticalSection> slotGuard(slot.lock);
      if (!slot.IsAssigned() || !slot.bSchedOn || !InSchedule(slot) ||
          slot.nRecKind != kRecordNone || slot.nLostFlag)
        continue;
      slot.bBusy = 1;
      if (!slot.bConnected && slot.bTried) {
        TraceMessage("[KORVEL] - DealTimerRec: connect page %d window %d", p, w);
        CLoginInfo* login = nullptr;
        if (CheckLogin(login, slot)) {
          const int result = ConnectCamera(&m_dialog, *login, slot, p, w);
          if (result == 0) TraceMessage("[KORVEL] - nRet: %d", result);
        }
      }
      // Lack of space refuses the start quietly here: the schedule asks again every second
      // and starts the recording once a drive has room.
      if (slot.bConnected && m_dialog.m_bNoDiskSpace.load() == 0) {
        std::lock_guard<platform::CriticalSection> dialogGuard(m_dialog.m_csDialog);
        if (StartSlot(slot, kRecordScheduled) != 0) {
          Report(kReportRecordStartFailed, p, w);
        } else {
          slot.nRecKind = kRecordScheduled;
          TraceMessage("[KORVEL] - DealTimerRec: handle %d, channel %d", slot.hDvr, slot.nChannel);
          m_dialog.SetRecordMark(p, w, kRecordScheduled);
        }
      }
      slot.bBusy = 0;
      m_dialog.UpdateIndicators(p, w);
    }
  }
}

void CKorvelRecording::StopTimerRec() {
  for (int p = 0; p < kPageCount; ++p) {
    for (int w = 0; w < kSlotsPerPage; ++w) {
      std::string failure;
      bool loginMissing = false;
      {
        std::lock_guard<platform::CriticalSection> table(g_csCameraTable);
        CCameraInfo& slot = g_PageInfo[p].camera[w];
        std::lock_guard<platform::CriticalSection> slotGuard(slot.lock);
        if (!slot.IsAssigned() || !slot.bConnected) continue;
        if (slot.bSchedOn && InSchedule(slot)) continue;
        if (slot.nRecKind != kRecordScheduled) continue;
        slot.bBusy = 1;
        {
          std::lock_guard<platform::CriticalSection> dialogGuard(m_dialog.m_csDialog);
          const int result = StopSlot(slot);
          if (result != 0) {
            failure = SlotText(DecodesOnClient(slot.nKind) ? "IDS_STOPMANUALREC_ERR" : "IDS_STOPAUTOREC_ERR",
                               slot, result);
            Report(kReportRecordStopFailed, p, w);
          } else {
            TraceMessage("[KORVEL] - StopTimerRec: handle %d, channel %d", slot.hDvr, slot.nChannel);
            slot.nRecKind = kRecordNone;
            m_dialog.SetRecordMark(p, w, kRecordNone);
          }
        }
        // A slot kept connected only for its schedule lets its connection go.
        if (!slot.bSchedOn && p != m_dialog.CurrentPage() && slot.nRecKind == kRecordNone) {
          CLoginInfo* login = nullptr;
          if (CheckLogin(login, slot)) StopPreview(&m_dialog, *login, slot);
          else loginMissing = true;
        }
        slot.bBusy = 0;
        m_dialog.UpdateIndicators(p, w);
      }
      if (!failure.empty()) Message(failure);
      if (loginMissing) MessageKey("IDS_NOFIND_LOGININFO");
    }
  }
}

void CKorvelRecording::DisarmSchedule(CCameraInfo& slot) {
  if (!slot.bSchedOn) return;
  slot.bSchedOn = 0;
  AddToCount(-1);
}

// --- Drives -------------------------------------------------------------------------------

void CKorvelRecording::DiskChange() {
  TraceMessage("[KORVEL] - DiskChange.                    START:");
  m_dialog.m_bNoDiskSpace.exchange(0);
  for (int p = 0; p < kPageCount; ++p) {
    for (int w = 0; w < kSlotsPerPage; ++w) {
      std::string message;
      {
        CCameraInfo& slot = g_PageInfo[p].camera[w];
        std::lock_guard<platform::CriticalSection> slotGuard(slot.lock);
        if (!slot.IsAssigned() || slot.nRecKind == kRecordNone || RecordingCount() <= 0) continue;
        std::lock_guard<platform::CriticalSection> dialogGuard(m_dialog.m_csDialog);
        // A recording comes back as what it was: a manual one stays manual (never stopped by
        // the schedule), a scheduled one stays scheduled.
        const int kind = slot.nRecKind;
        const int stopped = StopSlot(slot);
        if (stopped != 0) {
          message = SlotText(DecodesOnClient(slot.nKind) ? "IDS_STOPMANUALREC_ERR"
                                                      : "IDS_STOPREC_ERR_WHEN_DISKCHANGE",
                             slot, stopped);
          Report(kReportRecordStopFailed, p, w);
        } else {
          if (kind == kRecordManual) AddToCount(-1);
          slot.nRecKind = kRecordNone;
          TraceMessage("[KORVEL] - DisChange: handle %d, channel %d", slot.hDvr, slot.nChannel);
          const int started = StartSlot(slot, kind);
          if (started != 0) {
            if (DecodesOnClient(slot.nKind)) TraceMessage("[KORVEL] - DEC_StartCapture Err: %d", started);
            else message = m_dialog.LanguageText("IDS_STARTREC_ERR_WHEN_DISKCHANGE");
            Report(kReportRecordStartFailed, p, w);
            m_dialog.UpdateIndicators(p, w);
            m_dialog.SetRecordMark(p, w, kRecordNone);
          } else {
            slot.nRecKind = kind;
            if (kind == kRecordManual) AddToCount(+1);
            TraceMessage("[KORVEL] - DiskChange: handle %d, channel %d", slot.hDvr, slot.nChannel);
          }
        }
      }
      if (!message.empty()) Message(message);
    }
  }
  TraceMessage("[KORVEL] - DiskChange.                    STOP:");
}

void CKorvelRecording::DiskNoSpace() {
  TraceMessage("[KORVEL] - DiskNoSpace");
  if (m_dialog.m_bNoDiskSpace.exchange(1) != 0) return;
  StopAllRecord();
}

void CKorvelRecording::StopAllRecord() {
  TraceMessage("[KORVEL] - StopAllRecord");
  for (int p = 0; p < kPageCount; ++p) {
    for (int w = 0; w < kSlotsPerPage; ++w) {
      std::string failure;
      {
        CCameraInfo& slot = g_PageInfo[p].camera[w];
        std::lock_guard<platform::CriticalSection> slotGuard(slot.lock);
        if (!slot.IsAssigned() || slot.nRecKind == kRecordNone) continue;
        std::lock_guard<platform::CriticalSection> dialogGuard(m_dialog.m_csDialog);
        const int result = StopSlot(slot);
        if (result != 0) {
          failure = SlotText("IDS_STOPREC_ERR", slot, result);
        } else {
          if (slot.nRecKind == kRecordManual) AddToCount(-1);
          slot.nRecKind = kRecordNone;
          TraceMessage("[KORVEL] - StopAllRecord: handle %d, channel %d", slot.hDvr, slot.nChannel);
          m_dialog.SetRecordMark(p, w, kRecordNone);
          m_dialog.UpdateIndicators(p, w);
        }
      }
      if (!failure.empty()) Message(failure);
    }
  }
}

// --- Preview ------------------------------------------------------------------------------

int CKorvelRecording::StopWithPreview(CCameraInfo& slot) {
  DisarmSchedule(slot);
  if (slot.nRecKind == kRecordNone) return 0;
  int result = 0;
  {
    std::lock_guard<platform::CriticalSection> dialogGuard(m_dialog.m_csDialog);
    result = StopSlot(slot);
    if (result == 0) {
      if (slot.nRecKind == kRecordManual) AddToCount(-1);
      slot.nRecKind = kRecordNone;
      TraceMessage("[KORVEL] - StopSDKPreview: recording of %s channel %d stopped",
                   slot.strAddr.c_str(), slot.nChannel);
    }
  }
  if (result != 0) {
    TraceMessage("[KORVEL] - stop record error");
    Message(FormatText(m_dialog.LanguageText("IDS_STOPREC_ERR_WHEN_DISCONNECT"),
                       {slot.strAddr, static_cast<long long>(slot.nChannel + 1)}));
  }
  return result;
}

void CKorvelRecording::RestartCaptureAfterFormatChange(CCameraInfo& slot, int page, int w) {
  const int kind = slot.nRecKind;
  if (kind == kRecordNone) return;
  if (StartSlot(slot, kind) != 0) {
    TraceMessage("[KORVEL] - capture of window %d not restarted after the format change", w);
    Report(kReportRecordStartFailed, page, w);
  }
}
