// Devices that hang up in the middle of a picture or of an answer, and devices that stop
// answering with the connection still open, for both device families: the DVR recorders
// (dvr_sim through the DVR SDK) and the capture-card recorders (alder_sim through the
// media-transmit library). The simulators are reached through a faulty link that does the
// damage. Every call returns within its bounded wait, a lost link is reported once, and
// shutting the library down never hangs.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "device_sdk/Ferrow/Ferrow.h"
#include "device_sdk/Orvane/Orvane.h"
#include "tests/fault/FaultSupport.h"
#include "tests/fault/FaultyLink.h"
#include "tests/tools/alder_sim/AlderSimProcess.h"
#include "tests/tools/dvr_sim/DvrSimProcess.h"

namespace {

using namespace std::chrono_literals;
using fault_test::FaultyLink;
using fault_test::ReturnsWithin;

constexpr unsigned short kDvrPort = 8670;
// The longest a single call may take: the libraries' own waits (5 s for a login, 3 s for a
// request) and room for a loaded machine.
constexpr auto kBoundedWait = 12s;

template <typename Clock = std::chrono::steady_clock>
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// --- DVR recorders -------------------------------------------------------------------------

struct DvrCounters {
  std::atomic<int> pictures{0};
  std::atomic<int> lost{0};
};

void CountPicture(ORVANE_FRAME*, void* context) { ++static_cast<DvrCounters*>(context)->pictures; }
void CountLost(void* context) { ++static_cast<DvrCounters*>(context)->lost; }

class DvrLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start({"--listen", "127.0.0.156", "--port", std::to_string(kDvrPort), "--user", "admin",
                            "--password", "pw", "--size", "352x288"}))
        << "dvr_sim did not start";
    ASSERT_TRUE(link_.ok());
    ASSERT_EQ(ORVANE_startup(), ORVANE_OK);
  }
  void TearDown() override {
    EXPECT_TRUE(ReturnsWithin(kBoundedWait, [] { ORVANE_cleanup(); })) << "cleanup hung";
    sim_.Stop();
  }
  // A handle on the faulty link; `result` gets the login's answer.
  int Login(int* result) {
    int handle = 0;
    EXPECT_EQ(ORVANE_createDVR(&handle, dvr_sim_test::NetworkAddress("127.0.0.155"), kDvrPort), ORVANE_OK);
    ORVANE_LOGIN login{};
    std::memcpy(login.user, "admin", 5);
    std::memcpy(login.password, "pw", 2);
    std::atomic<int> answer{-100};
    EXPECT_TRUE(ReturnsWithin(kBoundedWait, [handle, login, &answer] { answer = ORVANE_loginServer(handle, &login); }))
        << "login hung";
    *result = answer;
    return handle;
  }
  void StartPreview(int handle, DvrCounters& counters) {
    ASSERT_EQ(ORVANE_regCBMsgConnLost(handle, CountLost, &counters), ORVANE_OK);
    ASSERT_EQ(ORVANE_setDecoderFMT(handle, 0, ORVANE_FMT_YUV420), ORVANE_OK);
    ASSERT_EQ(ORVANE_openVideoReciever(handle, 0, 0, 0), ORVANE_OK);
    ASSERT_EQ(ORVANE_openAudioReciever(handle, 0, 0, 0), ORVANE_OK);
    ASSERT_EQ(ORVANE_startVideoSend(handle, 0), ORVANE_OK);
    ASSERT_EQ(ORVANE_startAudioSend(handle, 0), ORVANE_OK);
    ASSERT_EQ(ORVANE_createVideoDecoder(handle, 0, CountPicture, &counters), ORVANE_OK);
  }
  // The live client's order of ending a preview and a connection; every step bounded.
  void EndEverything(int handle) {
    EXPECT_TRUE(ReturnsWithin(kBoundedWait, [handle] {
      ORVANE_stopVideoSend(handle, 0);
      ORVANE_stopAudioSend(handle, 0);
      ORVANE_destroyVideoDecoder(handle, 0);
      ORVANE_closeVideoReciever(handle, 0);
      ORVANE_closeAudioReciever(handle, 0);
      ORVANE_logoutServer(handle);
      ORVANE_destroyDVR(handle);
    })) << "ending the preview and the connection hung";
  }

  // Callbacks may run until the library is cleaned up in TearDown: the counters outlive it.
  DvrCounters counters_;
  DvrCounters more_;
  dvr_sim_test::DvrSimProcess sim_;
  FaultyLink link_{"127.0.0.155", "127.0.0.156", {kDvrPort}};
};

TEST_F(DvrLink, RecorderHangingUpMidReplyOrMidPictureIsALostLinkNotACrash) {
  // The login answer cut after its header and a few bytes of its body.
  link_.CutAfter(20);
  int result = 0;
  int handle = Login(&result);
  EXPECT_NE(result, ORVANE_OK);
  EXPECT_EQ(link_.Cuts(), 1);
  ORVANE_destroyDVR(handle);

  // A running preview cut in the middle of a picture.
  link_.Pass();
  handle = Login(&result);
  ASSERT_EQ(result, ORVANE_OK);
  DvrCounters& counters = counters_;
  StartPreview(handle, counters);
  ASSERT_TRUE(WaitUntil([&] { return counters.pictures >= 10; }, 15s)) << "no pictures through the link";
  link_.CutAfter(5000);
  ASSERT_TRUE(WaitUntil([&] { return counters.lost >= 1; }, 15s)) << "the dropped link was never reported";
  const int pictures = counters.pictures;
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(counters.lost, 1) << "a lost link is reported once";
  EXPECT_EQ(counters.pictures, pictures) << "pictures after the link was lost";
  // Calls on the dead link fail at once instead of waiting for an answer.
  ORVANE_SEARCH_RESULT found{};
  ORVANE_SEARCH query{1, 0xF, 0, 0xFFFFFFFF, 1, 8};
  std::atomic<int> search{-100};
  EXPECT_TRUE(ReturnsWithin(kBoundedWait, [&] { search = ORVANE_recFilesSearch(handle, &query, &found); }));
  EXPECT_NE(search, ORVANE_OK);
  EndEverything(handle);

  // A search answer cut short: the search fails within its wait.
  link_.Pass();
  handle = Login(&result);
  ASSERT_EQ(result, ORVANE_OK);
  link_.CutAfter(24);
  search = -100;
  EXPECT_TRUE(ReturnsWithin(kBoundedWait, [&] { search = ORVANE_recFilesSearch(handle, &query, &found); }));
  EXPECT_NE(search, ORVANE_OK);
  ORVANE_recFilesSearchClean(&found);
  EndEverything(handle);
}

TEST_F(DvrLink, RecorderThatStopsAnsweringNeverHoldsACallerPastItsWait) {
  // Nothing answers the login.
  link_.Stall();
  int result = 0;
  const auto start = std::chrono::steady_clock::now();
  int handle = Login(&result);
  EXPECT_EQ(result, ORVANE_ERR_TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
  ORVANE_destroyDVR(handle);

  // A recorder that goes silent during a preview: requests time out, ending does not hang.
  link_.Pass();
  handle = Login(&result);
  ASSERT_EQ(result, ORVANE_OK);
  DvrCounters& counters = counters_;
  StartPreview(handle, counters);
  ASSERT_TRUE(WaitUntil([&] { return counters.pictures >= 5; }, 15s));
  link_.Stall();
  ORVANE_SEARCH_RESULT found{};
  ORVANE_SEARCH query{1, 0xF, 0, 0xFFFFFFFF, 1, 8};
  std::atomic<int> search{-100};
  EXPECT_TRUE(ReturnsWithin(kBoundedWait, [&] { search = ORVANE_recFilesSearch(handle, &query, &found); }));
  EXPECT_NE(search, ORVANE_OK);
  ORVANE_recFilesSearchClean(&found);
  EndEverything(handle);

  // A silent recorder during the whole shutdown of the library (TearDown's cleanup).
  link_.Pass();
  handle = Login(&result);
  ASSERT_EQ(result, ORVANE_OK);
  StartPreview(handle, more_);
  link_.Stall();
}

// --- Capture-card recorders ----------------------------------------------------------------

struct AlderCounters {
  std::atomic<int> frames{0};
  std::atomic<int> lost{0};
};

void OnFrame(const unsigned char*, int, int, int, void* context) { ++static_cast<AlderCounters*>(context)->frames; }
void OnSound(const unsigned char*, int, int, void*, int, int) {}
void OnStatus(int status, const void*, int, void* context) {
  if (status == FRW_STATUS_CONNECTION_LOST) ++static_cast<AlderCounters*>(context)->lost;
}

class AlderLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim_.Start({"--address", "127.0.0.158", "--port", "8000", "--no-recordings"}))
        << "alder_sim did not start";
    ASSERT_TRUE(link_.ok());
    ASSERT_NE(FRWLoadLibrary(6000, 1), 0);
  }
  void TearDown() override {
    EXPECT_TRUE(ReturnsWithin(kBoundedWait, [] { FRWFreeLibrary(); })) << "freeing the library hung";
    sim_.Stop();
  }
  int Login(int* result) {
    FRW_CONNECT_INFO connect{};
    std::strcpy(connect.szAddress, "127.0.0.157");
    connect.wPort = 8000;
    FRW_USER_INFO user{};
    std::strcpy(user.szUser, "admin");
    std::strcpy(user.szPassword, "12345");
    std::atomic<int> handle{0};
    std::atomic<int> answer{-100};
    EXPECT_TRUE(ReturnsWithin(kBoundedWait, [&, connect, user] {
      int made = 0;
      answer = FRWCreateHandle(&made, &connect, &user, 0);
      handle = made;
    })) << "login hung";
    *result = answer;
    return handle;
  }
  void Preview(int handle, AlderCounters& counters) {
    ASSERT_EQ(FRWStartPreview(handle, 0, 0, 0), FRW_OK);
    ASSERT_EQ(FRWRegConnectStatusCallBack(handle, 0, OnStatus, &counters), FRW_OK);
    ASSERT_EQ(FRWRegVideoPreCallBack(handle, 0, OnFrame, &counters), FRW_OK);
    ASSERT_EQ(FRWRegAudioPreCallBack(handle, 0, OnSound, &counters), FRW_OK);
  }
  void EndEverything(int handle) {
    EXPECT_TRUE(ReturnsWithin(kBoundedWait, [handle] {
      FRWStopPreview(handle, 0);
      FRWDestroyHandle(handle);
    })) << "ending the preview and the connection hung";
  }

  AlderCounters counters_;
  AlderCounters more_;
  testsupport::AlderSimProcess sim_;
  FaultyLink link_{"127.0.0.157", "127.0.0.158", {8000, 8001}};
};

TEST_F(AlderLink, DeviceHangingUpMidReplyOrMidFrameIsALostLinkNotACrash) {
  link_.CutAfter(16);  // the login answer's header and a third of its body
  int result = 0;
  int handle = Login(&result);
  EXPECT_NE(result, FRW_OK);
  if (handle != 0) FRWDestroyHandle(handle);

  link_.Pass();
  handle = Login(&result);
  ASSERT_EQ(result, FRW_OK);
  AlderCounters& counters = counters_;
  Preview(handle, counters);
  ASSERT_TRUE(WaitUntil([&] { return counters.frames >= 10; }, 15s)) << "no frames through the link";
  link_.CutAfter(3000);
  ASSERT_TRUE(WaitUntil([&] { return counters.lost >= 1; }, 15s)) << "the dropped link was never reported";
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(counters.lost, 1) << "a lost link is reported once per channel";
  // A request on the dead control connection fails within its wait.
  std::atomic<int> answer{-100};
  EXPECT_TRUE(ReturnsWithin(kBoundedWait, [&] {
    answer = FRWRequestEx(handle, 0, FRW_REQUEST_PTZ, FRW_REQUEST_PTZ_SUB, "\0\0\0\0\0", 5, nullptr, nullptr, 500, 0);
  }));
  EXPECT_NE(answer, FRW_OK);
  EndEverything(handle);
}

TEST_F(AlderLink, DeviceThatStopsAnsweringNeverHoldsACallerPastItsWait) {
  link_.Stall();
  int result = 0;
  const auto start = std::chrono::steady_clock::now();
  int handle = Login(&result);
  EXPECT_NE(result, FRW_OK);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  if (handle != 0) FRWDestroyHandle(handle);

  link_.Pass();
  handle = Login(&result);
  ASSERT_EQ(result, FRW_OK);
  AlderCounters& counters = counters_;
  Preview(handle, counters);
  ASSERT_TRUE(WaitUntil([&] { return counters.frames >= 5; }, 15s));
  link_.Stall();
  std::atomic<int> answer{-100};
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_TRUE(ReturnsWithin(kBoundedWait, [&] {
    answer = FRWRequestEx(handle, 0, FRW_REQUEST_PTZ, FRW_REQUEST_PTZ_SUB, "\0\0\0\0\0", 5, nullptr, nullptr, 1000, 0);
  }));
  EXPECT_EQ(answer, FRW_ERR_TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 5s);
  EndEverything(handle);

  // Left previewing a silent device: freeing the library (TearDown) must still end.
  link_.Pass();
  handle = Login(&result);
  ASSERT_EQ(result, FRW_OK);
  Preview(handle, more_);
  link_.Stall();
}

}  // namespace
