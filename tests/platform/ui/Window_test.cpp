#include "platform/MemoryWindow.h"
#include "platform/Window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::Message;

// A BGRA picture whose pixel (x, y) is {x, y, 7, 255}.
std::vector<std::uint8_t> Gradient(int width, int height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* pixel = &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
      pixel[0] = static_cast<std::uint8_t>(x);
      pixel[1] = static_cast<std::uint8_t>(y);
      pixel[2] = 7;
      pixel[3] = 255;
    }
  }
  return pixels;
}

TEST(MemoryWindowTest, CInterfaceCountsPresentsAndShowsThePictureScaledToTheWindow) {
  void* window = PlatformCreateMemoryWindow(8, 4);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(platform::IsWindow(window));
  std::vector<std::uint8_t> shown(8 * 4 * 4);
  EXPECT_EQ(PlatformWindowCopyPixels(window, shown.data(), 8, 4), 0) << "nothing presented yet";
  EXPECT_EQ(PlatformWindowPresentCount(window), 0u);

  // A 4x2 picture fills the 8x4 window: each source pixel covers a 2x2 block.
  std::vector<std::uint8_t> picture = Gradient(4, 2);
  ASSERT_TRUE(platform::PresentPicture(window, {picture.data(), 4, 2, 0}));
  ASSERT_TRUE(platform::PresentPicture(window, {picture.data(), 4, 2, 0}));
  EXPECT_EQ(PlatformWindowPresentCount(window), 2u);

  ASSERT_EQ(PlatformWindowCopyPixels(window, shown.data(), 8, 4), 1);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) {
      EXPECT_EQ(shown[(y * 8 + x) * 4 + 0], x / 2) << x << "," << y;
      EXPECT_EQ(shown[(y * 8 + x) * 4 + 1], y / 2) << x << "," << y;
    }
  }
  // A 16x8 picture in rows of 20 pixels: every second pixel and row is shown.
  std::vector<std::uint8_t> large = Gradient(20, 8);
  ASSERT_TRUE(platform::PresentPicture(window, {large.data(), 16, 8, 20 * 4}));
  ASSERT_EQ(PlatformWindowCopyPixels(window, shown.data(), 8, 4), 1);
  EXPECT_EQ(shown[(3 * 8 + 7) * 4 + 0], 14);
  EXPECT_EQ(shown[(3 * 8 + 7) * 4 + 1], 6);
  EXPECT_EQ(PlatformWindowPresentCount(window), 3u);

  // Asked at another size, the shown picture is scaled again.
  std::vector<std::uint8_t> half(4 * 2 * 4);
  ASSERT_EQ(PlatformWindowCopyPixels(window, half.data(), 4, 2), 1);
  EXPECT_EQ(half[(1 * 4 + 3) * 4 + 0], 12);

  PlatformDestroyWindow(window);
  EXPECT_FALSE(platform::IsWindow(window));
  EXPECT_EQ(PlatformWindowPresentCount(window), 0u);
  EXPECT_EQ(PlatformWindowCopyPixels(window, shown.data(), 8, 4), 0);
  EXPECT_FALSE(platform::PresentPicture(window, {picture.data(), 4, 2, 0}));
  EXPECT_FALSE(platform::PostMessage(window, platform::WM_USER, 0, 0));
  PlatformDestroyWindow(window);  // a second destroy does nothing
  EXPECT_EQ(PlatformCreateMemoryWindow(0, 10), nullptr);
}

TEST(WindowMessagesTest, PostedMessagesFromWorkersArriveInOrderOnTheOwnerThread) {
  platform::MemoryWindow window(16, 16);
  std::vector<Message> handled;
  std::thread::id handler_thread;
  window.SetMessageHandler([&](const Message& message) {
    handled.push_back(message);
    handler_thread = std::this_thread::get_id();
    return platform::LRESULT{0};
  });
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      EXPECT_TRUE(platform::PostMessage(window.Handle(), 0x914, i, -i));
    }
  });
  worker.join();
  EXPECT_TRUE(handled.empty()) << "posting must not run the handler on the worker";
  EXPECT_EQ(window.PumpMessages(), 100);
  ASSERT_EQ(handled.size(), 100u);
  EXPECT_EQ(handler_thread, std::this_thread::get_id());
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(handled[i].message, 0x914u);
    EXPECT_EQ(handled[i].wParam, static_cast<platform::WPARAM>(i));
    EXPECT_EQ(handled[i].lParam, -i);
  }
  // A posted WM_SETTEXT would carry a pointer that does not outlive the call.
  EXPECT_FALSE(window.Post({platform::WM_SETTEXT, 0, 0}));
}

TEST(WindowMessagesTest, QueueRefusesPostsBeyondTheLimit) {
  platform::MemoryWindow window(4, 4);
  for (std::size_t i = 0; i < platform::kMaxQueuedMessages; ++i) {
    ASSERT_TRUE(window.Post({platform::WM_USER, i, 0}));
  }
  EXPECT_FALSE(window.Post({platform::WM_USER, 0, 0}));
  EXPECT_EQ(window.PumpMessages(), static_cast<int>(platform::kMaxQueuedMessages));
  EXPECT_TRUE(window.Post({platform::WM_USER, 0, 0}));
}

TEST(WindowMessagesTest, SendBlocksUntilTheOwnerHandlesItAndRunsDirectlyOnTheOwner) {
  platform::MemoryWindow window(4, 4);
  window.SetMessageHandler([&](const Message& message) {
    return static_cast<platform::LRESULT>(message.wParam * 2);
  });
  // On the owner thread the handler runs at once.
  EXPECT_EQ(platform::SendMessage(window.Handle(), platform::WM_USER + 1, 21, 0), 42);

  std::atomic<bool> returned{false};
  auto sender = std::async(std::launch::async, [&] {
    platform::LRESULT result = platform::SendMessage(window.Handle(), platform::WM_USER + 1, 5, 0);
    returned = true;
    return result;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(returned) << "a send from a worker returned before the owner handled it";
  Message dispatched;
  ASSERT_TRUE(window.PumpOneMessage(2s, &dispatched));
  EXPECT_EQ(dispatched.wParam, 5u);
  EXPECT_EQ(sender.get(), 10);

  // Text set by a worker through WM_SETTEXT is the window's text once handled.
  auto text_sender = std::async(std::launch::async, [&] {
    return platform::SetWindowText(window.Handle(), "ZarorArided line");
  });
  ASSERT_TRUE(window.PumpOneMessage(2s));
  EXPECT_TRUE(text_sender.get());
  EXPECT_EQ(window.Text(), "ZarorArided line");
}

TEST(WindowMessagesTest, SendersWaitingOnAWindowThatIsDestroyedGetZero) {
  auto window = std::make_unique<platform::MemoryWindow>(4, 4);
  window->SetMessageHandler([](const Message&) { return platform::LRESULT{1}; });
  void* handle = window->Handle();
  auto sender = std::async(std::launch::async,
                           [&] { return platform::SendMessage(handle, platform::WM_USER, 0, 0); });
  while (window->QueuedMessageCount() == 0) std::this_thread::sleep_for(1ms);
  window.reset();
  ASSERT_EQ(sender.wait_for(2s), std::future_status::ready) << "sender left hanging";
  EXPECT_EQ(sender.get(), 0);
  EXPECT_EQ(platform::SendMessage(handle, platform::WM_USER, 0, 0), 0);
}

TEST(WindowMessagesTest, TimersPostTheirIdAndAtMostOneTickWaits) {
  platform::MemoryWindow window(4, 4);
  ASSERT_TRUE(platform::SetTimer(window.Handle(), 7, 5));
  Message tick;
  ASSERT_TRUE(window.PumpOneMessage(2s, &tick));
  EXPECT_EQ(tick.message, platform::WM_TIMER);
  EXPECT_EQ(tick.wParam, 7u);
  // Unpumped for many intervals, the timer still leaves only one tick waiting.
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(window.QueuedMessageCount(), 1u);
  EXPECT_TRUE(platform::KillTimer(window.Handle(), 7));
  window.PumpMessages();
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(window.QueuedMessageCount(), 0u);
  EXPECT_FALSE(platform::KillTimer(window.Handle(), 7));
}

}  // namespace
