// Hole punching against scripted traversal answers, the PTZ command records and the address
// rules, without devices.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "live_client/core/AddressResolve.h"
#include "live_client/core/LoginInfo.h"
#include "live_client/core/MakeHole.h"
#include "live_client/core/PtzCodes.h"
#include "platform/MessageBox.h"
#include "tests/live_client/core/TraceCapture.h"

namespace fs = std::filesystem;

namespace {

class MakeHoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_ = fs::temp_directory_path() / ("korvel-holes-" + std::to_string(getpid()) + ".tab");
    std::ofstream out(table_);
    out << "two.ddns-alder.net 2 ip=127.0.0.78,127.0.0.79 service=9100,9101\n"
        << "old.ddns-alder.net 0\n"
        << "late.ddns-alder.net 5\n"
        << "near.ddns-alder.net 5 ip=127.0.0.78\n"
        << "three.ddns-alder.net 3\n"
        << "four.ddns-alder.net 4 ip=127.0.0.79\n"
        << "blank.ddns-alder.net 1\n"
        << "slow.ddns-alder.net -1\n"
        << "slow.ddns-alder.net 0\n"
        << "slow.ddns-alder.net 1 ip=127.0.0.78\n";
    out.close();
    setenv("TESKLINE_TABLE", table_.string().c_str(), 1);
    platform::ResetMessageBoxes();
  }
  void TearDown() override {
    unsetenv("TESKLINE_TABLE");
    fs::remove(table_);
    platform::ResetMessageBoxes();
  }
  static CLoginInfo LoginFor(const std::string& name, int port = 8000) {
    CCameraInfo slot;
    slot.strAddr = name;
    slot.nPort = port;
    slot.nKind = kKindAlder;
    return CLoginInfo(slot);
  }
  static std::string Key(const char* key) { return std::string("text of ") + key; }
  std::vector<std::string> Boxes() {
    std::vector<std::string> texts;
    for (const auto& box : platform::ShownMessageBoxes()) {
      EXPECT_EQ(box.caption, "KORVEL");
      texts.push_back(box.text);
    }
    return texts;
  }
  fs::path table_;
};

TEST_F(MakeHoleTest, SuccessfulAnswersFillTheConnectBlock) {
  korvel_test::TraceCapture traces;
  ASSERT_TRUE(traces.Registered());
  CLoginInfo login = LoginFor("TWO.ddns-alder.net");
  std::uint16_t clientPorts[2] = {};
  EXPECT_EQ(MakeHole(login, clientPorts, nullptr, Key), 1);
  EXPECT_EQ(std::string(login.frwConnect.szAddress), "127.0.0.78");
  EXPECT_EQ(login.frwConnect.wPort, 9100);
  const unsigned mediaPort = login.frwConnect.dwMediaPort;  // a packed field: copied, not bound
  EXPECT_EQ(mediaPort, 9101u);
  EXPECT_EQ(clientPorts[0], 6000);
  EXPECT_EQ(clientPorts[1], 6000);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(traces.WaitFor("pDomainIPs:127.0.0.79"));
  EXPECT_EQ(traces.Count("MakeHole 1 times."), 1);
  EXPECT_EQ(traces.Count("MakeHole 2 times."), 0) << "one call is enough";

  // rc 4 with an address: the address, the configured port, no media port.
  CLoginInfo four = LoginFor("four.ddns-alder.net", 8200);
  EXPECT_EQ(MakeHole(four, nullptr, nullptr, Key), 1);
  EXPECT_EQ(std::string(four.frwConnect.szAddress), "127.0.0.79");
  EXPECT_EQ(four.frwConnect.wPort, 8200);
  const unsigned fourMediaPort = four.frwConnect.dwMediaPort;
  EXPECT_EQ(fourMediaPort, 0u);

  // Failures are retried back to back: the third attempt answers.
  CLoginInfo slow = LoginFor("slow.ddns-alder.net");
  EXPECT_EQ(MakeHole(slow, nullptr, nullptr, Key), 1);
  EXPECT_EQ(std::string(slow.frwConnect.szAddress), "127.0.0.78");
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(MakeHoleTest, FourFailuresShowTheKeptReasonOnce) {
  korvel_test::TraceCapture traces;
  ASSERT_TRUE(traces.Registered());
  struct Case {
    const char* name;
    const char* key;
  };
  const Case cases[] = {
      {"old.ddns-alder.net", "IDS_MAKEHOLE_NOTSUPPORTED"},
      {"late.ddns-alder.net", "IDS_MAKEHOLE_FAILED_OVERTIME"},
      {"near.ddns-alder.net", "IDS_MAKEHOLE_FAILED"},
      {"three.ddns-alder.net", "IDS_MAKEHOLE_FAILED_3"},
      {"unknown.ddns-alder.net", "IDS_MAKEHOLE_FAILED"},
      // No address to connect to is no success, whatever the result says.
      {"blank.ddns-alder.net", "IDS_MAKEHOLE_FAILED"},
  };
  for (const Case& c : cases) {
    platform::ResetMessageBoxes();
    traces.Clear();
    CLoginInfo login = LoginFor(c.name);
    EXPECT_EQ(MakeHole(login, nullptr, nullptr, Key), 0) << c.name;
    EXPECT_EQ(Boxes(), std::vector<std::string>{Key(c.key)}) << c.name;
    EXPECT_TRUE(traces.WaitFor("MakeHole 4 times.")) << c.name;
    EXPECT_EQ(traces.Count("MakeHole 5 times."), 0);
  }
  traces.Clear();
  CLoginInfo old = LoginFor("old.ddns-alder.net");
  MakeHole(old, nullptr, nullptr, Key);
  EXPECT_TRUE(traces.WaitFor("DVR is offline or old version Client, Direct connect please!", 4));
}

TEST(PtzRecords, DvrRecordCarriesTheCodeOnlyWhileStarting) {
  unsigned char record[kDvrPtzRecordBytes];
  BuildDvrPtzRecord(record, 2, 0x0104, 1);
  EXPECT_EQ(std::vector<unsigned char>(record, record + 6),
            (std::vector<unsigned char>{2, 0x04, 0x01, 0, 0, 0}));
  BuildDvrPtzRecord(record, 2, 1, 0);
  EXPECT_EQ(std::vector<unsigned char>(record, record + 6),
            (std::vector<unsigned char>{2, 0, 0, 0, 0, 0}));
}

TEST(PtzRecords, AlderPayloadChecksItsCommandAndCutsTheUserName) {
  unsigned char payload[kAlderPtzPayloadBytes];
  BuildAlderPtzPayload(payload, -3, kPtzLeft, 1, std::string(70, 'u'));
  EXPECT_EQ(payload[2], 0) << "a negative channel is sent as 0";
  EXPECT_EQ(payload[3], kPtzLeft);
  EXPECT_EQ(payload[4], 1);
  // CRC-16/CCITT-FALSE of {0, 10, 1}, high byte first.
  unsigned crc = 0xFFFF;
  for (unsigned char byte : {0, 10, 1}) {
    crc ^= static_cast<unsigned>(byte) << 8;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1);
    crc &= 0xFFFF;
  }
  EXPECT_EQ(payload[0], crc >> 8);
  EXPECT_EQ(payload[1], crc & 0xFF);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(payload + 5)), std::string(49, 'u'));
  EXPECT_EQ(payload[54], 0);
}

TEST(AddressRules, DynamicDnsNamesAreNeverLookedUp) {
  std::string dotted = "unchanged";
  EXPECT_EQ(ResolveAddress("cam.DDNS-ALDER.NET", dotted), kResolveDynamicDns);
  EXPECT_EQ(dotted, "unchanged");
  // The suffix alone is no registered name.
  EXPECT_FALSE(IsDynamicDnsName(kDynamicDnsSuffix));
  EXPECT_FALSE(IsDynamicDnsName("cam.ddns-alder.net.example"));
  EXPECT_EQ(ResolveAddress("127.0.0.80", dotted), kResolveOk);
  EXPECT_EQ(dotted, "127.0.0.80");
  EXPECT_EQ(ResolveAddress("localhost", dotted), kResolveOk);
  EXPECT_EQ(dotted.rfind("127.", 0), 0u);
  EXPECT_EQ(ResolveAddress("", dotted), kResolveNotFound);
}

}  // namespace
