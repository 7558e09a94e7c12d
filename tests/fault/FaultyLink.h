#pragma once

// A faulty network link between a client and a device simulator: it listens on the test's
// own loopback address, forwards every connection to the simulator, and on the test's word
// cuts the device's side short in the middle of what it is sending, or stops carrying
// anything in either direction while keeping the connections open (a device that hangs).

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fault_test {

class FaultyLink {
 public:
  // Listens on `address`:`port` and forwards to `device_address`:`port` (each of `ports`).
  FaultyLink(const std::string& address, const std::string& device_address, const std::vector<std::uint16_t>& ports);
  ~FaultyLink();
  FaultyLink(const FaultyLink&) = delete;
  FaultyLink& operator=(const FaultyLink&) = delete;

  bool ok() const { return ok_; }
  // Carries everything again, for connections made from now on.
  void Pass();
  // Each connection, open or new, carries `bytes` more from the device to the client, then
  // both of its sockets are closed: the client sees the device hang up in mid-message.
  void CutAfter(std::int64_t bytes);
  // Nothing more is carried either way and nothing is closed, until Pass() or destruction.
  void Stall();
  // Bytes carried from the device to clients so far.
  std::int64_t DeviceBytes() const { return device_bytes_.load(); }
  // Connections cut so far.
  int Cuts() const { return cuts_.load(); }

 private:
  enum class Mode { Pass, Cut, Stall };
  struct Connection;
  void Accept(int listener, std::uint16_t port);
  void Carry(std::shared_ptr<Connection> connection);

  std::string device_address_;
  std::vector<int> listeners_;
  std::atomic<bool> stop_{false};
  std::atomic<Mode> mode_{Mode::Pass};
  std::atomic<std::int64_t> cut_budget_{0};
  std::atomic<std::int64_t> device_bytes_{0};
  std::atomic<int> cuts_{0};
  std::atomic<int> generation_{0};  // bumped by each CutAfter so open connections take the new budget
  bool ok_ = false;
  std::mutex lock_;
  std::vector<std::thread> threads_;  // Guarded by lock_
};

}  // namespace fault_test
