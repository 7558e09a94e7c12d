#include "live_client/core/KorvelConfig.h"

#include <filesystem>
#include <system_error>

#include "common/TraceMessage.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/UserFiles.h"

namespace {

// Beside the client when its folder is the user's own, otherwise in the user's configuration
// folder (an installed client).
std::string ConfigPath(const std::string& clientFolder) {
  return platform::UserFilePath(kConfigFileName, platform::UserFileKind::Configuration, clientFolder);
}

void StoreSlot(CArchive& ar, const CCameraInfo& slot) {
  ar.WriteInt(slot.nPage);
  ar.WriteInt(slot.nWnd);
  ar.WriteInt(slot.nChannel);
  ar.WriteInt(slot.nPort);
  ar.WriteInt(slot.nPort2);
  ar.WriteLine(slot.strCamDesc);
  ar.WriteLine(slot.strSvrDesc);
  ar.WriteLine(slot.strAddr);
  ar.WriteLine(slot.strUser);
  ar.WriteLine(slot.strPassword);
  ar.WriteInt(slot.nKind);
}

// Each value is assigned as soon as it is read, so a file cut short inside a record keeps
// the part of the record before the cut.
void LoadSlot(CArchive& ar, CCameraInfo& slot) {
  slot.nPage = ar.ReadInt();
  slot.nWnd = ar.ReadInt();
  slot.nChannel = ar.ReadInt();
  slot.nPort = ar.ReadInt();
  slot.nPort2 = ar.ReadInt();
  slot.strCamDesc = ar.ReadLine();
  slot.strSvrDesc = ar.ReadLine();
  slot.strAddr = ar.ReadLine();
  slot.strUser = ar.ReadLine();
  slot.strPassword = ar.ReadLine();
  slot.nKind = ar.ReadInt();
}

}  // namespace

void SerializeConfig(CArchive& ar, CPageInfo (&pages)[kPageCount], CKorvelSettings& settings) {
  try {
    if (ar.IsStoring()) {
      for (CPageInfo& page : pages)
        for (const CCameraInfo& slot : page.camera) StoreSlot(ar, slot);
      ar.WriteInt(settings.m_nFreeSpaceMB);
      ar.WriteInt(settings.m_nSnapFormat);
      ar.WriteInt(settings.m_nDiskChoice);
      ar.WriteInt(settings.m_bDiskFlag);
      ar.WriteInt(settings.m_nDiskNumber);
      ar.WriteInt(settings.m_nRecDriveMask);
      ar.WriteCounted(settings.m_strSnapPath);
      ar.WriteCounted(settings.m_strRecDrive);
    } else {
      for (CPageInfo& page : pages)
        for (CCameraInfo& slot : page.camera) LoadSlot(ar, slot);
      settings.m_nFreeSpaceMB = ar.ReadInt();
      settings.m_nSnapFormat = ar.ReadInt();
      settings.m_nDiskChoice = ar.ReadInt();
      settings.m_bDiskFlag = ar.ReadInt();
      settings.m_nDiskNumber = ar.ReadInt();
      settings.m_nRecDriveMask = ar.ReadInt();
      settings.m_strSnapPath = ar.ReadCounted();
      settings.m_strRecDrive = ar.ReadCounted();
    }
  } catch (const CArchiveException&) {
    if (ar.IsStoring()) TraceMessage("[KORVEL] - CKorvelDlg::Serialize() has exception..");
    // A short or corrupt file: the values read so far stay, the rest keep their defaults.
  }
}

int LoadConfigFile(const std::string& clientFolder, CPageInfo (&pages)[kPageCount],
                   CKorvelSettings& settings) {
  const std::string path = ConfigPath(clientFolder);
  if (!platform::Exists(path)) return 0;
  std::string bytes;
  if (!platform::ReadWholeFile(path, bytes)) return 0;
  CArchive ar(bytes);
  SerializeConfig(ar, pages, settings);
  return 1;
}

namespace {

// The file holds passwords: make sure the target is owner-only before the new contents are
// put in place. The atomic replace keeps the mode of the file it replaces, so an empty
// owner-only file is made first when none exists; no byte of the configuration is ever
// written to a file others can read.
bool MakeOwnerOnly(const std::string& path) {
  if (!platform::Exists(path)) {
    platform::File file;
    if (!file.Open(path, platform::File::Mode::CreateNew) || !file.Close()) {
      if (!platform::Exists(path)) return false;
    }
  }
  std::error_code error;
  std::filesystem::permissions(platform::ToHostPath(path),
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::replace, error);
  return !error;
}

}  // namespace

bool SaveConfigToFile(const std::string& clientFolder, CPageInfo (&pages)[kPageCount],
                      const CKorvelSettings& settings) {
  TraceMessage("[KORVEL] - CKorvelDlg::SaveConfigToFile().");
  const std::string path = ConfigPath(clientFolder);
  CArchive ar;
  CKorvelSettings copy = settings;
  SerializeConfig(ar, pages, copy);
  if (!MakeOwnerOnly(path) || !platform::ReplaceFileContents(path, ar.Stored())) {
    TraceMessage("[KORVEL] - CKorvelDlg::SaveConfigToFile() open file failed. FILENAME: %s",
                 path.c_str());
    return false;
  }
  return true;
}

KorvelChoice ReadSettingIni(const std::string& clientFolder) {
  const std::string path = clientFolder + "\\Setting.ini";
  char buffer[101];
  KorvelChoice choice;
  platform::GetPrivateProfileString("Setting", "Language", "Chinese", buffer, sizeof buffer,
                                    path.c_str());
  choice.language = buffer;
  platform::GetPrivateProfileString("Setting", "KORVELSKIN", "BLUE1024,768", buffer,
                                    sizeof buffer, path.c_str());
  choice.skin = buffer;
  return choice;
}

namespace {

// The search target is the one key of "Setting.ini" the client writes: kept in the client
// folder when its user may write there, else in the user's copy of the file (where an
// installed client's user may write).
std::string DiscoverySettingPath(const std::string& clientFolder) {
  return platform::UserFilePath("Setting.ini", platform::UserFileKind::Configuration, clientFolder);
}

}  // namespace

std::string ReadDiscoveryTarget(const std::string& clientFolder) {
  const std::string path = DiscoverySettingPath(clientFolder);
  char buffer[256];
  platform::GetPrivateProfileString("Setting", "DiscoveryTarget", kDefaultDiscoveryTarget, buffer,
                                    sizeof buffer, path.c_str());
  return buffer;
}

bool WriteDiscoveryTarget(const std::string& clientFolder, const std::string& target) {
  const std::string path = DiscoverySettingPath(clientFolder);
  if (platform::WritePrivateProfileString("Setting", "DiscoveryTarget", target.c_str(), path.c_str()))
    return true;
  TraceMessage("[KORVEL] - the discovery target could not be written to %s", path.c_str());
  return false;
}
