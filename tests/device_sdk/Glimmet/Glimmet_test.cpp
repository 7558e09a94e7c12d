// The render library through its C interface: pictures into memory windows, the recording
// indicator, sound blocks into the WAV backend, and calls from several threads at once.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "device_sdk/Glimmet/Glimmet.h"
#include "platform/Window.h"
#include "tests/support/TempFolder.h"

namespace {

using namespace std::chrono_literals;

struct Yuv {
  uint8_t y, u, v;
};

// A planar picture (Y, then V, then U) whose left half and right half have two colours.
std::vector<uint8_t> TwoColourPicture(int width, int height, Yuv left, Yuv right) {
  std::vector<uint8_t> picture(size_t(width) * height * 3 / 2);
  uint8_t* y = picture.data();
  uint8_t* v = y + width * height;
  uint8_t* u = v + width * height / 4;
  for (int row = 0; row < height; ++row)
    for (int x = 0; x < width; ++x) y[row * width + x] = x < width / 2 ? left.y : right.y;
  for (int row = 0; row < height / 2; ++row)
    for (int x = 0; x < width / 2; ++x) {
      u[row * (width / 2) + x] = x < width / 4 ? left.u : right.u;
      v[row * (width / 2) + x] = x < width / 4 ? left.v : right.v;
    }
  return picture;
}

struct Bgra {
  int b, g, r;
};

Bgra PixelAt(void* window, int width, int height, int x, int y) {
  std::vector<uint8_t> pixels(size_t(width) * height * 4);
  EXPECT_EQ(PlatformWindowCopyPixels(window, pixels.data(), width, height), 1);
  const uint8_t* p = &pixels[(size_t(y) * width + x) * 4];
  return {p[0], p[1], p[2]};
}

constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kBlue{41, 240, 110};
constexpr Yuv kGrey{128, 128, 128};

class GlimmetTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(GL_InitLib(2, 2), GL_OK); }
  void TearDown() override {
    GL_UnInitLib();
    for (void* w : windows_) PlatformDestroyWindow(w);
  }
  void* Window(int width, int height) {
    windows_.push_back(PlatformCreateMemoryWindow(width, height));
    return windows_.back();
  }
  std::vector<void*> windows_;
};

TEST_F(GlimmetTest, PictureIsConvertedAndScaledIntoTheWindow) {
  // A window half the picture's size: the picture is scaled down to it.
  void* window = Window(176, 144);
  ASSERT_EQ(GL_CreateVender(3, 0, window, 352, 288), GL_OK);
  auto picture = TwoColourPicture(352, 288, kRed, kBlue);
  ASSERT_EQ(GL_DisplayImg(3, picture.data(), 352, 288), GL_OK);
  EXPECT_EQ(PlatformWindowPresentCount(window), 1u);

  Bgra left = PixelAt(window, 176, 144, 40, 72);
  EXPECT_GT(left.r, 220);
  EXPECT_LT(left.g, 40);
  EXPECT_LT(left.b, 40);
  Bgra right = PixelAt(window, 176, 144, 136, 72);
  EXPECT_LT(right.r, 40);
  EXPECT_LT(right.g, 40);
  EXPECT_GT(right.b, 220);

  // A picture of another size into the same port, larger than the window this time.
  auto grey = TwoColourPicture(704, 576, kGrey, kRed);
  ASSERT_EQ(GL_DisplayImg(3, grey.data(), 704, 576), GL_OK);
  EXPECT_EQ(PlatformWindowPresentCount(window), 2u);
  Bgra g = PixelAt(window, 176, 144, 40, 72);
  EXPECT_NEAR(g.r, 130, 12);
  EXPECT_NEAR(g.g, 130, 12);
  EXPECT_NEAR(g.b, 130, 12);
}

TEST_F(GlimmetTest, RecordingIndicatorIsDrawnOverThePicture) {
  void* window = Window(352, 288);
  ASSERT_EQ(GL_CreateVender(0, 0, window, 352, 288), GL_OK);
  auto picture = TwoColourPicture(352, 288, kGrey, kGrey);
  // Setting the indicator before any picture shows nothing yet and is kept.
  ASSERT_EQ(GL_SetOsdStatus(0, GL_OSD_MANUAL), GL_OK);
  EXPECT_EQ(PlatformWindowPresentCount(window), 0u);
  ASSERT_EQ(GL_DisplayImg(0, picture.data(), 352, 288), GL_OK);

  // The dot sits near the top-right corner: radius max(4, 288 / 24) = 12, centre (328, 24).
  Bgra dot = PixelAt(window, 352, 288, 328, 24);
  EXPECT_GT(dot.r, 220);
  EXPECT_LT(dot.g, 40);
  Bgra elsewhere = PixelAt(window, 352, 288, 100, 200);
  EXPECT_NEAR(elsewhere.r, 130, 12);

  // A change shows at once over the last picture, without a new one.
  ASSERT_EQ(GL_SetOsdStatus(0, GL_OSD_SCHEDULED), GL_OK);
  EXPECT_EQ(PlatformWindowPresentCount(window), 2u);
  dot = PixelAt(window, 352, 288, 328, 24);
  EXPECT_GT(dot.r, 220);
  EXPECT_GT(dot.g, 180);
  EXPECT_LT(dot.b, 40);

  ASSERT_EQ(GL_SetOsdStatus(0, GL_OSD_NONE), GL_OK);
  dot = PixelAt(window, 352, 288, 328, 24);
  EXPECT_NEAR(dot.r, 130, 12);
  EXPECT_NEAR(dot.g, 130, 12);

  EXPECT_EQ(GL_SetOsdStatus(0, 3), GL_ERR_INVALID_ARGUMENT);
}

TEST_F(GlimmetTest, BadPortsPicturesAndWindowsAreRefusedNotFatal) {
  void* window = Window(64, 48);
  auto picture = TwoColourPicture(64, 48, kRed, kBlue);
  EXPECT_EQ(GL_CreateVender(GL_MAX_PORTS, 0, window, 64, 48), GL_ERR_INVALID_PORT);
  EXPECT_EQ(GL_CreateVender(-1, 0, window, 64, 48), GL_ERR_INVALID_PORT);
  EXPECT_EQ(GL_CreateVender(1, 0, nullptr, 64, 48), GL_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(GL_DisplayImg(1, picture.data(), 64, 48), GL_ERR_INVALID_PORT);  // never created

  ASSERT_EQ(GL_CreateVender(1, 0, window, 64, 48), GL_OK);
  EXPECT_EQ(GL_DisplayImg(1, nullptr, 64, 48), GL_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(GL_DisplayImg(1, picture.data(), 63, 48), GL_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(GL_DisplayImg(1, picture.data(), 0, 0), GL_ERR_INVALID_ARGUMENT);
  EXPECT_EQ(PlatformWindowPresentCount(window), 0u);

  // A window destroyed under a port: pictures are refused, nothing is drawn into freed memory.
  void* gone = PlatformCreateMemoryWindow(64, 48);
  ASSERT_EQ(GL_CreateVender(2, 0, gone, 64, 48), GL_OK);
  PlatformDestroyWindow(gone);
  EXPECT_NE(GL_DisplayImg(2, picture.data(), 64, 48), GL_OK);

  ASSERT_EQ(GL_DestroyVender(1), GL_OK);
  EXPECT_EQ(GL_DisplayImg(1, picture.data(), 64, 48), GL_ERR_INVALID_PORT);

  GL_UnInitLib();
  EXPECT_EQ(GL_CreateVender(1, 0, window, 64, 48), GL_ERR_NOT_INITIALISED);
  EXPECT_EQ(GL_PlaySound(picture.data()), GL_ERR_NOT_INITIALISED);
}

TEST_F(GlimmetTest, DecodingThreadsDrawWhileTheUiThreadChangesIndicatorAndSound) {
  constexpr int kPorts = 6;
  void* windows[kPorts];
  for (int p = 0; p < kPorts; ++p) {
    windows[p] = Window(88, 72);
    ASSERT_EQ(GL_CreateVender(p, 0, windows[p], 352, 288), GL_OK);
  }
  ASSERT_EQ(GL_BeginPlaySound(642), GL_OK);
  std::atomic<bool> stop{false};
  std::vector<std::thread> decoders;
  for (int p = 0; p < kPorts; ++p)
    decoders.emplace_back([&, p] {
      auto picture = TwoColourPicture(352, 288, kRed, kBlue);
      // Room for the largest block: a block of another stream may be played just after a
      // restart for a larger size, as the live client's sound may do on a selection change.
      std::vector<uint8_t> block(4040, uint8_t(p));
      while (!stop) {
        GL_DisplayImg(p, picture.data(), 352, 288);
        GL_PlaySound(block.data());
        std::this_thread::sleep_for(2ms);  // faster than any camera, yet leaves the UI thread a turn
      }
    });
  for (int i = 0; i < 200; ++i) {
    GL_SetOsdStatus(i % kPorts, i % 3);
    if (i % 20 == 0) GL_PausePlaySound();
    if (i % 20 == 10) GL_BeginPlaySound(i % 40 == 10 ? 1010 : 642);
    std::this_thread::sleep_for(1ms);
  }
  stop = true;
  for (auto& t : decoders) t.join();
  for (int p = 0; p < kPorts; ++p) EXPECT_GT(PlatformWindowPresentCount(windows[p]), 0u);
}

// The samples of the first "data" chunk of a WAV file.
std::vector<uint8_t> WavData(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  for (size_t at = 12; at + 8 <= bytes.size();) {
    uint32_t size = bytes[at + 4] | (bytes[at + 5] << 8) | (bytes[at + 6] << 16) | (uint32_t(bytes[at + 7]) << 24);
    if (std::memcmp(&bytes[at], "data", 4) == 0)
      return std::vector<uint8_t>(bytes.begin() + long(at + 8),
                                  bytes.begin() + long(std::min(bytes.size(), at + 8 + size)));
    at += 8 + size + (size & 1);
  }
  return {};
}

TEST_F(GlimmetTest, SoundBlocksReachTheDeviceIntactAndInOrder) {
  suite::test::TempFolder folder("glimmet");
  const std::string wav = folder / "sound.wav";
  ASSERT_EQ(setenv("KORVEL_AUDIO", ("wav:" + wav).c_str(), 1), 0);
  ASSERT_EQ(GL_CreateAudioDevice(nullptr), GL_OK);
  EXPECT_EQ(GL_PlaySound(std::vector<uint8_t>(642).data()), GL_ERR_STATE);  // not begun
  EXPECT_EQ(GL_BeginPlaySound(600), GL_ERR_INVALID_ARGUMENT);

  // 20 blocks of 321 samples, each distinct: 0.8 s of sound.
  std::vector<uint8_t> expected;
  ASSERT_EQ(GL_BeginPlaySound(642), GL_OK);
  for (int b = 0; b < 20; ++b) {
    std::vector<uint8_t> block(642);
    for (int s = 0; s < 321; ++s) {
      int16_t sample = int16_t(b * 1000 - 10000 + s);
      block[2 * s] = uint8_t(sample & 0xFF);
      block[2 * s + 1] = uint8_t((sample >> 8) & 0xFF);
    }
    ASSERT_EQ(GL_PlaySound(block.data()), GL_OK);
    expected.insert(expected.end(), block.begin(), block.end());
  }
  std::this_thread::sleep_for(1300ms);  // the WAV device plays at the wall-clock rate

  // Blocks of 4040 bytes, paused early: what was queued is dropped, not played later.
  ASSERT_EQ(GL_BeginPlaySound(4040), GL_OK);
  std::vector<uint8_t> loud(4040, 0x7F);
  for (int b = 0; b < 4; ++b) ASSERT_EQ(GL_PlaySound(loud.data()), GL_OK);
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(GL_PausePlaySound(), GL_OK);
  EXPECT_EQ(GL_PlaySound(loud.data()), GL_ERR_STATE);
  std::this_thread::sleep_for(600ms);
  GL_UnInitLib();  // closes the device: the WAV file is complete
  unsetenv("KORVEL_AUDIO");

  auto data = WavData(wav);
  ASSERT_GE(data.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data.begin()))
      << "the 642-byte blocks did not arrive intact and in order";
  const size_t after = data.size() - expected.size();
  EXPECT_GT(after, 0u);
  EXPECT_LT(after, 4u * 4040u / 2) << "sound queued before the pause was played anyway";
}

}  // namespace
