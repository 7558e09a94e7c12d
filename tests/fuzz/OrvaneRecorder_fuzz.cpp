// libOrvane against a recorder that answers with the input: what follows the login request
// and what follows a recording search are the fuzzer's bytes, then the recorder closes its
// side. The SDK must turn them into result codes and well-formed result blocks, and every call
// must come back in bounded time.
//
// Input: u8 flags (bit 0: search after the login), u16 bytes sent after the login request,
// then those bytes and the bytes sent after the search request.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "device_sdk/Orvane/Orvane.h"
#include "device_sdk/Orvane/OrvaneProtocol.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

namespace wire = orvane::wire;
using Clock = std::chrono::steady_clock;

constexpr const char* kAddress = "127.0.0.173";

struct Recorder {
  int listener = -1;
  uint16_t port = 0;
  Recorder() {
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    FUZZ_CHECK(listener >= 0);
    const int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, kAddress, &local.sin_addr);
    FUZZ_CHECK(bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof(local)) == 0);
    FUZZ_CHECK(listen(listener, 16) == 0);
    socklen_t length = sizeof(local);
    getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length);
    port = ntohs(local.sin_port);
    ORVANE_startup();
  }
};

Recorder& TheRecorder() {
  static Recorder recorder;
  return recorder;
}

bool ReadRequest(int fd) {
  wire::Header header;
  std::vector<uint8_t> payload;
  return wire::ReceiveMessage(fd, header, payload, 1000);
}

void Serve(int listener, bool search, const uint8_t* first, size_t firstBytes,
           const uint8_t* second, size_t secondBytes) {
  pollfd waiter{listener, POLLIN, 0};
  if (poll(&waiter, 1, 2000) != 1) return;
  const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  if (ReadRequest(fd)) {
    if (firstBytes > 0) wire::SendAll(fd, first, firstBytes);
    if (search && ReadRequest(fd) && secondBytes > 0) wire::SendAll(fd, second, secondBytes);
  }
  shutdown(fd, SHUT_WR);
  // Until the SDK lets go of the connection (or a few seconds pass).
  uint8_t sink[4096];
  const auto until = Clock::now() + std::chrono::seconds(3);
  while (Clock::now() < until) {
    pollfd reader{fd, POLLIN, 0};
    if (poll(&reader, 1, 50) != 1) continue;
    if (recv(fd, sink, sizeof(sink), MSG_DONTWAIT) <= 0) break;
  }
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3 || size > 1 << 20) return 0;
  Recorder& recorder = TheRecorder();
  const bool search = data[0] & 1;
  const size_t firstBytes = std::min<size_t>(data[1] | (data[2] << 8), size - 3);
  const uint8_t* first = data + 3;
  const uint8_t* second = first + firstBytes;
  const size_t secondBytes = size - 3 - firstBytes;
  std::thread device(Serve, recorder.listener, search, first, firstBytes, second, secondBytes);

  const auto started = Clock::now();
  in_addr address{};
  inet_pton(AF_INET, kAddress, &address);
  int handle = -1;
  if (ORVANE_createDVR(&handle, address.s_addr, recorder.port) == 0) {
    ORVANE_LOGIN login{};
    std::strcpy(login.user, "admin");
    if (ORVANE_loginServer(handle, &login) == 0) {
      // Exactly the 96 bytes the interface promises to fill.
      auto params = std::make_unique<unsigned char[]>(96);
      ORVANE_getSystemParams(handle, params.get());
      if (search) {
        ORVANE_SEARCH query{};
        query.channelMask = 0xFFFF;
        query.typeMask = 0xFF;
        query.endTime = 0xFFFFFFFFu;
        query.firstIndex = 1;
        query.pageSize = 64;
        auto result = std::make_unique<ORVANE_SEARCH_RESULT>();
        if (ORVANE_recFilesSearch(handle, &query, result.get()) == 0) {
          ORVANE_RECFILE* files = nullptr;
          std::memcpy(&files, reinterpret_cast<const unsigned char*>(result.get()) +
                                  offsetof(ORVANE_SEARCH_RESULT, files), sizeof(files));
          const int returned = result->first == 0 ? 0 : result->last - result->first + 1;
          FUZZ_CHECK(returned >= 0 && returned <= 64 && result->last <= result->total);
          int walked = 0;
          for (ORVANE_RECFILE* file = files; file != nullptr; ++walked) {
            FUZZ_CHECK(walked < returned);
            FUZZ_CHECK(std::memchr(file->fileName, 0, sizeof(file->fileName)) != nullptr);
            ORVANE_RECFILE* next = nullptr;
            std::memcpy(&next, reinterpret_cast<const unsigned char*>(file) +
                                   offsetof(ORVANE_RECFILE, next), sizeof(next));
            file = next;
          }
          FUZZ_CHECK(walked == returned);
          ORVANE_recFilesSearchClean(result.get());
        }
      }
      ORVANE_logoutServer(handle);
    }
    ORVANE_destroyDVR(handle);
  }
  // The SDK may wait out its 5-second reply time in the logout and in the destroy; anything
  // longer is a call that does not come back.
  FUZZ_CHECK(Clock::now() - started < std::chrono::seconds(12));
  device.join();
  return 0;
}
