#include "platform/MemoryWindow.h"
#include "platform/TitledWindow.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::Message;

// Records what a registered window receives.
struct Inbox {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::string> texts;   // Guarded by lock
  std::vector<Message> messages;    // Guarded by lock

  platform::TitledWindowServer::TextHandler OnText() {
    return [this](const std::string& text) {
      std::lock_guard<std::mutex> guard(lock);
      texts.push_back(text);
      changed.notify_all();
    };
  }
  platform::TitledWindowServer::MessageHandler OnMessage() {
    return [this](const Message& message) {
      std::lock_guard<std::mutex> guard(lock);
      messages.push_back(message);
      changed.notify_all();
    };
  }
  bool WaitForMessages(std::size_t count) {
    std::unique_lock<std::mutex> guard(lock);
    return changed.wait_for(guard, 5s, [&] { return messages.size() >= count; });
  }
};

class TitledWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    chmod(runtime_.path().c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
  }
  suite::test::TempFolder runtime_{"titled"};
};

TEST_F(TitledWindowTest, AnotherProcessFindsTheTitleSetsItsTextAndPostsToIt) {
  Inbox inbox;
  platform::TitledWindowServer server;
  ASSERT_TRUE(server.Register("DUD Avuda Zodazize", inbox.OnText(), inbox.OnMessage()));

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto window = platform::FindTitledWindow("DUD Avuda Zodazize");
    bool ok = window && window->IsWindow() && window->SendText("from the child") &&
              window->Post({1524, 3, -4});
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(inbox.WaitForMessages(1));
  std::lock_guard<std::mutex> guard(inbox.lock);
  // Set-text is acknowledged only after the handler ran, so it is already recorded.
  EXPECT_EQ(inbox.texts, std::vector<std::string>{"from the child"});
  ASSERT_EQ(inbox.messages.size(), 1u);
  EXPECT_EQ(inbox.messages[0].message, 1524u);
  EXPECT_EQ(inbox.messages[0].wParam, 3u);
  EXPECT_EQ(inbox.messages[0].lParam, -4);
}

TEST_F(TitledWindowTest, TitlesAreMatchedExactlyAndStoredUnderSafeNames) {
  Inbox blank;
  Inbox plain;
  platform::TitledWindowServer with_blank;
  platform::TitledWindowServer without_blank;
  ASSERT_TRUE(with_blank.Register("ZarorArided ", blank.OnText(), nullptr));
  ASSERT_TRUE(without_blank.Register("ZarorArided", plain.OnText(), nullptr));
  auto found = platform::FindTitledWindow("ZarorArided ");
  ASSERT_TRUE(found);
  ASSERT_TRUE(found->SendText("to the blank one"));
  {
    std::scoped_lock guard(blank.lock, plain.lock);
    EXPECT_EQ(blank.texts, std::vector<std::string>{"to the blank one"});
    EXPECT_TRUE(plain.texts.empty());
  }
  EXPECT_FALSE(platform::FindTitledWindow("zarorarided "));

  // Separators, dots and long titles stay inside the runtime folder and stay distinct.
  const std::string folder = runtime_.path() + "/";
  for (std::string title : {std::string("../escape/..\\x"), std::string(".."),
                            std::string(300, 'a'), std::string(300, 'a') + "b"}) {
    std::string path = platform::TitledWindowSocketPath(title);
    EXPECT_EQ(path.rfind(folder, 0), 0u) << path;
    EXPECT_EQ(path.find('/', folder.size()), std::string::npos) << path;
    EXPECT_LT(path.size(), sizeof(sockaddr_un::sun_path));
  }
  EXPECT_NE(platform::TitledWindowSocketPath(std::string(300, 'a')),
            platform::TitledWindowSocketPath(std::string(300, 'a') + "b"));
  platform::TitledWindowServer long_title;
  EXPECT_TRUE(long_title.Register(std::string(300, 'a'), nullptr, nullptr));
  EXPECT_TRUE(platform::FindTitledWindow(std::string(300, 'a')));
  EXPECT_FALSE(platform::FindTitledWindow(std::string(300, 'a') + "b"));
}

TEST_F(TitledWindowTest, StaleSocketsAreNoWindowsAndALiveTitleCannotBeTakenTwice) {
  const std::string title = "ZarorArided ";
  // A socket left by a killed process: the file is there, nobody listens.
  {
    int descriptor = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s",
                  platform::TitledWindowSocketPath(title).c_str());
    ASSERT_EQ(bind(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(descriptor);
  }
  EXPECT_FALSE(platform::FindTitledWindow(title));

  Inbox inbox;
  platform::TitledWindowServer server;
  ASSERT_TRUE(server.Register(title, inbox.OnText(), nullptr)) << "stale socket not replaced";
  auto found = platform::FindTitledWindow(title);
  ASSERT_TRUE(found);
  platform::TitledWindowServer second;
  EXPECT_FALSE(second.Register(title, nullptr, nullptr));
  EXPECT_TRUE(found->IsWindow()) << "a refused registration disturbed the live one";

  // After the window goes, the old handle is no window, even once the title is registered again.
  server.Unregister();
  EXPECT_FALSE(found->IsWindow());
  EXPECT_FALSE(found->SendText("lost"));
  ASSERT_TRUE(second.Register(title, nullptr, nullptr));
  EXPECT_FALSE(found->IsWindow());
  EXPECT_TRUE(platform::FindTitledWindow(title));
}

TEST_F(TitledWindowTest, AHungReceiverDoesNotHangTheSender) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  platform::TitledWindowServer server;
  ASSERT_TRUE(server.Register("hung", [released](const std::string&) { released.wait(); }, nullptr));
  auto found = platform::FindTitledWindow("hung");
  ASSERT_TRUE(found);
  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(found->SendText("never acknowledged", 200ms));
  EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
  EXPECT_FALSE(found->IsWindow()) << "a handle whose receiver failed must be looked up again";
  release.set_value();
}

TEST_F(TitledWindowTest, ALocalWindowReceivesTextAndPostedMessagesOnItsOwnThread) {
  platform::MemoryWindow window(4, 4);
  std::vector<Message> handled;
  window.SetMessageHandler([&](const Message& message) {
    handled.push_back(message);
    return platform::LRESULT{0};
  });
  platform::TitledWindowServer server;
  ASSERT_TRUE(server.Register("main dialog", &window));
  auto found = platform::FindTitledWindow("main dialog");
  ASSERT_TRUE(found);
  auto text = std::async(std::launch::async, [&] { return found->SendText("new caption"); });
  // The sender waits until the window's thread took the text.
  ASSERT_TRUE(window.PumpOneMessage(5s));
  EXPECT_TRUE(text.get());
  EXPECT_EQ(window.Text(), "new caption");
  ASSERT_TRUE(found->Post({1524, 0, 0}));
  Message posted;
  ASSERT_TRUE(window.PumpOneMessage(5s, &posted));
  EXPECT_EQ(posted.message, 1524u);
}

}  // namespace
