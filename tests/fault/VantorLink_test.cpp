// The playback program's remote search against a Vantor device (alder_sim) reached through a
// faulty link: a device that hangs up in the middle of a reply block ends the search without
// a made-up row, and a device that goes silent never holds the Stop button or the program's
// exit past a bounded wait.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Window.h"
#include "playback_app/remote/CVantorRemote.h"
#include "tests/fault/FaultSupport.h"
#include "tests/fault/FaultyLink.h"
#include "tests/tools/alder_sim/AlderSimProcess.h"

namespace {

using namespace std::chrono_literals;
using namespace lumaro;

struct Host : IVantorHost {
  int search_ended = 0;
  std::vector<SearchFailure> failures;
  void OnRemoteRowsAdded() override {}
  void OnRemoteSearchEnded(SearchFailure failure) override {
    ++search_ended;
    failures.push_back(failure);
  }
  StreamDisplay DisplayCallback() override { return {}; }
  void OnRemotePlayStopped(int) override {}
  void OnRemoteStreamStarted(int) override {}
  void* VideoWindowHandle(int) override { return nullptr; }
  bool SoundMuted() override { return true; }
  bool AskYesNo(const char*) override { return true; }
  void Notify(const char*) override {}
  void OnDownloadProgressChanged() override {}
};

// A memory window standing in for the main dialog; the test thread pumps its messages into
// the remote side as the dialog does.
struct Dialog {
  Dialog() : handle(PlatformCreateMemoryWindow(64, 64)) {}
  ~Dialog() { PlatformDestroyWindow(handle); }
  platform::Window* window() { return static_cast<platform::Window*>(handle); }
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      platform::Message message;
      window()->PumpOneMessage(20ms, &message);
    }
    return true;
  }
  void* handle;
};

class VantorLink : public ::testing::Test {
 protected:
  void SetUp() override {
    recordings_ = std::filesystem::temp_directory_path() / ("fault_vantor_" + std::to_string(::getpid()));
    std::filesystem::create_directories(recordings_);
    ASSERT_TRUE(sim_.Start({"--address", "127.0.0.162", "--port", "8000", "--no-live", "--recordings",
                            recordings_.string()}));
    ASSERT_TRUE(link_.ok());
    dialog_.window()->SetMessageHandler([this](const platform::Message& m) {
      platform::LRESULT result = 0;
      if (remote_) remote_->HandleMessage(m, result);
      return result;
    });
    remote_ = std::make_unique<CVantorRemote>(dialog_.handle, host_);
    remote_->StartNetwork();
  }
  void TearDown() override {
    // The program's exit: the remote side is destroyed, on the dialog's thread, with whatever
    // is still open. A hang here ends in the test's time-out.
    const auto start = std::chrono::steady_clock::now();
    remote_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s) << "ending the remote side took too long";
    sim_.Stop();
    std::filesystem::remove_all(recordings_);
  }

  std::filesystem::path recordings_;
  testsupport::AlderSimProcess sim_;
  fault_test::FaultyLink link_{"127.0.0.161", "127.0.0.162", {4200, 4100}};
  Dialog dialog_;
  Host host_;
  std::unique_ptr<CVantorRemote> remote_;
};

TEST_F(VantorLink, DeviceHangingUpMidReplyEndsTheSearch) {
  // Through a whole link the search ends with the device's own "finished" reply.
  ASSERT_EQ(remote_->StartSearch("127.0.0.161", 20100525, 0, 235959, {{1, 0}, {2, 1}}, 0), 2);
  ASSERT_TRUE(dialog_.PumpUntil([&] { return host_.search_ended == 1; }, 20s));

  // Each query connection hangs up 500 bytes into its 1,032-byte reply.
  link_.CutAfter(500);
  ASSERT_EQ(remote_->StartSearch("127.0.0.161", 20100525, 0, 235959, {{1, 0}, {2, 1}}, 0), 2);
  EXPECT_TRUE(dialog_.PumpUntil([&] { return host_.search_ended == 2; }, 20s))
      << "a search whose device hung up mid-reply never ended";
  EXPECT_EQ(remote_->Outstanding(), 0);
  EXPECT_GE(link_.Cuts(), 2);
}

TEST_F(VantorLink, SilentDeviceNeverHoldsStopOrExit) {
  link_.Stall();
  ASSERT_EQ(remote_->StartSearch("127.0.0.161", 20100525, 0, 235959, {{1, 0}, {2, 1}, {3, 2}}, 0), 3);
  // Nothing comes back: the search stays outstanding while the operator waits.
  dialog_.PumpUntil([] { return false; }, 1s);
  EXPECT_EQ(host_.search_ended, 0);
  // The operator presses Stop.
  const auto pressed = std::chrono::steady_clock::now();
  remote_->StopSearch();
  EXPECT_LT(std::chrono::steady_clock::now() - pressed, 5s) << "Stop waited on a silent device";
  dialog_.PumpUntil([] { return false; }, 200ms);
  // A second search on the silent device, left open for the exit in TearDown.
  remote_->StartSearch("127.0.0.161", 20100525, 0, 235959, {{4, 3}}, 0);
  dialog_.PumpUntil([] { return false; }, 300ms);
}

TEST_F(VantorLink, SilentDeviceEndsTheSearchAsNoAnswerAfterTheWait) {
  // The link takes the connections but the device never replies: without an end of its
  // own the search would hold the Stop button for ever and the operator would hear nothing.
  link_.Stall();
  remote_->SetAnswerWait(1500ms);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(remote_->StartSearch("127.0.0.161", 20100525, 0, 235959, {{1, 0}, {2, 1}}, 0), 2);
  ASSERT_TRUE(dialog_.PumpUntil([&] { return host_.search_ended == 1; }, 10s)) << "the silent search never ended";
  EXPECT_GE(std::chrono::steady_clock::now() - started, 1500ms);
  EXPECT_EQ(host_.failures, std::vector<SearchFailure>{SearchFailure::NoAnswer});
  EXPECT_FALSE(remote_->DeviceAnswered());
  EXPECT_EQ(remote_->Outstanding(), 0);
}

}  // namespace
