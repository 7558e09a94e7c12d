// "Korvel.cfg" as the live client writes and reads it, the login records built from a slot, and
// the language and skin choice of "Setting.ini".

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "live_client/core/KorvelConfig.h"
#include "live_client/core/LoginInfo.h"
#include "platform/Files.h"
#include "platform/TimeText.h"
#include "tests/support/TempFolder.h"

namespace {

// Five pages of 25 slots are too large for the stack of a test thread.
struct PageTable {
  CPageInfo table[kPageCount];
};

std::string Int32(std::int32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
  return bytes;
}

// The bytes of one unassigned slot of page `page` as the client writes it.
std::string DefaultSlotBytes(int page) {
  return Int32(page) + Int32(0) + Int32(0) + Int32(8000) + Int32(9008) + "\n\n\n\n\n" + Int32(3);
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(platform::ReadWholeFile(path, bytes)) << path;
  return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void FillSlot(CCameraInfo& slot, int n) {
  slot.nWnd = n % 25;
  slot.nChannel = n % 24;
  slot.nPort = 8000 + n;
  slot.nPort2 = 9000 + n;
  slot.strCamDesc = "Gate " + std::to_string(n);
  slot.strSvrDesc = platform::Utf8ToGbk("仓库 ") + std::to_string(n);
  slot.strAddr = "10.0.0." + std::to_string(n);
  slot.strUser = "admin";
  slot.strPassword = "pw" + std::to_string(n);
  slot.nKind = n % 4;
}

void ExpectSameSavedFields(const CCameraInfo& a, const CCameraInfo& b, const std::string& where) {
  EXPECT_EQ(a.nWnd, b.nWnd) << where;
  EXPECT_EQ(a.nChannel, b.nChannel) << where;
  EXPECT_EQ(a.nPort, b.nPort) << where;
  EXPECT_EQ(a.nPort2, b.nPort2) << where;
  EXPECT_EQ(a.strCamDesc, b.strCamDesc) << where;
  EXPECT_EQ(a.strSvrDesc, b.strSvrDesc) << where;
  EXPECT_EQ(a.strAddr, b.strAddr) << where;
  EXPECT_EQ(a.strUser, b.strUser) << where;
  EXPECT_EQ(a.strPassword, b.strPassword) << where;
  EXPECT_EQ(a.nKind, b.nKind) << where;
}

TEST(KorvelConfigFile, DefaultConfigurationIsTheExactArchiveAndOwnerOnly) {
  suite::test::TempFolder folder("korvel-cfg");
  auto pages = std::make_unique<PageTable>();
  AssignPageIndexes(pages->table);
  CKorvelSettings settings;
  settings.m_nRecDriveMask = 3;  // two drives found
  ASSERT_TRUE(SaveConfigToFile(folder.path(), pages->table, settings));

  std::string expected;
  for (int p = 0; p < kPageCount; ++p)
    for (int w = 0; w < kSlotsPerPage; ++w) expected += DefaultSlotBytes(p);
  expected += Int32(600) + Int32(0) + Int32(0) + Int32(0) + Int32(15) + Int32(3);
  expected += std::string("\x06") + "C:\\Pic" + std::string(1, '\0');

  const std::string written = ReadFile(folder / "Korvel.cfg");
  EXPECT_EQ(written.size(), 3657u);
  EXPECT_EQ(written, expected);

  namespace fs = std::filesystem;
  const fs::perms mode = fs::status(folder / "Korvel.cfg").permissions() & fs::perms::all;
  EXPECT_EQ(mode, fs::perms::owner_read | fs::perms::owner_write);
}

TEST(KorvelConfigFile, SaveTightensAnExistingReadableFileAndLeavesNoTemporaryBehind) {
  suite::test::TempFolder folder("korvel-cfg");
  WriteFile(folder / "Korvel.cfg", "old");
  std::filesystem::permissions(folder / "Korvel.cfg", std::filesystem::perms(0644));
  auto pages = std::make_unique<PageTable>();
  ASSERT_TRUE(SaveConfigToFile(folder.path(), pages->table, CKorvelSettings{}));
  namespace fs = std::filesystem;
  EXPECT_EQ(fs::status(folder / "Korvel.cfg").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.path())) ++entries;
  EXPECT_EQ(entries, 1);
  EXPECT_EQ(ReadFile(folder / "Korvel.cfg").size(), 3657u);
}

TEST(KorvelConfigFile, RoundTripKeepsSavedFieldsButNotRunTimeState) {
  suite::test::TempFolder folder("korvel-cfg");
  auto pages = std::make_unique<PageTable>();
  for (int p = 0; p < kPageCount; ++p)
    for (int w = 0; w < kSlotsPerPage; w += 3) FillSlot(pages->table[p].camera[w], p * 25 + w);
  CCameraInfo& running = pages->table[1].camera[3];
  running.bConnected = 1;
  running.nRecKind = 2;
  running.hDvr = 77;
  running.nPage = 4;  // whatever the file says, loading ends with the slot's own page
  CKorvelSettings settings;
  settings.m_nFreeSpaceMB = 1234;
  settings.m_nSnapFormat = 1;
  settings.m_nDiskChoice = 2;
  settings.m_bDiskFlag = 1;
  settings.m_nDiskNumber = 30;
  settings.m_nRecDriveMask = 5;
  settings.m_strSnapPath = "D:\\" + std::string(300, 's');  // needs the 16-bit length form
  settings.m_strRecDrive = "E:\\";
  ASSERT_TRUE(SaveConfigToFile(folder.path(), pages->table, settings));

  auto loaded = std::make_unique<PageTable>();
  CKorvelSettings read;
  ASSERT_EQ(LoadConfigFile(folder.path(), loaded->table, read), 1);
  AssignPageIndexes(loaded->table);
  for (int p = 0; p < kPageCount; ++p)
    for (int w = 0; w < kSlotsPerPage; ++w) {
      ExpectSameSavedFields(pages->table[p].camera[w], loaded->table[p].camera[w],
                            "page " + std::to_string(p) + " slot " + std::to_string(w));
      EXPECT_EQ(loaded->table[p].camera[w].nPage, p);
    }
  EXPECT_EQ(loaded->table[1].camera[3].bConnected, 0);
  EXPECT_EQ(loaded->table[1].camera[3].nRecKind, 0);
  EXPECT_EQ(loaded->table[1].camera[3].hDvr, 0);
  EXPECT_EQ(read.m_nFreeSpaceMB, 1234);
  EXPECT_EQ(read.m_nSnapFormat, 1);
  EXPECT_EQ(read.m_nDiskChoice, 2);
  EXPECT_EQ(read.m_bDiskFlag, 1);
  EXPECT_EQ(read.m_nDiskNumber, 30);
  EXPECT_EQ(read.m_nRecDriveMask, 5);
  EXPECT_EQ(read.m_strSnapPath, settings.m_strSnapPath);
  EXPECT_EQ(read.m_strRecDrive, "E:\\");
}

TEST(KorvelConfigFile, MissingShortAndCorruptFilesKeepDefaultsForWhatWasNotRead) {
  suite::test::TempFolder folder("korvel-cfg");
  {
    auto pages = std::make_unique<PageTable>();
    CKorvelSettings settings;
    EXPECT_EQ(LoadConfigFile(folder.path(), pages->table, settings), 0);
    EXPECT_EQ(pages->table[4].camera[24].nPort, 8000);
    EXPECT_EQ(pages->table[4].camera[24].nPort2, 9008);
    EXPECT_EQ(pages->table[4].camera[24].nKind, 3);
    EXPECT_FALSE(pages->table[0].camera[0].IsAssigned());
    EXPECT_EQ(settings.m_nFreeSpaceMB, 600);
    EXPECT_EQ(settings.m_strSnapPath, "C:\\Pic");
  }

  auto full = std::make_unique<PageTable>();
  for (int w = 0; w < 3; ++w) FillSlot(full->table[0].camera[w], w + 1);
  CKorvelSettings custom;
  custom.m_nFreeSpaceMB = 900;
  ASSERT_TRUE(SaveConfigToFile(folder.path(), full->table, custom));
  const std::string bytes = ReadFile(folder / "Korvel.cfg");

  // Cut inside the third slot's address line: its five integers and two descriptions stay, its
  // address (cut in half) and everything after it keep their defaults.
  const std::size_t slotTwo = bytes.find("Gate 3");
  ASSERT_NE(slotTwo, std::string::npos);
  const std::size_t cut = bytes.find("10.0.0.3", slotTwo) + 4;
  WriteFile(folder / "Korvel.cfg", bytes.substr(0, cut));
  auto pages = std::make_unique<PageTable>();
  CKorvelSettings settings;
  ASSERT_EQ(LoadConfigFile(folder.path(), pages->table, settings), 1);
  ExpectSameSavedFields(full->table[0].camera[0], pages->table[0].camera[0], "slot 0");
  ExpectSameSavedFields(full->table[0].camera[1], pages->table[0].camera[1], "slot 1");
  EXPECT_EQ(pages->table[0].camera[2].nPort, 8003);
  EXPECT_EQ(pages->table[0].camera[2].strCamDesc, "Gate 3");
  EXPECT_EQ(pages->table[0].camera[2].strAddr, "");
  EXPECT_EQ(pages->table[0].camera[2].nKind, 3);
  EXPECT_EQ(pages->table[0].camera[3].nPort, 8000);
  EXPECT_EQ(settings.m_nFreeSpaceMB, 600);

  // A counted string announcing more bytes than the file holds keeps the old text.
  std::string corrupt = bytes.substr(0, bytes.size() - 8);  // up to the snapshot folder
  corrupt += std::string("\xFF\x10\x27", 3) + "C:\\short";
  WriteFile(folder / "Korvel.cfg", corrupt);
  auto again = std::make_unique<PageTable>();
  CKorvelSettings kept;
  ASSERT_EQ(LoadConfigFile(folder.path(), again->table, kept), 1);
  EXPECT_EQ(kept.m_nFreeSpaceMB, 900);
  EXPECT_EQ(kept.m_strSnapPath, "C:\\Pic");
}

TEST(KorvelConfigFile, WideStringMarkerIsReadAsSystemText) {
  suite::test::TempFolder folder("korvel-cfg");
  std::string bytes;
  for (int p = 0; p < kPageCount; ++p)
    for (int w = 0; w < kSlotsPerPage; ++w) bytes += DefaultSlotBytes(p);
  bytes += Int32(700) + Int32(1) + Int32(0) + Int32(0) + Int32(15) + Int32(1);
  // "D:\抓图" as 16-bit characters after the 0xFFFE marker, then the rec drive in 8-bit form.
  const char16_t wide[] = u"D:\\抓图";
  bytes += std::string("\xFF\xFE\xFF", 3) + static_cast<char>(5);
  for (int i = 0; i < 5; ++i) {
    bytes += static_cast<char>(wide[i] & 0xFF);
    bytes += static_cast<char>(wide[i] >> 8);
  }
  bytes += std::string("\x03") + "F:\\";
  WriteFile(folder / "Korvel.cfg", bytes);

  auto pages = std::make_unique<PageTable>();
  CKorvelSettings settings;
  ASSERT_EQ(LoadConfigFile(folder.path(), pages->table, settings), 1);
  EXPECT_EQ(settings.m_nFreeSpaceMB, 700);
  EXPECT_EQ(settings.m_strSnapPath, platform::Utf8ToGbk("D:\\抓图"));
  EXPECT_EQ(settings.m_strRecDrive, "F:\\");
}

TEST(KorvelConfigFile, SaveIntoAMissingFolderFailsWithoutCreatingIt) {
  suite::test::TempFolder folder("korvel-cfg");
  auto pages = std::make_unique<PageTable>();
  EXPECT_FALSE(SaveConfigToFile(folder / "gone", pages->table, CKorvelSettings{}));
  EXPECT_FALSE(std::filesystem::exists(folder / "gone"));
}

TEST(KorvelArchive, CountedStringLengthFormsAtTheirBoundariesAndLineEnds) {
  struct Case {
    std::size_t length;
    std::string prefix;
  };
  const Case cases[] = {
      {0, std::string("\x00", 1)},
      {254, std::string("\xFE", 1)},
      {255, std::string("\xFF\xFF\x00", 3)},
      {65533, std::string("\xFF\xFD\xFF", 3)},
      {65534, std::string("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7)},
      {70000, std::string("\xFF\xFF\xFF\x70\x11\x01\x00", 7)},
  };
  for (const Case& c : cases) {
    const std::string text(c.length, 'a');
    CArchive out;
    out.WriteCounted(text);
    EXPECT_EQ(out.Stored(), c.prefix + text) << c.length;
    CArchive in(out.Stored());
    EXPECT_EQ(in.ReadCounted(), text) << c.length;
    EXPECT_EQ(in.Remaining(), 0u) << c.length;
  }

  // A carriage return ends a line and swallows the character after it.
  const std::string lines = "one\r\ntwo\rXthree\nfour";
  CArchive in(lines);
  EXPECT_EQ(in.ReadLine(), "one");
  EXPECT_EQ(in.ReadLine(), "two");
  EXPECT_EQ(in.ReadLine(), "three");
  EXPECT_THROW(in.ReadLine(), CArchiveException);  // "four" has no end: not a whole text
  const std::string threeBytes("\x01\x02\x03", 3);  // the archive reads it in place
  CArchive shortInt(threeBytes);
  EXPECT_THROW(shortInt.ReadInt(), CArchiveException);
}

TEST(KorvelLoginRecords, FixedBlocksTakeAtMostTheFieldWidth) {
  CCameraInfo slot;
  slot.strAddr = "192.168.7.20";
  slot.strUser = "operator";
  slot.strPassword = "abcdefghijkl";  // exactly 12
  slot.nPort = 8670;
  slot.nPort2 = 9001;
  slot.nChannel = 5;
  slot.nKind = kKindCedar;
  const CLoginInfo dvr(slot);
  EXPECT_EQ(std::memcmp(dvr.dvrLogin.szPassword, "abcdefghijkl", 12), 0);
  // The MAC text after the password field is intact: the password did not spill into it.
  EXPECT_STREQ(dvr.dvrLogin.szMac, kClientMacText);
  EXPECT_EQ(dvr.dwIP, DottedAddressValue("192.168.7.20"));
  const auto* ip = reinterpret_cast<const unsigned char*>(&dvr.dwIP);
  EXPECT_EQ(ip[0], 192);
  EXPECT_EQ(ip[3], 20);

  slot.strPassword = "abcdefghijklmnop";  // longer: cut to 12
  slot.strUser = "u";
  slot.nKind = kKindAlder;
  const CLoginInfo frw(slot);
  EXPECT_EQ(std::memcmp(frw.frwUser.szPassword, "abcdefghijkl", 12), 0);
  EXPECT_EQ(std::memcmp(frw.frwUser.szUser, "u\0\0\0\0\0\0\0\0\0\0\0", 12), 0);
  EXPECT_STREQ(frw.frwConnect.szAddress, "192.168.7.20");
  EXPECT_EQ(frw.frwConnect.wPort, 8670);
  EXPECT_EQ(frw.frwConnect.byChannel, 5);
  const unsigned mediaPort = frw.frwConnect.dwMediaPort;  // a packed field: copied, not bound
  EXPECT_EQ(mediaPort, 8671u);
  EXPECT_EQ(frw.strPassword, "abcdefghijklmnop");  // the record keeps the whole text

  // A host name is resolved at login, not here; a DVR record gets inet_addr's failure value.
  slot.strAddr = "recorder.example";
  EXPECT_STREQ(CLoginInfo(slot).frwConnect.szAddress, "");
  slot.nKind = kKindBirch;
  EXPECT_EQ(CLoginInfo(slot).dwIP, 0xFFFFFFFFu);
  EXPECT_TRUE(IsDottedAddress("255.255.255.255"));
  EXPECT_FALSE(IsDottedAddress("1.2.3"));
  EXPECT_FALSE(IsDottedAddress("1.2.3.256"));
  EXPECT_FALSE(IsDottedAddress("1.2.3.4 "));
}

TEST(KorvelLoginRecords, TableOf126BlankRecordsAndSharingRule) {
  LoginTable table;
  SizeLoginTable(table, kInitialLoginRecords);
  ASSERT_EQ(table.size(), 126u);
  for (const auto& record : table) {
    EXPECT_EQ(record->hDvr, 0);
    EXPECT_EQ(record->nPort, 0);
    EXPECT_EQ(record->nKind, 3);
    EXPECT_TRUE(record->strAddr.empty());
  }
  CCameraInfo a, b;
  for (CCameraInfo* slot : {&a, &b}) {
    slot->strAddr = "10.1.1.1";
    slot->strUser = "admin";
    slot->strPassword = "x";
    slot->nKind = kKindDogwood;
  }
  b.nChannel = 7;  // another channel of the same recorder shares the login
  const CLoginInfo login(a);
  EXPECT_TRUE(login.Matches(b));
  EXPECT_TRUE(login == CLoginInfo(b));
  b.strPassword = "X";
  EXPECT_FALSE(login.Matches(b));
  CLoginInfo copy(login);
  EXPECT_TRUE(copy == login);
  table.push_back(std::make_unique<CLoginInfo>(login));
  SizeLoginTable(table, 126);
  EXPECT_EQ(table.size(), 126u);
}

TEST(KorvelSettingIni, LanguageAndSkinWithTheirDefaults) {
  suite::test::TempFolder folder("korvel-setting");
  KorvelChoice none = ReadSettingIni(folder.path());
  EXPECT_EQ(none.language, "Chinese");
  EXPECT_EQ(none.skin, "BLUE1024,768");
  WriteFile(folder / "Setting.ini",
            "[Setting]\r\nLanguage=English\r\nKORVELSKIN=" + std::string(150, 'k') + "\r\n");
  KorvelChoice chosen = ReadSettingIni(folder.path());
  EXPECT_EQ(chosen.language, "English");
  EXPECT_EQ(chosen.skin, std::string(100, 'k'));
}

TEST(KorvelSettingIni, DiscoveryTargetIsANewKeyKeptWhereItsUserMayWrite) {
  suite::test::TempFolder folder("korvel-discovery");
  EXPECT_EQ(ReadDiscoveryTarget(folder.path()), kDefaultDiscoveryTarget);
  const std::string before = "[Setting]\r\nLanguage=English\r\nKORVELSKIN=Blue\r\n";
  WriteFile(folder / "Setting.ini", before);
  ASSERT_TRUE(WriteDiscoveryTarget(folder.path(), "127.0.0.5, 127.0.0.6"));
  EXPECT_EQ(ReadDiscoveryTarget(folder.path()), "127.0.0.5, 127.0.0.6");
  // The other keys stay as they were; the new one is added.
  const std::string after = ReadFile(folder / "Setting.ini");
  EXPECT_EQ(after.compare(0, before.size(), before), 0) << after;
  EXPECT_EQ(ReadSettingIni(folder.path()).language, "English");

  // An installed client's folder its user may not write: the key goes to the user's copy,
  // and the installed file is left as it is.
  suite::test::TempFolder installed("korvel-installed"), home("korvel-home");
  WriteFile(installed / "Setting.ini", before);
  const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string keptConfig = oldConfig ? oldConfig : "";
  setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
  std::filesystem::permissions(installed.path(), std::filesystem::perms(0555));
  EXPECT_EQ(ReadDiscoveryTarget(installed.path()), kDefaultDiscoveryTarget);
  EXPECT_TRUE(WriteDiscoveryTarget(installed.path(), "127.0.0.7"));
  EXPECT_EQ(ReadDiscoveryTarget(installed.path()), "127.0.0.7");
  EXPECT_EQ(ReadFile(installed / "Setting.ini"), before);
  EXPECT_NE(ReadFile(home / "korvel/Setting.ini").find("DiscoveryTarget=127.0.0.7"), std::string::npos);
  std::filesystem::permissions(installed.path(), std::filesystem::perms(0755));
  if (oldConfig)
    setenv("XDG_CONFIG_HOME", keptConfig.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
