// The main dialog against recorders reached through the DVR SDK: dvr_sim on loopback for the
// search, the reused login, playback with its progress, pause, resume and rates, snapshots
// and the address history; a scripted recorder for replies a sound recorder never sends.
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSlider>
#include <QTreeWidget>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "LumaroTestSupport.h"
#include "device_sdk/Orvane/OrvaneProtocol.h"
#include "platform/Display.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/SkinControls.h"
#include "playback_app/VideoPlayerWnd.h"
#include "playback_app/remote/CRecorderRemote.h"
#include "playback_app/remote/LoginInfoDlg.h"
#include "tests/support/TempDriveTable.h"
#include "tests/tools/dvr_sim/DvrSimProcess.h"

namespace lumaro {
namespace {

namespace fs = std::filesystem;
namespace wire = orvane::wire;

// Runs the event loop until `done` holds or `ms` have passed.
bool Within(int ms, const std::function<bool()>& done) {
  return lumaro_test::PumpUntil(done, std::chrono::milliseconds(ms));
}

void Idle(int ms) {
  Within(ms, [] { return false; });
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Texts(QTreeWidget* list, int column) {
  std::vector<std::string> texts;
  for (int i = 0; i < list->topLevelItemCount(); ++i) texts.push_back(list->topLevelItem(i)->text(column).toStdString());
  return texts;
}

// The dialog in client mode (remote box ticked, list mode) on a fixed screen, with the
// operator's answers to the login dialog.
class RecorderDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { surroundings_.emplace(); }
  void TearDown() override { surroundings_.reset(); }

  std::unique_ptr<CLumaroDlg> OpenDialog() {
    auto dialog = std::make_unique<CLumaroDlg>(0, "D:\\Picture\\", folder_.path());
    if (!dialog->OnInitDialog()) return nullptr;
    dialog->show();
    dialog->findChild<QCalendarWidget*>("CONTROL_CALDATE")->setSelectedDate(QDate(2010, 5, 25));
    dialog->SetRecordSetRunner([this](CRecordSetDlg& set) {
      ++logins_asked_;
      auto* login = qobject_cast<LoginInfoDlg*>(&set);
      if (!login) return static_cast<int>(QDialog::Rejected);
      auto* type = login->findChild<QComboBox*>("CMB_DEVICE_TYPE");
      type->setCurrentIndex(0);
      emit type->activated(0);
      login->findChild<QComboBox*>("CMB_ADDRESS")->setEditText(QString::fromStdString(address_));
      login->findChild<QLineEdit*>("EDIT_PASSWORD")->setText(QString::fromStdString(password_));
      login->accept();
      return login->result();
    });
    return dialog;
  }

  static void Search(CLumaroDlg& dialog) { QMetaObject::invokeMethod(dialog.findChild<QWidget*>("BTN_SEARCH"), "click"); }
  static QTreeWidget* List(CLumaroDlg& dialog) { return dialog.findChild<QTreeWidget*>("LIST_RESULTREMOTE"); }

  suite::test::TempDriveTable drives_{"CD", 'C'};
  lumaro_test::ProgramFolder folder_;
  std::optional<lumaro_test::DialogSurroundings> surroundings_;
  std::string address_;
  std::string password_ = "pw";
  int logins_asked_ = 0;
};

// dvr_sim with a catalogue of 2010-05-25: 19 recordings on channel 1 (types in turn, the
// first one 20 s long), two manual ones on channel 2, one each on channels 3 and 7.
class DvrSimDialogTest : public RecorderDialogTest {
 protected:
  void SetUp() override {
    RecorderDialogTest::SetUp();
    address_ = "127.0.0.140";
    const fs::path catalogue = fs::path(drives_.folder()) / "catalogue";
    fs::create_directories(catalogue);
    std::ofstream out(catalogue / "catalogue.txt");
    const int types[] = {1, 2, 4, 8};
    for (int i = 0; i < 19; ++i)
      out << i + 1 << " 1 " << types[i % 4] << " 2010-05-25 " << (i < 10 ? "0" : "") << i << ":10:00 "
          << (i == 0 ? 20 : 6) << "\n";
    out << "20 2 8 2010-05-25 10:00:00 20\n21 2 8 2010-05-25 11:00:00 20\n";
    out << "30 7 8 2010-05-25 10:00:00 6\n31 3 8 2010-05-25 10:00:00 6\n";
    out.close();
    log_ = (fs::path(drives_.folder()) / "requests.log").string();
    ASSERT_TRUE(sim_.Start({"--listen", address_, "--port", "8670", "--kind", "0", "--password", "pw",
                            "--catalogue", catalogue.string(), "--size", "176x144", "--request-log", log_}));
  }
  void TearDown() override {
    sim_.Stop();
    RecorderDialogTest::TearDown();
  }

  dvr_sim_test::DvrSimProcess sim_;
  std::string log_;
};

TEST_F(DvrSimDialogTest, SearchPagesTheRecordersChannelsAndReusesItsLogin) {
  auto dialog = OpenDialog();
  ASSERT_TRUE(dialog);
  for (int channel : {1, 2, 7}) dialog->SetChannelSelected(channel, true);

  // The login dialog opens for the Vantor device the program starts with: no port to type.
  dialog->SetRecordSetRunner([&](CRecordSetDlg& set) {
    auto* port = set.findChild<QLineEdit*>("EDIT_PORT");
    EXPECT_EQ(port->text(), QStringLiteral("8000"));
    EXPECT_FALSE(port->isEnabled());
    auto* type = set.findChild<QComboBox*>("CMB_DEVICE_TYPE");
    type->setCurrentIndex(0);
    emit type->activated(0);
    EXPECT_EQ(port->text(), QStringLiteral("8670"));
    EXPECT_TRUE(port->isEnabled());
    EXPECT_TRUE(set.findChild<QLineEdit*>("EDIT_USER")->isEnabled());
    EXPECT_EQ(set.findChild<QLineEdit*>("EDIT_USER")->text(), QStringLiteral("admin"));
    set.findChild<QComboBox*>("CMB_ADDRESS")->setEditText("127.0.0.140");
    set.findChild<QLineEdit*>("EDIT_PASSWORD")->setText("pw");
    set.accept();
    return set.result();
  });
  Search(*dialog);
  EXPECT_EQ(dialog->DeviceType(), 0);
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());

  // A type-0 recorder has four channels: 7 is never asked for; 19 matches take three pages.
  const std::vector<std::string> searches = {"search mask 0x0001 types 0x0010 first 1 page 8",
                                             "search mask 0x0001 types 0x0010 first 9 page 8",
                                             "search mask 0x0001 types 0x0010 first 17 page 8",
                                             "search mask 0x0002 types 0x0010 first 1 page 8"};
  std::vector<std::string> expected = {"login admin"};
  expected.insert(expected.end(), searches.begin(), searches.end());
  EXPECT_EQ(Lines(log_), expected);

  QTreeWidget* list = List(*dialog);
  ASSERT_EQ(list->topLevelItemCount(), 21);
  const std::vector<std::string> channels = Texts(list, 0);
  EXPECT_EQ(std::count(channels.begin(), channels.end(), "1"), 19);
  EXPECT_EQ(std::count(channels.begin(), channels.end(), "2"), 2);
  // The rows added last are on top: channel 2's later recording first, channel 1's first last.
  EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("2"));
  EXPECT_EQ(list->topLevelItem(0)->text(1), QStringLiteral("Manual"));
  EXPECT_EQ(list->topLevelItem(0)->text(2), QStringLiteral("2010/05/25-11:00:00"));
  const std::vector<std::string> types = Texts(list, 1);
  EXPECT_EQ(std::vector<std::string>(types.end() - 4, types.end()),
            (std::vector<std::string>{"Manual", "Alarm", "Motion", "Timer"}));
  EXPECT_EQ(list->topLevelItem(20)->text(2), QStringLiteral("2010/05/25-00:10:00"));
  EXPECT_EQ(dialog->AddressHistory().front(), "127.0.0.140");

  // The same recorder and credentials again: no second login, the list is filled anew.
  dialog->SetRecordSetRunner([&](CRecordSetDlg& set) {
    auto* type = set.findChild<QComboBox*>("CMB_DEVICE_TYPE");
    EXPECT_EQ(type->currentIndex(), 0);  // the dialog opens with the type searched last
    set.findChild<QLineEdit*>("EDIT_PASSWORD")->setText(QString::fromStdString(password_));
    set.findChild<QComboBox*>("CMB_ADDRESS")->setEditText("127.0.0.140");
    set.accept();
    return set.result();
  });
  Search(*dialog);
  expected.insert(expected.end(), searches.begin(), searches.end());
  EXPECT_EQ(Lines(log_), expected);
  EXPECT_EQ(list->topLevelItemCount(), 21);

  // Other credentials log in anew; refused, they say so and list nothing.
  password_ = "wrong";
  Search(*dialog);
  expected.push_back("login admin refused");
  EXPECT_EQ(Lines(log_), expected);
  EXPECT_EQ(list->topLevelItemCount(), 0);
  ASSERT_EQ(platform::ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(platform::ShownMessageBoxes()[0].text, "Login to the recorder failed.");

  // The address is remembered in Lumaro.ini at exit and offered by the next login dialog.
  dialog->OnCancel();
  dialog.reset();
  const std::string ini = folder_.File("Lumaro.ini");
  EXPECT_EQ(platform::ReadProfileString(ini, "IPAddrCount", "AddrCount"), "1");
  EXPECT_EQ(platform::ReadProfileString(ini, "strIPAddr", "Addr 0"), "127.0.0.140");
  auto next = OpenDialog();
  ASSERT_TRUE(next);
  ASSERT_EQ(next->AddressHistory(), std::vector<std::string>{"127.0.0.140"});
  QString offered;
  next->SetChannelSelected(1, true);
  next->SetRecordSetRunner([&](CRecordSetDlg& set) {
    auto* address = set.findChild<QComboBox*>("CMB_ADDRESS");
    offered = address->count() > 0 ? address->itemText(0) : QString();
    return static_cast<int>(QDialog::Rejected);
  });
  Search(*next);
  EXPECT_EQ(offered, QStringLiteral("127.0.0.140"));
  next->OnCancel();
}

TEST_F(DvrSimDialogTest, DoubleClickPlaysTheRecordingWithProgressPauseResumeAndRates) {
  auto dialog = OpenDialog();
  ASSERT_TRUE(dialog);
  dialog->SetChannelSelected(1, true);
  dialog->SetChannelSelected(2, true);
  Search(*dialog);
  QTreeWidget* list = List(*dialog);
  ASSERT_EQ(list->topLevelItemCount(), 21);
  const int window = dialog->Channels()[0].nWindow;
  ASSERT_GE(window, 0);

  // The bottom row is channel 1's first recording, 20 s long.
  emit list->itemDoubleClicked(list->topLevelItem(20), 0);
  EXPECT_EQ(dialog->WindowStates()[static_cast<std::size_t>(window)].nState, kWindowPlaying);
  EXPECT_TRUE(dialog->WindowStates()[static_cast<std::size_t>(window)].bRemote);
  EXPECT_EQ(dialog->SelectedWindow(), window);
  VideoPlayerWnd* video = dialog->VideoWindow(window);
  ASSERT_TRUE(Within(15000, [&] { return !video->LastPicture().isNull(); }));
  QImage first = video->LastPicture();
  EXPECT_TRUE(Within(3000, [&] { return video->LastPicture() != first; })) << "the pictures do not move";
  auto* slider = dialog->findChild<QSlider*>("IDC_SLIDER_PLAY");
  ASSERT_TRUE(Within(4000, [&] { return slider->value() > 0; })) << "no progress";
  EXPECT_LE(slider->value(), 500);

  // Pause holds the picture; the play button resumes it.
  QMetaObject::invokeMethod(dialog->findChild<QWidget*>("BTN_PAUSE"), "click");
  EXPECT_EQ(dialog->WindowStates()[static_cast<std::size_t>(window)].nState, kWindowPaused);
  Idle(400);
  const QImage held = video->LastPicture();
  Idle(800);
  EXPECT_EQ(video->LastPicture(), held);
  QMetaObject::invokeMethod(dialog->findChild<QWidget*>("BTN_PLAY"), "click");
  EXPECT_EQ(dialog->WindowStates()[static_cast<std::size_t>(window)].nState, kWindowPlaying);
  EXPECT_TRUE(Within(3000, [&] { return video->LastPicture() != held; }));

  // Rates go to the recorder: faster, back to normal, then half speed.
  auto* speed = dialog->findChild<CColorStatic*>("STC_SPEED");
  dialog->OnButtonFast();
  EXPECT_EQ(speed->Text(), QStringLiteral("(2.0 X)"));
  dialog->OnButtonSlow();
  dialog->OnButtonSlow();
  EXPECT_EQ(speed->Text(), QStringLiteral("(1/2 X)"));

  // A snapshot of the recorder's picture is a 24-bit BMP of its size.
  QMetaObject::invokeMethod(dialog->findChild<QWidget*>("BTN_SNAP"), "click");
  ASSERT_TRUE(Within(5000, [&] { return !platform::ShownMessageBoxes().empty(); }));
  const std::string shown = platform::ShownMessageBoxes()[0].text;
  ASSERT_EQ(shown.rfind("Snapshot saved: ", 0), 0u) << shown;
  const std::string bmp = platform::ToHostPath(shown.substr(16));
  EXPECT_EQ(fs::file_size(bmp), 54u + 176 * 3 * 144);

  // A second recording replaces the first: its window stops before the new one plays.
  const int window2 = dialog->Channels()[1].nWindow;
  emit list->itemDoubleClicked(list->topLevelItem(0), 0);
  EXPECT_EQ(dialog->WindowStates()[static_cast<std::size_t>(window)].nState, kWindowIdle);
  EXPECT_FALSE(dialog->WindowStates()[static_cast<std::size_t>(window)].bRemote);
  EXPECT_EQ(dialog->WindowStates()[static_cast<std::size_t>(window2)].nState, kWindowPlaying);
  EXPECT_EQ(dialog->RecorderRemote()->PlayWindow(), window2);
  EXPECT_TRUE(Within(15000, [&] { return !dialog->VideoWindow(window2)->LastPicture().isNull(); }));

  dialog->OnButtonStop();
  EXPECT_EQ(dialog->WindowStates()[static_cast<std::size_t>(window2)].nState, kWindowIdle);
  EXPECT_EQ(dialog->RecorderRemote()->PlayWindow(), -1);

  std::vector<std::string> requests;
  for (const std::string& line : Lines(log_))
    if (line.rfind("search", 0) != 0) requests.push_back(line);
  EXPECT_EQ(requests, (std::vector<std::string>{"login admin", "play 1", "pause", "resume", "rate 2", "rate 1",
                                                "rate -2", "stop", "play 21", "stop"}));
  dialog->OnCancel();
}

// A recorder whose search replies the test writes; it logs in anybody.
class ScriptedRecorder {
 public:
  using Page = std::function<std::vector<uint8_t>(uint16_t channelMask, uint16_t first)>;
  ScriptedRecorder(const char* address, Page page) : page_(std::move(page)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(8670);
    ::inet_pton(AF_INET, address, &at.sin_addr);
    listening_ = ::bind(listen_, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && ::listen(listen_, 4) == 0;
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedRecorder() {
    ::shutdown(listen_, SHUT_RDWR);
    if (const int fd = client_.load(); fd >= 0) ::shutdown(fd, SHUT_RDWR);
    thread_.join();
    ::close(listen_);
  }
  bool listening() const { return listening_; }
  int searches() const { return searches_; }
  int logins() const { return logins_; }

  // A reply body: `total` matches, the first returned `first`, and records of `types`.
  static std::vector<uint8_t> Records(uint16_t total, uint16_t first, int channel, const std::vector<int>& types) {
    std::vector<uint8_t> body;
    wire::PutU16(body, total);
    wire::PutU16(body, types.empty() ? 0 : first);
    wire::PutU16(body, static_cast<uint16_t>(types.size()));
    for (std::size_t i = 0; i < types.size(); ++i) {
      body.push_back(static_cast<uint8_t>(channel));
      body.push_back(static_cast<uint8_t>(types[i]));
      wire::PutU32(body, RecorderSeconds(2010, 5, 25, 3600 * 8 + 60 * static_cast<int>(first + i)));
      wire::PutU32(body, RecorderSeconds(2010, 5, 25, 3600 * 9));
      wire::PutU32(body, 1000);
      wire::PutU32(body, first + static_cast<uint32_t>(i));
      wire::PutText(body, "scripted", 64);
      body.insert(body.end(), 2, 0);
    }
    return body;
  }

 private:
  void Serve() {
    while (true) {
      const int fd = ::accept(listen_, nullptr, nullptr);
      if (fd < 0) return;
      client_ = fd;
      wire::Header header;
      std::vector<uint8_t> payload;
      while (true) {
        // Quiet half-seconds get a heartbeat, as a recorder keeps an idle link alive.
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 500) == 0) {
          const auto beat = wire::BuildMessage(wire::kHeartbeat, 0, 0, std::vector<uint8_t>{});
          wire::SendAll(fd, beat.data(), beat.size());
          continue;
        }
        if (!wire::ReceiveMessage(fd, header, payload, 5000)) break;
        std::vector<uint8_t> reply;
        wire::PutU32(reply, 0);
        if (header.type == wire::kLogin) {
          ++logins_;
          wire::LoginInfo info;
          info.channels = 4;
          info.width = 176;
          info.height = 144;
          info.frame_rate = 25;
          const auto body = wire::EncodeLoginInfo(info);
          reply.insert(reply.end(), body.begin(), body.end());
        } else if (header.type == wire::kSearch && payload.size() >= wire::kSearchQueryBytes) {
          ++searches_;
          const uint16_t mask = static_cast<uint16_t>(payload[0] | payload[1] << 8);
          const uint16_t first = static_cast<uint16_t>(payload[12] | payload[13] << 8);
          const auto body = page_(mask, first);
          if (body.empty()) reply = {10, 0, 0, 0};  // the recorder could not search
          reply.insert(reply.end(), body.begin(), body.end());
        }
        const auto message = wire::BuildMessage(static_cast<uint16_t>(header.type | wire::kReplyFlag), header.channel,
                                                header.sequence, reply);
        wire::SendAll(fd, message.data(), message.size());
      }
      client_ = -1;
      ::close(fd);
    }
  }

  Page page_;
  int listen_ = -1;
  bool listening_ = false;
  std::atomic<int> client_{-1};
  std::atomic<int> searches_{0};
  std::atomic<int> logins_{0};
  std::thread thread_;
};

TEST_F(RecorderDialogTest, OverfullEmptyAndFailedPagesFromTheRecorderNeverMisleadTheList) {
  address_ = "127.0.0.141";
  enum class Mode { Overfull, Empty, FailSecondChannel };
  std::atomic<Mode> mode{Mode::Overfull};
  ScriptedRecorder recorder("127.0.0.141", [&](uint16_t mask, uint16_t first) -> std::vector<uint8_t> {
    const int channel = mask == 1 ? 1 : 2;
    switch (mode.load()) {
      case Mode::Overfull: {
        // Twelve matches, and up to twelve of them on every page asked for eight.
        std::vector<int> types;
        for (int index = first; index <= 12 && types.size() < 12; ++index)
          types.push_back(index == 1 ? 3 : index == 2 ? 4 : index == 3 ? 0 : 1);
        return ScriptedRecorder::Records(12, first, channel, types);
      }
      case Mode::Empty: return ScriptedRecorder::Records(65535, first, channel, {});
      case Mode::FailSecondChannel:
        if (channel == 2) return {};
        return ScriptedRecorder::Records(3, first, channel, {8, 8, 8});
    }
    return {};
  });
  ASSERT_TRUE(recorder.listening());
  auto dialog = OpenDialog();
  ASSERT_TRUE(dialog);
  dialog->SetChannelSelected(1, true);
  QTreeWidget* list = List(*dialog);

  // Eight rows of the first page (not twelve), then the four of the second.
  Search(*dialog);
  ASSERT_EQ(list->topLevelItemCount(), 12);
  std::vector<std::string> times = Texts(list, 2);
  std::sort(times.begin(), times.end());
  EXPECT_EQ(std::unique(times.begin(), times.end()), times.end()) << "a match was listed twice";
  // Unknown types: empty on the first row, the row before's text afterwards.
  const std::vector<std::string> types = Texts(list, 1);
  EXPECT_EQ(std::vector<std::string>(types.end() - 3, types.end()),
            (std::vector<std::string>{"Alarm", "Alarm", ""}));

  // 65,535 matches announced and none delivered: one question per channel, an empty list.
  mode = Mode::Empty;
  dialog->SetChannelSelected(2, true);
  const int before = recorder.searches();
  QElapsedTimer clock;
  clock.start();
  Search(*dialog);
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_EQ(recorder.searches() - before, 2);
  EXPECT_EQ(list->topLevelItemCount(), 0);

  // A failed search keeps what was found before it.
  mode = Mode::FailSecondChannel;
  Search(*dialog);
  EXPECT_EQ(Texts(list, 0), (std::vector<std::string>{"1", "1", "1"}));
  EXPECT_EQ(recorder.logins(), 1);
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
  dialog->OnCancel();
}

}  // namespace
}  // namespace lumaro
