// The DVR SDK against a recorder that answers nonsense: every reply and data message it
// cannot trust gives an error code or is ignored, never a crash or a callback with bad data.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <thread>

#include "device_sdk/Orvane/OrvaneProtocol.h"
#include "tests/device_sdk/Orvane/OrvaneFixture.h"

namespace orvane_test {
namespace {

using namespace std::chrono_literals;
namespace wire = orvane::wire;

// A one-connection recorder whose answers the test writes: `answer` gets each request and
// sends whatever it likes on the socket.
class FakeRecorder {
 public:
  using Answer = std::function<void(int fd, const wire::Header&, const std::vector<uint8_t>&)>;
  FakeRecorder(const char* address, Answer answer) : answer_(std::move(answer)) {
    listen_fd_ = socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kPort);
    a.sin_addr.s_addr = dvr_sim_test::NetworkAddress(address);
    ok_ = bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(listen_fd_, 4) == 0;
    thread_ = std::thread([this] {
      fd_ = accept(listen_fd_, nullptr, nullptr);
      wire::Header h;
      std::vector<uint8_t> payload;
      while (fd_ >= 0 && wire::ReceiveMessage(fd_, h, payload, 10000)) answer_(fd_, h, payload);
    });
  }
  ~FakeRecorder() {
    shutdown(listen_fd_, SHUT_RDWR);
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
    thread_.join();
    if (fd_ >= 0) close(fd_);
    close(listen_fd_);
  }
  bool ok() const { return ok_; }

 private:
  Answer answer_;
  int listen_fd_ = -1;
  std::atomic<int> fd_{-1};
  bool ok_ = false;
  std::thread thread_;
};

void Send(int fd, uint16_t type, uint16_t channel, uint32_t sequence, const std::vector<uint8_t>& payload) {
  auto m = wire::BuildMessage(type, channel, sequence, payload);
  wire::SendAll(fd, m.data(), m.size());
}

std::vector<uint8_t> Result(int32_t result, const std::vector<uint8_t>& body = {}) {
  std::vector<uint8_t> out;
  wire::PutU32(out, uint32_t(result));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<uint8_t> LoginInfo(uint32_t channels) {
  wire::LoginInfo info;
  info.channels = channels;
  info.width = 352;
  info.height = 288;
  info.frame_rate = 25;
  return wire::EncodeLoginInfo(info);
}

std::atomic<int> g_lost{0};
void CountLost(void*) { ++g_lost; }

TEST_F(OrvaneTest, LoginReplyWithoutChannelsIsRefused) {
  FakeRecorder fake("127.0.0.56", [](int fd, const wire::Header& h, const std::vector<uint8_t>&) {
    Send(fd, uint16_t(h.type | wire::kReplyFlag), 0, h.sequence, Result(0, LoginInfo(0)));
  });
  ASSERT_TRUE(fake.ok());
  int result = 0;
  int handle = Login("127.0.0.56", "admin", "pw", &result);
  EXPECT_EQ(result, ORVANE_ERR_PROTOCOL);
  EXPECT_EQ(ORVANE_openVideoReciever(handle, 0, 0, 0), ORVANE_ERR_NOT_CONNECTED);
}

TEST_F(OrvaneTest, LinkBrokenRightBehindTheLoginAnswerFailsTheLoginAtOnce) {
  // The good answer and, in the same breath, a header with a wrong magic: the link is dropped
  // as the login returns. The login must not count as made, or every later call would wait
  // out its reply time on a link nobody reads.
  FakeRecorder fake("127.0.0.59", [](int fd, const wire::Header& h, const std::vector<uint8_t>&) {
    auto answer = wire::BuildMessage(uint16_t(h.type | wire::kReplyFlag), 0, h.sequence, Result(0, LoginInfo(4)));
    answer.resize(answer.size() + 16, 0xEE);
    wire::SendAll(fd, answer.data(), answer.size());
  });
  ASSERT_TRUE(fake.ok());
  int result = 0;
  const int handle = Login("127.0.0.59", "admin", "pw", &result);
  // Either the loss is seen before the login returns, or it is a lost link after a login:
  // the next call fails at once both ways.
  const auto start = std::chrono::steady_clock::now();
  ORVANE_SEARCH query{1, 15, 0, 0xFFFFFFFFu, 1, 8};
  ORVANE_SEARCH_RESULT found{};
  EXPECT_NE(ORVANE_recFilesSearch(handle, &query, &found), ORVANE_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "a call waited on a dead link (login gave " << result << ")";
}

TEST_F(OrvaneTest, HostileRepliesAndDataGiveErrorsNotCrashes) {
  FakeRecorder fake("127.0.0.57", [](int fd, const wire::Header& h, const std::vector<uint8_t>&) {
    const uint16_t reply = uint16_t(h.type | wire::kReplyFlag);
    if (h.type == wire::kLogin) {
      Send(fd, reply, 0, h.sequence, Result(0, LoginInfo(4)));
    } else if (h.type == wire::kSearch) {
      // Five records announced, none sent; then a page past the total.
      static int searches = 0;
      std::vector<uint8_t> body;
      wire::PutU16(body, 3);
      wire::PutU16(body, searches == 0 ? 1 : 3);
      wire::PutU16(body, searches == 0 ? 5 : 2);
      if (searches++ == 1) body.resize(body.size() + 2 * wire::kRecordDataBytes, 'x');
      Send(fd, reply, 0, h.sequence, Result(0, body));
    } else if (h.type == wire::kVideoStart) {
      // A picture larger than any read buffer arrives before the answer: the answer must
      // still be found right after it.
      std::vector<uint8_t> large = {0, 0, 0, 0, 0, 0, 0, 0};
      large.resize(300 * 1024, 0x3C);
      Send(fd, wire::kVideoFrame, h.channel, 0, large);
      Send(fd, reply, h.channel, h.sequence, Result(0));
      // A "key frame" that is no MPEG-4, data for a channel that does not exist, sound blocks
      // too short or with an impossible step index.
      std::vector<uint8_t> junk = {0, 0, 0, 0, 1, 0, 0, 0};
      junk.resize(4000, 0x5A);
      Send(fd, wire::kVideoFrame, h.channel, 0, junk);
      Send(fd, wire::kVideoFrame, 999, 0, junk);
      Send(fd, wire::kVideoFrame, h.channel, 0, {1, 2});
      Send(fd, wire::kAudioBlock, h.channel, 0, {1, 2});
      std::vector<uint8_t> sound = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200, 0};
      sound.resize(sound.size() + 160, 0x11);
      Send(fd, wire::kAudioBlock, h.channel, 0, sound);
      Send(fd, wire::kPlayFrame, 0, 0, junk);
    } else if (h.type == wire::kPtz) {
      // A header with a wrong magic: the SDK must drop the link.
      std::vector<uint8_t> bad(16, 0xEE);
      wire::SendAll(fd, bad.data(), bad.size());
    } else {
      Send(fd, reply, h.channel, h.sequence, Result(0));
    }
  });
  ASSERT_TRUE(fake.ok());
  g_lost = 0;
  int handle = Login("127.0.0.57");
  ASSERT_EQ(ORVANE_regCBMsgConnLost(handle, CountLost, nullptr), ORVANE_OK);

  ORVANE_SEARCH query{1, 15, 0, 0xFFFFFFFFu, 1, 8};
  ORVANE_SEARCH_RESULT result{};
  EXPECT_EQ(ORVANE_recFilesSearch(handle, &query, &result), ORVANE_ERR_PROTOCOL);
  EXPECT_EQ(+result.files, nullptr);
  EXPECT_EQ(ORVANE_recFilesSearch(handle, &query, &result), ORVANE_ERR_PROTOCOL);  // 3 + 2 > 3 + 1
  EXPECT_EQ(+result.files, nullptr);

  Received& pictures = pictures_;
  Received& sound = sound_;
  StartPreview(handle, 2, &pictures, &sound);
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(pictures.count(), 0);
  EXPECT_EQ(sound.count(), 0);

  ORVANE_PTZ up{2, 1, 0};
  ORVANE_PtzControl(handle, &up);
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (g_lost == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(g_lost, 1);
  EXPECT_EQ(ORVANE_logoutServer(handle), ORVANE_ERR_NOT_LOGGED_IN);
}

}  // namespace
}  // namespace orvane_test
