// libFerrow against a recorder that answers with the input: the answer to the login, the
// answer to a PTZ request and everything that comes over a channel's media connection are the
// fuzzer's bytes. The library must turn each into a result code or a callback with valid
// data, and every call must come back in bounded time.
//
// Input: u8 flags, u16 login-answer bytes, u16 request-answer bytes, u16 media bytes sent
// before the callbacks are registered, u8 room for the request's answer, then the three
// byte runs in that order and the rest of the media connection.
//   flags bit 0: send a PTZ request after the login
//         bit 1: close the control connection once the media connection has ended, so that
//                the handle reports a lost connection to the preview
// The recorder keeps a connection open only while what it sent ends on a whole message;
// otherwise it closes its side at once, so that no run waits for the library's time-outs.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device_sdk/Ferrow/Ferrow.h"
#include "device_sdk/Ferrow/FerrowWire.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

namespace wire = ferrow::wire;
using Clock = std::chrono::steady_clock;

constexpr const char* kAddress = "127.0.0.171";

int Listen(uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  FUZZ_CHECK(fd >= 0);
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in local{};
  local.sin_family = AF_INET;
  inet_pton(AF_INET, kAddress, &local.sin_addr);
  FUZZ_CHECK(bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) == 0);
  FUZZ_CHECK(listen(fd, 16) == 0);
  socklen_t length = sizeof(local);
  getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
  port = ntohs(local.sin_port);
  return fd;
}

struct Listeners {
  int control = -1;
  int media = -1;
  uint16_t controlPort = 0;
  uint16_t mediaPort = 0;
  Listeners() {
    control = Listen(controlPort);
    media = Listen(mediaPort);
    FRWLoadLibrary(5000, 0);
  }
};

Listeners& TheListeners() {
  static Listeners listeners;
  return listeners;
}

// Accepts one connection within wait_ms; -1 when none came.
int AcceptWithin(int listener, int wait_ms) {
  pollfd waiter{listener, POLLIN, 0};
  if (poll(&waiter, 1, wait_ms) != 1) return -1;
  return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}

// Reads one whole message of the library within a second; false otherwise.
bool ReadMessage(int fd) {
  wire::Message message;
  return wire::ReceiveMessage(fd, message, 1000) == wire::IoResult::Ok;
}

void Send(int fd, const uint8_t* data, size_t size) {
  if (size > 0) wire::SendAll(fd, data, size, 1000);
}

// Waits until the peer closes (or a second passes), then closes.
void DrainAndClose(int fd) {
  uint8_t sink[4096];
  const auto until = Clock::now() + std::chrono::seconds(1);
  while (Clock::now() < until) {
    pollfd waiter{fd, POLLIN, 0};
    if (poll(&waiter, 1, 50) != 1) continue;
    if (recv(fd, sink, sizeof(sink), MSG_DONTWAIT) <= 0) break;
  }
  close(fd);
}

// True when the bytes are one or more whole messages, so that the library has read all of
// them without waiting; with `needAnswer` one of them must be more than a heartbeat.
bool WholeMessages(const uint8_t* data, size_t size, bool needAnswer) {
  bool answer = false;
  size_t count = 0;
  while (size >= wire::kHeaderBytes) {
    const wire::Header header = wire::DecodeHeader(data);
    if (header.length > wire::kMaxPayloadBytes || header.length > size - wire::kHeaderBytes)
      return false;
    answer = answer || header.type != wire::Type::DeviceHeartbeat;
    data += wire::kHeaderBytes + header.length;
    size -= wire::kHeaderBytes + header.length;
    ++count;
  }
  return size == 0 && count > 0 && (answer || !needAnswer);
}

struct Script {
  bool request = false;
  bool closeControlAfterMedia = false;
  const uint8_t* loginAnswer = nullptr;
  size_t loginAnswerBytes = 0;
  const uint8_t* requestAnswer = nullptr;
  size_t requestAnswerBytes = 0;
  const uint8_t* mediaEarly = nullptr;
  size_t mediaEarlyBytes = 0;
  const uint8_t* mediaLate = nullptr;
  size_t mediaLateBytes = 0;
  size_t replyRoom = 0;
};

// The recorder's side of one run. The harness says when it is done and when the callbacks
// are in place; the recorder says when the library has let go of the media connection.
struct Device {
  std::mutex lock;
  std::condition_variable changed;
  bool done = false;            // Guarded by lock
  bool callbacksReady = false;  // Guarded by lock
  bool mediaFinished = false;   // Guarded by lock

  bool Done() {
    std::lock_guard<std::mutex> guard(lock);
    return done;
  }

  void ServeControl(const Script& script, int listener) {
    const int fd = AcceptWithin(listener, 1000);
    if (fd < 0) return;
    bool open = ReadMessage(fd);
    if (open) {
      Send(fd, script.loginAnswer, script.loginAnswerBytes);
      open = WholeMessages(script.loginAnswer, script.loginAnswerBytes, true);
    }
    if (open && script.request) {
      open = ReadMessage(fd);
      if (open) {
        Send(fd, script.requestAnswer, script.requestAnswerBytes);
        open = WholeMessages(script.requestAnswer, script.requestAnswerBytes, false);
      }
    }
    if (!open) shutdown(fd, SHUT_WR);
    // Later logins (a preview after a lost connection logs in again) are turned away.
    while (!Done()) {
      const int again = AcceptWithin(listener, 20);
      if (again >= 0) close(again);
      if (open && script.closeControlAfterMedia) {
        std::lock_guard<std::mutex> guard(lock);
        if (mediaFinished) {
          shutdown(fd, SHUT_WR);
          open = false;
        }
      }
    }
    shutdown(fd, SHUT_WR);
    DrainAndClose(fd);
  }

  void ServeMedia(const Script& script, int listener) {
    int fd = -1;
    while (fd < 0 && !Done()) fd = AcceptWithin(listener, 20);
    if (fd < 0) return;
    if (ReadMessage(fd)) {
      Send(fd, script.mediaEarly, script.mediaEarlyBytes);
      if (WholeMessages(script.mediaEarly, script.mediaEarlyBytes, false)) {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait_for(guard, std::chrono::seconds(1), [&] { return callbacksReady || done; });
      }
      Send(fd, script.mediaLate, script.mediaLateBytes);
    }
    shutdown(fd, SHUT_WR);
    DrainAndClose(fd);
    {
      std::lock_guard<std::mutex> guard(lock);
      mediaFinished = true;
    }
    changed.notify_all();
    while (!Done()) {
      const int again = AcceptWithin(listener, 20);
      if (again >= 0) close(again);
    }
  }
};

// Callbacks touch every byte they are given, so that data outside what the library owns is
// caught, and check the lengths they are promised.
std::atomic<unsigned> g_sink{0};
std::atomic<bool> g_lost{false};

void OnVideo(const unsigned char* frame, int keyFrame, int length, int, void*) {
  FUZZ_CHECK(length > 0 && (keyFrame == 0 || keyFrame == 1));
  unsigned sum = 0;
  for (int i = 0; i < length; ++i) sum += frame[i];
  g_sink += sum;
}

void OnAudio(const unsigned char* block, int length, int, void*, int playOff, int restart) {
  FUZZ_CHECK(length > 0 && (playOff == 0 || playOff == 1) && (restart == 0 || restart == 1));
  unsigned sum = 0;
  for (int i = 0; i < length; ++i) sum += block[i];
  g_sink += sum;
}

void OnStatus(int status, const void* data, int length, void*) {
  if (status == FRW_STATUS_FORMAT_CHANGED) {
    FUZZ_CHECK(data != nullptr && length == static_cast<int>(sizeof(FRW_MEDIA_INFO)));
    FRW_MEDIA_INFO info;
    std::memcpy(&info, data, sizeof(info));
    g_sink += static_cast<unsigned>(info.nWidth);
  } else {
    FUZZ_CHECK(status == FRW_STATUS_CONNECTION_LOST && data == nullptr && length == 0);
    g_lost = true;
  }
}

bool ReadScript(const uint8_t* data, size_t size, Script& script) {
  if (size < 8) return false;
  script.request = data[0] & 1;
  script.closeControlAfterMedia = data[0] & 2;
  script.loginAnswerBytes = data[1] | (data[2] << 8);
  script.requestAnswerBytes = data[3] | (data[4] << 8);
  script.mediaEarlyBytes = data[5] | (data[6] << 8);
  script.replyRoom = data[7];
  data += 8;
  size -= 8;
  for (auto [bytes, at] : {std::pair{&script.loginAnswerBytes, &script.loginAnswer},
                           std::pair{&script.requestAnswerBytes, &script.requestAnswer},
                           std::pair{&script.mediaEarlyBytes, &script.mediaEarly}}) {
    *bytes = std::min(*bytes, size);
    *at = data;
    data += *bytes;
    size -= *bytes;
  }
  script.mediaLate = data;
  script.mediaLateBytes = size;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Script script;
  if (size > 1 << 20 || !ReadScript(data, size, script)) return 0;
  Listeners& listeners = TheListeners();
  g_lost = false;
  Device device;
  std::thread control([&] { device.ServeControl(script, listeners.control); });
  std::thread media([&] { device.ServeMedia(script, listeners.media); });

  FRW_CONNECT_INFO connect{};
  std::strcpy(connect.szAddress, kAddress);
  connect.wPort = listeners.controlPort;
  connect.dwMediaPort = listeners.mediaPort;
  FRW_USER_INFO user{};
  std::strcpy(user.szUser, "admin");
  std::strcpy(user.szPassword, "12345");

  const auto started = Clock::now();
  int handle = 0;
  if (FRWCreateHandle(&handle, &connect, &user, 0) == FRW_OK) {
    FUZZ_CHECK(handle != 0);
    if (script.request) {
      unsigned char ptz[FRW_PTZ_PAYLOAD_BYTES] = {0, 0, 0, 1, 1, 'a', 'd', 'm', 'i', 'n'};
      const unsigned short check = FRWCalculateCrc(ptz + 2, 3);
      ptz[0] = static_cast<unsigned char>(check >> 8);
      ptz[1] = static_cast<unsigned char>(check);
      auto reply = std::make_unique<unsigned char[]>(script.replyRoom + 1);
      int replyLength = static_cast<int>(script.replyRoom);
      FRWRequestEx(handle, 0, FRW_REQUEST_PTZ, FRW_REQUEST_PTZ_SUB, ptz, sizeof(ptz),
                   script.replyRoom ? reply.get() : nullptr, &replyLength, 200, 0);
      FUZZ_CHECK(replyLength >= 0);
    }
    if (FRWStartPreview(handle, 0, 0, 0) == FRW_OK) {
      FRWRegConnectStatusCallBack(handle, 0, OnStatus, nullptr);
      FRWRegVideoPreCallBack(handle, 0, OnVideo, nullptr);
      FRWRegAudioPreCallBack(handle, 0, OnAudio, nullptr);
      FRW_MEDIA_INFO info;
      FUZZ_CHECK(FRWGetMediaInfo(handle, 0, &info) == FRW_OK);
      {
        std::unique_lock<std::mutex> guard(device.lock);
        device.callbacksReady = true;
        device.changed.notify_all();
        device.changed.wait_for(guard, std::chrono::seconds(2), [&] { return device.mediaFinished; });
      }
      // The loss of the control connection reaches the preview from the handle's thread.
      const auto until = Clock::now() + std::chrono::milliseconds(500);
      while (script.closeControlAfterMedia && !g_lost && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      FUZZ_CHECK(FRWStopPreview(handle, 0) == FRW_OK);
    }
    FUZZ_CHECK(FRWDestroyHandle(handle) == FRW_OK);
  }
  // A recorder that answers nonsense must not hold any call for long.
  FUZZ_CHECK(Clock::now() - started < std::chrono::seconds(8));
  {
    std::lock_guard<std::mutex> guard(device.lock);
    device.done = true;
  }
  device.changed.notify_all();
  control.join();
  media.join();
  return 0;
}
