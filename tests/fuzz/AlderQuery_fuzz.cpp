// The recorder simulator's recording protocol: any bytes sent as requests to the query port of
// a simulator serving a small folder of recordings. Each request with the marker must get the
// answers its command promises, search results must match the query, names sent back must
// never reach a file outside the folder, and an offered transfer must deliver the whole file.
//
// Input: u8 flags (bit 0: start the last transfer offered on the transmit port), then the
// bytes of the query connection.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "device_sdk/Ferrow/FerrowWire.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tools/alder_sim/RecordingCatalogue.h"
#include "tools/alder_sim/SimOptions.h"
#include "tools/alder_sim/VantorServer.h"

namespace {

namespace fs = std::filesystem;
namespace wire = ferrow::wire;
using Clock = std::chrono::steady_clock;

constexpr size_t kRequest = alder::VantorServer::kRequestBytes;
constexpr size_t kReply = alder::VantorServer::kReplyBytes;

struct Simulator {
  fs::path root;     // holds the recordings folder and a file beside it that must stay out of reach
  fs::path folder;   // the recordings
  alder::SimOptions options;
  std::unique_ptr<alder::VantorServer> server;

  Simulator() {
    std::string pattern = (fs::temp_directory_path() / "suite-fuzz-alder-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FUZZ_CHECK(mkdtemp(name.data()) != nullptr);
    root = fs::canonical(name.data());
    folder = root / "recordings";
    fs::create_directories(folder / "sub");
    Write(folder / "2010-04-29-051845 M101.avi", 3000);
    Write(folder / "2010-04-29-061000 T101.avi", 1500);
    Write(folder / "2010-04-29-070000 A102.avi", 700);
    Write(folder / "sub" / "2010-04-29-080000 M101.avi", 2100);
    Write(folder / "notes.txt", 10);
    Write(root / "2010-04-29-090000 M101.avi", 99);

    options.address = "127.0.0.172";
    options.recordings = folder.string();
    options.live = false;
    for (uint16_t offset = 0; offset < 50 && !server; ++offset) {
      options.queryPort = static_cast<uint16_t>(42170 + offset);
      options.transmitPort = static_cast<uint16_t>(41170 + offset);
      auto candidate = std::make_unique<alder::VantorServer>(options);
      std::string error;
      if (candidate->Start(&error)) server = std::move(candidate);
    }
    FUZZ_CHECK(server != nullptr);
  }

  static void Write(const fs::path& path, size_t size) {
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < size; ++i) out.put(static_cast<char>(i * 7));
  }
};

Simulator& TheSimulator() {
  static Simulator simulator;
  return simulator;
}

int Connect(uint16_t port) {
  const int fd = wire::ConnectTcp(TheSimulator().options.address, port, 1000);
  FUZZ_CHECK(fd >= 0);
  return fd;
}

// Sends `bytes`, reading at the same time so that neither side waits for the other's buffers,
// and returns what the simulator sent until it closed or `stopAfter` bytes came. With
// `halfClose` the sending side is closed after the last byte, as a client that has no more
// requests does.
std::vector<uint8_t> Exchange(int fd, const uint8_t* bytes, size_t size, size_t stopAfter,
                              bool halfClose) {
  std::vector<uint8_t> received;
  size_t sent = 0;
  bool sending = size > 0;
  if (!sending && halfClose) shutdown(fd, SHUT_WR);
  const auto until = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < until && received.size() < stopAfter) {
    pollfd waiter{fd, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
    if (poll(&waiter, 1, 100) <= 0) continue;
    if (waiter.revents & POLLOUT) {
      const ssize_t n = send(fd, bytes + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) sent += static_cast<size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EINTR) sending = false;
      if (sent == size && sending) {
        if (halfClose) shutdown(fd, SHUT_WR);
        sending = false;
      }
    }
    if (waiter.revents & (POLLIN | POLLHUP | POLLERR)) {
      uint8_t chunk[8192];
      const ssize_t n = recv(fd, chunk, sizeof(chunk), MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
      if (n > 0) received.insert(received.end(), chunk, chunk + n);
    }
  }
  FUZZ_CHECK(Clock::now() < until);
  return received;
}

// A name sent back by a client resolves, if at all, to a file inside the recordings folder.
void CheckResolve(const std::string& name) {
  const Simulator& simulator = TheSimulator();
  alder::RecordingCatalogue catalogue(simulator.folder.string());
  const auto path = catalogue.Resolve(name);
  if (!path) return;
  const fs::path real = fs::weakly_canonical(*path);
  const fs::path relative = real.lexically_relative(simulator.folder);
  FUZZ_CHECK(!relative.empty() && *relative.begin() != "..");
}

struct Offer {
  uint8_t id = 0;
  bool play = false;
  uint32_t size = 0;
};

// Walks the requests and the replies together: each known command must be answered as it
// promises, in order.
Offer CheckReplies(const uint8_t* requests, size_t size, const std::vector<uint8_t>& replies) {
  FUZZ_CHECK(replies.size() % kReply == 0);
  size_t next = 0;
  auto take = [&]() -> const uint8_t* {
    FUZZ_CHECK(next + kReply <= replies.size());
    const uint8_t* reply = replies.data() + next;
    next += kReply;
    FUZZ_CHECK(reply[0] == 0x8A);
    return reply;
  };
  Offer offer;
  for (; size >= kRequest; requests += kRequest, size -= kRequest) {
    if (requests[0] != 0x8A) continue;
    const uint8_t command = requests[1];
    if (command == 0x6F) {
      const uint32_t date = wire::GetU32(requests + 4);
      const uint32_t from = wire::GetU32(requests + 12);
      const uint32_t to = wire::GetU32(requests + 16);
      const uint16_t channel = wire::GetU16(requests + 20);
      const uint16_t type = wire::GetU16(requests + 22);
      for (const uint8_t* reply = take(); reply[1] != 0x7A; reply = take()) {
        FUZZ_CHECK(reply[1] == 0x79);
        FUZZ_CHECK(reply[3] >= 1 && reply[3] <= 8);
        for (int i = 0; i < reply[3]; ++i) {
          const uint8_t* entry = reply + 8 + i * 128;
          FUZZ_CHECK(wire::GetU32(entry) == date && wire::GetU16(entry + 10) == channel);
          const uint32_t start = wire::GetU32(entry + 4);
          FUZZ_CHECK(start >= from && start <= to);
          FUZZ_CHECK(type == 0 || wire::GetU16(entry + 8) == type);
          FUZZ_CHECK(std::memchr(entry + 12, 0, 116) != nullptr);
        }
      }
    } else if (command == 0xD3 || command == 0xD6) {
      const char* field = reinterpret_cast<const char*>(requests + 24);
      CheckResolve(std::string(field, strnlen(field, kRequest - 24)));
      const uint8_t* reply = take();
      const uint8_t ready = command == 0xD3 ? 0xE1 : 0xE3;
      FUZZ_CHECK(reply[1] == ready || reply[1] == 0xE2);
      if (reply[1] == ready) {
        FUZZ_CHECK(reply[2] != 0);
        offer = {reply[2], command == 0xD3, wire::GetU32(reply + 4)};
      }
    }
  }
  // A play may report its end on the query connection; nothing else may follow.
  while (next < replies.size()) FUZZ_CHECK(take()[1] == 0xE0);
  return offer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16) return 0;
  Simulator& simulator = TheSimulator();
  const bool follow = data[0] & 1;
  ++data;
  --size;

  const int query = Connect(simulator.options.queryPort);
  const std::vector<uint8_t> replies = Exchange(query, data, size, SIZE_MAX, true);
  close(query);
  const Offer offer = CheckReplies(data, size, replies);

  if (follow && offer.id != 0) {
    uint8_t start[kRequest] = {0x8A, 0xD5, offer.id};
    const int transmit = Connect(simulator.options.transmitPort);
    // A play announces its size, so the whole file is awaited; a download does not, so the
    // client closes at once and takes what came.
    const std::vector<uint8_t> file = Exchange(transmit, start, sizeof(start),
                                               offer.play ? offer.size : SIZE_MAX, !offer.play);
    close(transmit);
    if (offer.play) FUZZ_CHECK(file.size() == offer.size);
  }
  // Every connection the input opened is served to its end once the client has gone: a
  // server thread still busy afterwards would be a hang, and would carry its buffers into the
  // next input.
  FUZZ_CHECK(simulator.server->WaitUntilIdle(std::chrono::seconds(5)));
  return 0;
}
