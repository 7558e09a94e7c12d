#pragma once

// "Korvel.cfg": the page table and the recording and snapshot settings, saved in the client
// folder; and the language and skin choice of "Setting.ini".
//
// File layout (all integers 32-bit little-endian, no header):
//   for page 0..4, slot 0..24: nPage, nWnd, nChannel, nPort, nPort2; then strCamDesc,
//     strSvrDesc, strAddr, strUser, strPassword as text lines; then nKind;
//   m_nFreeSpaceMB, m_nSnapFormat, m_nDiskChoice, m_bDiskFlag, m_nDiskNumber, m_nRecDriveMask;
//   m_strSnapPath, m_strRecDrive as counted strings.
// A default configuration is 3,657 bytes.
//
// Loading and saving run on the main thread while no connect worker is busy.

#include <string>

#include "live_client/core/Archive.h"
#include "live_client/core/PageInfo.h"

// The settings the main dialog keeps and saves with the page table. The dialog derives from
// this, so the members keep their names there.
class CKorvelSettings {
 public:
  int m_nFreeSpaceMB = 600;        // free MB below which recording leaves the current drive
  int m_nSnapFormat = 0;           // snapshot file type: 0 JPG, 1 BMP
  int m_nDiskChoice = 0;           // kept and saved; no effect in the client
  int m_bDiskFlag = 0;             // kept and saved; no effect in the client
  int m_nDiskNumber = 15;          // kept and saved; no effect in the client
  int m_nRecDriveMask = 0;         // bit n: entry n of the drive list may take recordings;
                                   // the dialog sets a bit per drive found before loading
  std::string m_strSnapPath = "C:\\Pic";  // snapshot folder
  std::string m_strRecDrive;       // root of the current recording drive, e.g. "D:\"
};

inline constexpr const char kConfigFileName[] = "Korvel.cfg";

// Reads or writes the whole file by the archive's direction. Loading stops quietly at the
// first short or malformed record: what was read stays, the rest keep their values.
void SerializeConfig(CArchive& archive, CPageInfo (&pages)[kPageCount], CKorvelSettings& settings);

// "Korvel.cfg" lives in `clientFolder` (Windows form) when its user may write that folder,
// otherwise in the user's configuration folder (platform/UserFiles.h).
//
// Loads `clientFolder` + "\Korvel.cfg". 1 when the file existed and was
// read (completely or in part), 0 when it is missing or cannot be opened.
int LoadConfigFile(const std::string& clientFolder, CPageInfo (&pages)[kPageCount],
                   CKorvelSettings& settings);

// Writes `clientFolder` + "\Korvel.cfg". The file is replaced atomically (a crash leaves the old
// or the new file, never a mixture) and is readable and writable by its owner only, as it
// holds passwords. Failures are traced; returns true when the new file is in place.
bool SaveConfigToFile(const std::string& clientFolder, CPageInfo (&pages)[kPageCount],
                      const CKorvelSettings& settings);

// Language and skin choice from `clientFolder` + "\Setting.ini", section "Setting": "Language"
// (default "Chinese") and "KORVELSKIN" (default "BLUE1024,768"), each at most 100 characters.
struct KorvelChoice {
  std::string language;
  std::string skin;
};
KorvelChoice ReadSettingIni(const std::string& clientFolder);

// Where the camera editor's Search sends its discovery probe: "Setting.ini", section
// "Setting", key "DiscoveryTarget", addresses separated by commas or spaces, at most 255
// characters; by default the group every camera of the local network listens on. A client
// folder its user may not write keeps the key in the user's copy of "Setting.ini" (the
// folder of "Korvel.cfg"), the language and skin choice staying where they are read.
inline constexpr const char kDefaultDiscoveryTarget[] = "239.255.255.250";
std::string ReadDiscoveryTarget(const std::string& clientFolder);
// Writes the key; failures are traced, and false then.
bool WriteDiscoveryTarget(const std::string& clientFolder, const std::string& target);
