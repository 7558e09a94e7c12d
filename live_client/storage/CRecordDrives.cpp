#include "live_client/storage/CRecordDrives.h"

#include <mutex>

#include "common/TraceMessage.h"
#include "live_client/skin/TextFormat.h"

namespace {

// "DealDriver::DiskNospace: <minimum space>:%d - <actual capacity>: %d" (code page 936).
const char kNoSpaceTrace[] =
    "DealDriver::DiskNospace: \xD7\xEE\xD0\xA1\xBF\xD5\xBC\xE4:%d - "
    "\xCA\xB5\xBC\xCA\xC8\xDD\xC1\xBF: %d";
// Status text while no drive has been chosen: "all disk space full" (code page 936).
const char kAllDisksFullText[] = "\xC8\xAB\xB2\xBF\xB4\xC5\xC5\xCC\xBF\xD5\xBC\xE4\xC2\xFA";

// The mask has one bit per list entry; entries past the 32nd can never be chosen.
constexpr int kMaskBits = 32;

bool MaskAllows(unsigned mask, std::size_t k) {
  return k < static_cast<std::size_t>(kMaskBits) && (mask & (1u << k)) != 0;
}

// The minimum comes from the configuration file; widened so a huge value cannot wrap.
bool HasRoom(int freeMB, int minMB) {
  return static_cast<long long>(freeMB) > static_cast<long long>(minMB) + kDriveChoiceMarginMB;
}

}  // namespace

CRecordDrives::CRecordDrives(MDiskManager& disks, CKorvelSettings& settings,
                             std::vector<std::string>& diskList, std::atomic<int>& noDiskSpace,
                             platform::CriticalSection* driveLock)
    : m_disks(disks),
      m_settings(settings),
      m_diskList(diskList),
      m_bNoDiskSpace(noDiskSpace),
      m_lock(driveLock ? *driveLock : m_csDrives) {}

void CRecordDrives::BuildDiskList() {
  std::lock_guard<platform::CriticalSection> guard(m_lock);
  m_diskList.clear();
  unsigned mask = 0;
  for (int k = 0; k < m_disks.Count(); ++k) {
    const std::string root = m_disks.RootAt(k);
    if (root.empty()) continue;
    m_diskList.push_back(root);
    const std::size_t position = m_diskList.size() - 1;
    if (position < static_cast<std::size_t>(kMaskBits)) mask |= 1u << position;
  }
  m_settings.m_nRecDriveMask = static_cast<int>(mask);
  TraceMessage("[KORVEL] - m_strDiskLst num: %d", static_cast<int>(m_diskList.size()));
}

std::string CRecordDrives::RecDrive() const {
  std::lock_guard<platform::CriticalSection> guard(m_lock);
  return m_settings.m_strRecDrive;
}

void CRecordDrives::SetRecDrive(const std::string& root) {
  std::lock_guard<platform::CriticalSection> guard(m_lock);
  m_settings.m_strRecDrive = root;
}

int CRecordDrives::FreeOfCurrent() { return m_disks.FreeSpaceMB(RecDrive()); }

void CRecordDrives::SetNoDiskSpace(int value) { m_bNoDiskSpace.exchange(value); }

std::string CRecordDrives::FindDriveWithRoom(const std::vector<std::string>& list, unsigned mask,
                                             int minMB) {
  for (std::size_t k = 0; k < list.size(); ++k) {
    if (!MaskAllows(mask, k)) continue;
    if (HasRoom(m_disks.FreeSpaceMB(list[k]), minMB)) return list[k];
  }
  return {};
}

void CRecordDrives::DiskNospace(RecordingControl& recording) {
  // One consistent view of the settings for the whole step: the disk page may change them
  // on the UI thread meanwhile, and the next tick sees the change.
  std::vector<std::string> list;
  unsigned mask = 0;
  int minMB = 0;
  {
    std::lock_guard<platform::CriticalSection> guard(m_lock);
    list = m_diskList;
    mask = static_cast<unsigned>(m_settings.m_nRecDriveMask);
    minMB = m_settings.m_nFreeSpaceMB;
  }

  // An empty root, or one that is no longer a fixed drive, reads -1 and so is left as well.
  if (FreeOfCurrent() < minMB) {
    const std::string root = FindDriveWithRoom(list, mask, minMB);
    if (!root.empty()) {
      SetRecDrive(root);
      recording.DiskChange();
    } else {
      const int freeMB = FreeOfCurrent();
      if (m_bNoDiskSpace.load() == 0 && freeMB < minMB) {
        recording.DiskNoSpace();
        TraceMessage(kNoSpaceTrace, minMB, freeMB);
      }
    }
  }

  // Recording resumes only with the margin, so a drive hovering at the minimum does not
  // switch recording on and off every second.
  if (m_bNoDiskSpace.load() != 0 && HasRoom(FreeOfCurrent(), minMB)) SetNoDiskSpace(0);

  if (m_bNoDiskSpace.load() != 0) {
    const std::string root = FindDriveWithRoom(list, mask, minMB);
    if (!root.empty()) {
      SetRecDrive(root);
      recording.DiskChange();
      if (m_bNoDiskSpace.load() != 0 && HasRoom(FreeOfCurrent(), minMB)) SetNoDiskSpace(0);
    }
  }
}

RecordDriveStatus CRecordDrives::Status(const std::string& freeText) {
  RecordDriveStatus status;
  const std::string root = RecDrive();
  status.alert = m_bNoDiskSpace.load() != 0;
  if (root.empty()) {
    status.text = kAllDisksFullText;
    return status;
  }
  status.freeMB = m_disks.FreeSpaceMB(root);
  status.totalMB = m_disks.TotalSpaceMB(root);
  if (status.totalMB > 0 && status.freeMB >= 0)
    status.usedPercent = static_cast<int>(
        100 - static_cast<long long>(status.freeMB) * 100 / status.totalMB);
  // The language text is data: it goes in as text, never as a format.
  status.text = root + "VIDEO(" + freeText + FormatText("%dM)", {static_cast<long long>(status.freeMB)});
  return status;
}
