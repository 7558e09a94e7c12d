// The recorder simulator on the wire: its command line, its login and device kinds, and how
// it treats broken or hostile clients.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "device_sdk/Orvane/OrvaneProtocol.h"
#include "tests/support/TempFolder.h"
#include "tests/tools/dvr_sim/DvrSimProcess.h"

namespace {

namespace wire = orvane::wire;
constexpr int kPort = 8671;

// A raw client connection to the simulator.
class RawClient {
 public:
  explicit RawClient(const char* address) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kPort);
    a.sin_addr.s_addr = dvr_sim_test::NetworkAddress(address);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~RawClient() { close(fd_); }
  bool connected() const { return connected_; }

  bool SendRaw(const std::vector<uint8_t>& bytes) { return wire::SendAll(fd_, bytes.data(), bytes.size()); }
  bool Send(uint16_t type, uint16_t channel, const std::vector<uint8_t>& payload) {
    return SendRaw(wire::BuildMessage(type, channel, ++sequence_, payload));
  }
  // The answer to the last request (skipping data and heartbeats); false when none came.
  bool Answer(int32_t& result, std::vector<uint8_t>& body, int timeout_ms = 3000) {
    wire::Header h;
    std::vector<uint8_t> payload;
    while (wire::ReceiveMessage(fd_, h, payload, timeout_ms)) {
      if (h.type & wire::kReplyFlag && h.sequence == sequence_) {
        wire::Reader r(payload);
        result = r.I32();
        body.assign(r.cursor(), r.cursor() + r.remaining());
        return r.ok();
      }
    }
    return false;
  }
  // The next message of any kind; false when none came within 3 s.
  bool NextData(wire::Header& header, std::vector<uint8_t>& payload) {
    return wire::ReceiveMessage(fd_, header, payload, 3000);
  }
  int32_t Request(uint16_t type, uint16_t channel, const std::vector<uint8_t>& payload,
                  std::vector<uint8_t>* body = nullptr) {
    std::vector<uint8_t> ignored;
    int32_t result = -100;
    if (!Send(type, channel, payload) || !Answer(result, body ? *body : ignored)) return -100;
    return result;
  }
  // True when the simulator has closed the connection (within the time-out).
  bool Closed(int timeout_ms = 3000) {
    uint8_t byte;
    while (true) {
      if (!wire::ReceiveAll(fd_, &byte, 1, timeout_ms)) {
        // A time-out leaves the connection open; end of stream or reset means closed.
        pollfd p{fd_, POLLIN, 0};
        return poll(&p, 1, 0) == 1 && recv(fd_, &byte, 1, MSG_DONTWAIT) <= 0;
      }
    }
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  uint32_t sequence_ = 0;
};

std::vector<uint8_t> LoginBlock(const std::string& user, const std::string& password) {
  std::vector<uint8_t> block(wire::kLoginBlockBytes, 0);
  std::memcpy(block.data(), user.data(), std::min<size_t>(user.size(), 12));
  std::memcpy(block.data() + 12, password.data(), std::min<size_t>(password.size(), 12));
  return block;
}

class DvrSimTest : public ::testing::Test {
 protected:
  suite::test::TempFolder folder_{"dvr_sim"};
  dvr_sim_test::DvrSimProcess sim_;
  bool Start(const char* address, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--listen", address, "--port", std::to_string(kPort),
                                     "--catalogue", folder_ / "catalogue"};
    args.insert(args.end(), extra.begin(), extra.end());
    return sim_.Start(args);
  }
};

TEST_F(DvrSimTest, DeviceKindsAndSizeAreReportedAtLogin) {
  const struct {
    const char* kind;
    uint32_t channels;
  } kinds[] = {{"0", 4}, {"1", 16}, {"2", 8}};
  for (const auto& k : kinds) {
    ASSERT_TRUE(Start("127.0.0.52", {"--kind", k.kind, "--size", "704x576", "--user", "twelvecharss",
                                     "--password", "123456789012"}));
    RawClient client("127.0.0.52");
    ASSERT_TRUE(client.connected());
    // Twelve-character names fill their fields without a terminator.
    std::vector<uint8_t> body;
    ASSERT_EQ(client.Request(wire::kLogin, 0, LoginBlock("twelvecharss", "123456789012"), &body), 0);
    wire::Reader reader(body);
    wire::LoginInfo info;
    ASSERT_TRUE(wire::DecodeLoginInfo(reader, info));
    EXPECT_EQ(info.channels, k.channels) << "kind " << k.kind;
    EXPECT_EQ(info.width, 704u);
    EXPECT_EQ(info.height, 576u);
    // The last channel exists, the next one is "no video source".
    EXPECT_EQ(client.Request(wire::kVideoStart, uint16_t(k.channels - 1), {}), 0);
    EXPECT_EQ(client.Request(wire::kVideoStart, uint16_t(k.channels), {}), 9);
    sim_.Stop();
  }
}

TEST_F(DvrSimTest, CommandLineErrorsAreRefused) {
  const std::vector<std::vector<std::string>> bad = {
      {"--kind", "3"}, {"--size", "353x288"}, {"--port", "0"}, {"--user", "thirteenchars"},
      {"--loop", "x"}, {"--listen", "localhost"}, {"--bogus", "1"}, {"--port"}};
  for (const auto& args : bad) {
    std::vector<std::string> full = {"--listen", "127.0.0.53", "--port", std::to_string(kPort),
                                     "--catalogue", folder_ / "catalogue"};
    full.insert(full.end(), args.begin(), args.end());
    EXPECT_FALSE(sim_.Start(full, std::chrono::seconds(5))) << args[0];
    sim_.Stop();
  }
}

TEST_F(DvrSimTest, BrokenClientsAreDroppedAndOthersStillServed) {
  ASSERT_TRUE(Start("127.0.0.54", {"--password", "pw"}));
  {
    RawClient early("127.0.0.54");
    EXPECT_EQ(early.Request(wire::kSearch, 0, std::vector<uint8_t>(16, 0)), 5);  // not logged in
    EXPECT_EQ(early.Request(wire::kLogin, 0, {1, 2, 3}), 10);                    // short block
    EXPECT_EQ(early.Request(wire::kLogin, 0, LoginBlock("admin", "PW")), 4);     // case counts
    ASSERT_EQ(early.Request(wire::kLogin, 0, LoginBlock("admin", "pw")), 0);
    EXPECT_EQ(early.Request(wire::kLogin, 0, LoginBlock("admin", "pw")), -1);
    EXPECT_EQ(early.Request(wire::kPtz, 0, {1}), 10);                 // command cut short
    EXPECT_EQ(early.Request(wire::kSearch, 0, {0, 0, 0}), 10);        // query cut short
    EXPECT_EQ(early.Request(wire::kPlayStart, 0, std::vector<uint8_t>(84, 0)), 11);
    EXPECT_EQ(early.Request(wire::kPlayPause, 0, {}), 6);             // nothing playing
    EXPECT_EQ(early.Request(0x7777, 0, {}), 10);                      // unknown request
  }
  {
    RawClient garbage("127.0.0.54");
    ASSERT_TRUE(garbage.SendRaw(std::vector<uint8_t>(64, 0xAB)));
    EXPECT_TRUE(garbage.Closed());
  }
  {
    RawClient huge("127.0.0.54");
    std::vector<uint8_t> header = wire::BuildMessage(wire::kLogin, 0, 1, nullptr, 0);
    header[12] = header[13] = header[14] = header[15] = 0xFF;  // a 4 GiB payload announced
    ASSERT_TRUE(huge.SendRaw(header));
    EXPECT_TRUE(huge.Closed());
  }
  RawClient later("127.0.0.54");
  EXPECT_EQ(later.Request(wire::kLogin, 0, LoginBlock("admin", "pw")), 0);
  EXPECT_EQ(later.Request(wire::kLogout, 0, {}), 0);
  EXPECT_TRUE(later.Closed());
}

// The pictures of `count` live picture messages (payload after the 8-byte frame header).
std::vector<std::vector<uint8_t>> Pictures(RawClient& client, int count);

TEST_F(DvrSimTest, LoopRepeatsEncodedPicturesUntilThePtzHeadMoves) {
  ASSERT_TRUE(Start("127.0.0.49", {"--loop", "1"}));
  RawClient client("127.0.0.49");
  ASSERT_EQ(client.Request(wire::kLogin, 0, LoginBlock("admin", "")), 0);
  ASSERT_EQ(client.Request(wire::kVideoStart, 1, {}), 0);
  auto looped = Pictures(client, 60);
  ASSERT_EQ(looped.size(), 60u);
  // One second of pictures, repeated: picture i and i + 25 are the same bytes.
  int repeats = 0;
  for (size_t i = 0; i + 25 < looped.size(); ++i) repeats += looped[i] == looped[i + 25];
  EXPECT_EQ(repeats, 35);

  std::vector<uint8_t> zoom;
  wire::PutU32(zoom, 6);
  ASSERT_EQ(client.Request(wire::kPtz, 1, zoom), 0);
  auto live = Pictures(client, 30);
  ASSERT_EQ(live.size(), 30u);
  int from_loop = 0;
  for (size_t i = 5; i < live.size(); ++i)
    for (size_t j = 0; j < 25; ++j) from_loop += live[i] == looped[j];
  EXPECT_EQ(from_loop, 0) << "pictures still come from the loop after a PTZ command";
}

std::vector<std::vector<uint8_t>> Pictures(RawClient& client, int count) {
  std::vector<std::vector<uint8_t>> pictures;
  wire::Header h;
  std::vector<uint8_t> payload;
  while (int(pictures.size()) < count && client.NextData(h, payload))
    if (h.type == wire::kVideoFrame && payload.size() > 8)
      pictures.emplace_back(payload.begin() + 8, payload.end());
  return pictures;
}

TEST_F(DvrSimTest, CatalogueIsWrittenWhenMissingAndBadLinesAreSkipped) {
  ASSERT_TRUE(Start("127.0.0.55", {"--kind", "2"}));
  RawClient client("127.0.0.55");
  ASSERT_EQ(client.Request(wire::kLogin, 0, LoginBlock("admin", "")), 0);
  // The default: every channel every two hours of today, 6 s each.
  std::vector<uint8_t> query;
  wire::PutU16(query, 0x80);   // channel 8
  wire::PutU16(query, 0x0F);   // every type
  wire::PutU32(query, 0);
  wire::PutU32(query, 0xFFFFFFFFu);
  wire::PutU16(query, 1);
  wire::PutU16(query, 100);   // more than a page may hold
  std::vector<uint8_t> body;
  ASSERT_EQ(client.Request(wire::kSearch, 0, query, &body), 0);
  wire::Reader r(body);
  EXPECT_EQ(r.U16(), 12);
  EXPECT_EQ(r.U16(), 1);
  EXPECT_EQ(r.U16(), 12);
  EXPECT_EQ(r.remaining(), 12u * wire::kRecordDataBytes);
  sim_.Stop();

  std::ifstream in(folder_ / "catalogue/catalogue.txt");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(text.find("\n96 8 8 "), std::string::npos) << text.substr(0, 200);

  // Lines that are not recordings are skipped; the rest still serve.
  std::ofstream out(folder_ / "catalogue/catalogue.txt");
  out << "1 1 8 2026-01-02 03:04:05 10\n1 17 8 2026-01-02 03:04:05 10\n2 1 3 2026-01-02 03:04:05 10\n"
         "garbage\n3 1 1 2026-01-02 99:04 10\n4 1 2 2026-01-02 04:00:00 5 # motion\n";
  out.close();
  ASSERT_TRUE(Start("127.0.0.55"));
  RawClient again("127.0.0.55");
  ASSERT_EQ(again.Request(wire::kLogin, 0, LoginBlock("admin", "")), 0);
  query[0] = 1;
  body.clear();
  ASSERT_EQ(again.Request(wire::kSearch, 0, query, &body), 0);
  wire::Reader r2(body);
  EXPECT_EQ(r2.U16(), 2);
}

}  // namespace
