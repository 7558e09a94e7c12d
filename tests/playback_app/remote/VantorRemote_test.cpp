// The Vantor device protocol against a scripted device on loopback and against alder_sim:
// reply assembly across segments, every reply code, downloads with their progress, and
// hostile device data.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "RemoteTestSupport.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Window.h"
#include "player_engine/Pellix.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "playback_app/LumaroIds.h"
#include "playback_app/remote/CVantorRemote.h"
#include "playback_app/remote/RemoteMessages.h"
#include "tests/tools/alder_sim/AlderSimProcess.h"

namespace lumaro {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

vantor::ReplyBlock Reply(std::uint8_t code) {
  vantor::ReplyBlock block{};
  block[0] = vantor::kMagic;
  block[1] = code;
  return block;
}

void PutEntry(vantor::ReplyBlock& block, int index, const std::string& name) {
  std::uint8_t* entry = block.data() + vantor::kEntriesOffset + index * vantor::kEntrySize;
  const std::uint32_t date = 20100525, time = 80000 + index;
  std::memcpy(entry, &date, 4);
  std::memcpy(entry + 4, &time, 4);
  entry[8] = 1;
  entry[10] = 3;
  std::memcpy(entry + vantor::kEntryNameOffset, name.data(), std::min<std::size_t>(name.size(), 116));
}

TEST(VantorProtocol, RequestsRepliesAndNamesStayInBounds) {
  const vantor::Request search = vantor::MakeSearchRequest({20100525, 80000, 235959, 7, 3});
  EXPECT_EQ(search[0], 0x8A);
  EXPECT_EQ(search[1], 0x6F);
  EXPECT_EQ(vantor::ReadU32(&search[4]), 20100525u);
  EXPECT_EQ(vantor::ReadU32(&search[16]), 235959u);
  EXPECT_EQ(search[20], 7);
  EXPECT_EQ(search[22], 3);

  vantor::Request request;
  EXPECT_TRUE(vantor::MakeFileRequest(vantor::kCmdPlayFile, std::string(103, 'a'), request));
  EXPECT_EQ(request[24 + 103], 0);
  EXPECT_FALSE(vantor::MakeFileRequest(vantor::kCmdPlayFile, std::string(104, 'a'), request));

  vantor::ReplyBlock block = Reply(vantor::kReplySearchResults);
  block[3] = 9;
  std::vector<vantor::SearchEntry> rows;
  EXPECT_EQ(vantor::ParseSearchResults(block, rows), vantor::ParseResult::InvalidData);
  EXPECT_TRUE(rows.empty());
  block[3] = 8;
  PutEntry(block, 7, std::string(200, 'x'));  // no terminator: fills its entry to the end
  ASSERT_EQ(vantor::ParseSearchResults(block, rows), vantor::ParseResult::Ok);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[7].name.size(), 116u);
  EXPECT_EQ(rows[7].channel, 3);

  EXPECT_EQ(vantor::LocalLeafName("2010\\chn\\a.avi"), "a.avi");
  EXPECT_EQ(vantor::LocalLeafName("..\\..\\evil.avi"), "evil.avi");
  EXPECT_EQ(vantor::LocalLeafName("x\\../../etc/passwd"), "passwd");
  EXPECT_EQ(vantor::LocalLeafName("x\\C:evil.avi"), "evil.avi");
  EXPECT_EQ(vantor::LocalLeafName("x\\.."), "");
  EXPECT_EQ(vantor::LocalLeafName("x\\"), "");
  EXPECT_EQ(vantor::LocalLeafName("a\nb"), "");
}

// A device port on a loopback address: every accepted connection runs `script` on a thread
// of its own until the script returns.
class ScriptedDevice {
 public:
  ScriptedDevice(const char* address, std::uint16_t port, std::function<void(int)> script) {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &at.sin_addr);
    ok_ = ::bind(listen_, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && ::listen(listen_, 4) == 0;
    acceptor_ = std::thread([this, script] {
      for (;;) {
        const int peer = ::accept(listen_, nullptr, nullptr);
        if (peer < 0) return;
        std::lock_guard<std::mutex> guard(lock_);
        peers_.push_back(peer);
        connections_.emplace_back([script, peer] {
          script(peer);
          ::shutdown(peer, SHUT_RDWR);
        });
      }
    });
  }
  ~ScriptedDevice() {
    ::shutdown(listen_, SHUT_RDWR);
    acceptor_.join();
    ::close(listen_);
    for (int peer : peers_) ::shutdown(peer, SHUT_RDWR);
    for (auto& connection : connections_) connection.join();
    for (int peer : peers_) ::close(peer);
  }
  bool ok() const { return ok_; }

 private:
  int listen_ = -1;
  bool ok_ = false;
  std::thread acceptor_;
  std::mutex lock_;
  std::vector<int> peers_;
  std::vector<std::thread> connections_;
};

struct RecordingHost : IVantorHost {
  int search_ended = 0;
  int rows_added = 0;
  std::vector<SearchFailure> failures;
  void OnRemoteRowsAdded() override { ++rows_added; }
  StreamDisplay DisplayCallback() override { return {}; }
  std::vector<int> stopped;
  std::vector<std::string> notices;
  std::vector<DownloadProgress> progress;
  const CVantorRemote* remote = nullptr;
  bool answer = true;
  int questions = 0;
  void OnRemoteSearchEnded(SearchFailure failure) override {
    ++search_ended;
    failures.push_back(failure);
  }
  void OnRemotePlayStopped(int window) override { stopped.push_back(window); }
  void OnRemoteStreamStarted(int window) override { streams.push_back(window); }
  void* VideoWindowHandle(int) override { return video_window; }
  bool SoundMuted() override { return true; }
  std::vector<int> streams;
  void* video_window = nullptr;
  bool AskYesNo(const char*) override {
    ++questions;
    return answer;
  }
  void Notify(const char* key) override { notices.push_back(key); }
  void OnDownloadProgressChanged() override { progress.push_back(remote->Progress()); }
};

// A memory window standing in for the dialog; the test thread pumps it.
struct Dialog {
  Dialog() : handle(PlatformCreateMemoryWindow(64, 64)) {}
  ~Dialog() { PlatformDestroyWindow(handle); }
  platform::Window* window() { return static_cast<platform::Window*>(handle); }
  void* handle;
  std::vector<platform::Message> seen;

  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      platform::Message message;
      if (window()->PumpOneMessage(50ms, &message)) seen.push_back(message);
    }
    return true;
  }
  int Count(unsigned code) const {
    return static_cast<int>(std::count_if(seen.begin(), seen.end(), [&](auto& m) { return m.message == code; }));
  }
};

TEST(VantorQueryThread, RepliesSplitAcrossSegmentsAndEveryCode) {
  ScriptedDevice device("127.0.0.90", vantor::kQueryPort, [](int peer) {
    std::uint8_t request[128];
    ::recv(peer, request, sizeof request, MSG_WAITALL);  // the search request
    vantor::ReplyBlock junk{};
    junk[0] = 0x55;
    junk[1] = vantor::kReplySearchFinished;
    ::send(peer, junk.data(), junk.size(), 0);
    vantor::ReplyBlock rows = Reply(vantor::kReplySearchResults);
    rows[3] = 2;
    PutEntry(rows, 0, "2010\\a.avi");
    PutEntry(rows, 1, "2010\\b.avi");
    ::send(peer, rows.data(), 500, 0);
    std::this_thread::sleep_for(100ms);
    ::send(peer, rows.data() + 500, 532, 0);
    vantor::ReplyBlock ready = Reply(vantor::kReplyTransferReady);
    ready[2] = 42;
    ready[4] = 0x78; ready[5] = 0x56; ready[6] = 0x34; ready[7] = 0x12;
    for (const auto& block : {ready, Reply(vantor::kReplyTransferEnded), Reply(vantor::kReplyTransferRefused),
                              Reply(0x33), Reply(vantor::kReplySearchFinished)}) {
      ::send(peer, block.data(), block.size(), 0);
    }
    std::this_thread::sleep_for(300ms);
  });
  ASSERT_TRUE(device.ok());
  Dialog dialog;
  std::vector<vantor::SearchEntry> rows;
  int sink_calls = 0;
  CMySocket socket;
  ASSERT_TRUE(socket.Open(nullptr, 0, "127.0.0.90", vantor::kQueryPort));
  CQueryThread reader(3, socket, dialog.handle, [&](int window, const std::vector<vantor::SearchEntry>& got) {
    EXPECT_EQ(window, 3);
    ++sink_calls;
    rows.insert(rows.end(), got.begin(), got.end());
  });
  reader.Resume();
  socket.Connect();
  ASSERT_TRUE(dialog.PumpUntil([&] { return dialog.Count(UM_QUERY_CONNECTED) == 1; }));
  const vantor::Request search = vantor::MakeSearchRequest({20100525, 0, 235959, 1, 0});
  socket.Send(search.data(), 128);
  ASSERT_TRUE(dialog.PumpUntil([&] { return dialog.Count(UM_QUERY_CLOSED) == 1; }));

  EXPECT_EQ(sink_calls, 1);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].name, "2010\\b.avi");
  EXPECT_EQ(dialog.Count(UM_SEARCH_END), 1);  // the junk block's code was not taken
  EXPECT_EQ(dialog.Count(UM_PLAY_STOPPED), 1);
  EXPECT_EQ(dialog.Count(UM_PLAY_STOPPED2), 1);
  ASSERT_EQ(dialog.Count(UM_TRANSMIT_READY), 1);
  for (const auto& m : dialog.seen) {
    if (m.message == UM_TRANSMIT_READY) {
      EXPECT_EQ(m.wParam, 3u);
      EXPECT_EQ(TransferIdOf(m.lParam), 42);
      EXPECT_EQ(TransferValueOf(m.lParam), 0x12345678u);
    }
  }
}

// alder_sim with one day of recordings in a temporary folder; drives C and D in another.
class VantorSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("lumaro_vantor_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "rec" / "2010");
    fs::create_directories(root_ / "C");
    fs::create_directories(root_ / "D");
    platform::DriveTable table;
    table.drives = {{'C', (root_ / "C").string()}, {'D', (root_ / "D").string()}};
    table.system_drive = 'C';
    platform::SetDriveTable(table);
    dialog_.window()->SetMessageHandler([this](const platform::Message& m) {
      platform::LRESULT result = 0;
      if (remote_) remote_->HandleMessage(m, result);
      return result;
    });
  }
  void TearDown() override {
    remote_.reset();
    sim_.Stop();
    platform::ResetDriveTable();
    fs::remove_all(root_);
  }
  // A file whose RIFF size makes it `bytes` long.
  void WriteRecording(const std::string& relative, std::uint32_t bytes) {
    std::ofstream out(root_ / "rec" / relative, std::ios::binary);
    std::vector<char> data(bytes, '\x11');
    const std::uint32_t riff = bytes - 8;
    std::memcpy(data.data(), "RIFF", 4);
    std::memcpy(data.data() + 4, &riff, 4);
    std::memcpy(data.data() + 8, "AVI ", 4);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
  }
  bool StartSim(const std::string& address, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--address", address, "--port", "8000", "--no-live", "--recordings",
                                     (root_ / "rec").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    if (!sim_.Start(args)) return false;
    CreateRemote();
    return true;
  }
  void CreateRemote() {
    remote_ = std::make_unique<CVantorRemote>(dialog_.handle, host_);
    host_.remote = remote_.get();
    remote_->StartNetwork();
  }
  // Channel c is searched on window c - 1.
  void Search(const std::string& address, const std::vector<int>& channels = {1}) {
    std::vector<CVantorRemote::SearchChannel> searched;
    for (int channel : channels) searched.push_back({channel, channel - 1});
    remote_->StartSearch(address, 20100525, 0, 235959, searched, 0);
    ASSERT_TRUE(dialog_.PumpUntil([&] { return host_.search_ended == 1; }));
  }

  fs::path root_;
  testsupport::AlderSimProcess sim_;
  Dialog dialog_;
  RecordingHost host_;
  std::unique_ptr<CVantorRemote> remote_;
};

TEST_F(VantorSimTest, FileQueuedTwiceDownloadsOnceCompleteWithTwentySteps) {
  WriteRecording("2010/2010-05-25-080000 M101.avi", 10000008);
  ASSERT_TRUE(StartSim("127.0.0.91"));
  Search("127.0.0.91");
  const auto rows = remote_->RemoteRows();
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_TRUE(remote_->QueueDownloads({rows[0].name, rows[0].name}));
  ASSERT_TRUE(remote_->QueueDownloads({rows[0].name}));
  ASSERT_TRUE(dialog_.PumpUntil([&] { return !remote_->CurrentDownload().empty(); }));
  ASSERT_TRUE(dialog_.PumpUntil([&] { return remote_->DownloadIdle(); }, 60s));

  const fs::path target = root_ / "D" / "DownLoadVideo" / "2010-05-25-080000 M101.avi";
  ASSERT_TRUE(fs::exists(target));
  EXPECT_EQ(fs::file_size(target), 10000008u);
  EXPECT_EQ(dialog_.Count(UM_DOWN_READY), 1);  // one download for the three requests
  ASSERT_FALSE(host_.progress.empty());
  const DownloadProgress& last = host_.progress.back();
  EXPECT_EQ(last.steps, 20);
  EXPECT_FALSE(last.visible);
  const DownloadProgress& before_last = host_.progress[host_.progress.size() - 2];
  EXPECT_TRUE(before_last.visible);
  EXPECT_EQ(before_last.percent_label, "95%");
  EXPECT_EQ(before_last.name_label, "2010-05-25-080000 M101.avi");

  // No to the overwrite question for the only name: nothing is asked of the device.
  host_.answer = true;
  remote_->QueueDownloads({rows[0].name});
  host_.answer = false;
  const int ready_before = dialog_.Count(UM_DOWN_READY);
  ASSERT_TRUE(dialog_.PumpUntil([&] { return remote_->DownloadIdle(); }));
  dialog_.PumpUntil([] { return false; }, 300ms);
  EXPECT_EQ(dialog_.Count(UM_DOWN_READY), ready_before);
  EXPECT_TRUE(remote_->CurrentDownload().empty());
}

// Reads one 128-byte request; false at the end of the connection.
bool ReadRequest(int peer, vantor::Request& request) {
  return ::recv(peer, request.data(), request.size(), MSG_WAITALL) == static_cast<ssize_t>(request.size());
}

void SendBytes(int peer, const void* data, std::size_t size) { ::send(peer, data, size, MSG_NOSIGNAL); }

// A device whose search offers names that try to leave the download folder, and that
// records what the program asks of it.
struct HostileDevice {
  std::mutex lock;
  std::vector<std::string> downloads;    // names of 0xD6 requests
  std::vector<int> started, stopped;     // transfer ids of 0xD5 and 0xD4
  static constexpr std::uint8_t kPlayId = 77;

  void Query(int peer) {
    vantor::Request request;
    while (ReadRequest(peer, request)) {
      if (request[1] == vantor::kCmdSearch) {
        vantor::ReplyBlock rows = Reply(vantor::kReplySearchResults);
        rows[3] = 4;
        PutEntry(rows, 0, "..\\..\\evil.avi");
        PutEntry(rows, 1, "x\\a/../../b.avi");
        PutEntry(rows, 2, "x\\C:c.avi");
        PutEntry(rows, 3, "x\\..");
        SendBytes(peer, rows.data(), rows.size());
        const auto end = Reply(vantor::kReplySearchFinished);
        SendBytes(peer, end.data(), end.size());
      } else if (request[1] == vantor::kCmdPlayFile) {
        auto ready = Reply(vantor::kReplyTransferReady);
        ready[2] = kPlayId;
        SendBytes(peer, ready.data(), ready.size());
      } else if (request[1] == vantor::kCmdDownloadFile) {
        std::lock_guard<std::mutex> guard(lock);
        downloads.emplace_back(reinterpret_cast<const char*>(&request[24]));
        auto ready = Reply(vantor::kReplyDownloadReady);
        ready[2] = static_cast<std::uint8_t>(100 + downloads.size());
        SendBytes(peer, ready.data(), 3);  // only as far as the transfer id
      }
    }
  }
  void Transmit(int peer) {
    vantor::Request request;
    if (!ReadRequest(peer, request) || request[1] != vantor::kCmdStartTransfer) return;
    {
      std::lock_guard<std::mutex> guard(lock);
      started.push_back(request[2]);
    }
    std::vector<char> file(request[2] == kPlayId ? 5000 : 1000, '\x22');
    const std::uint32_t riff = static_cast<std::uint32_t>(file.size() - 8);
    std::memcpy(file.data(), "RIFF", 4);
    std::memcpy(file.data() + 4, &riff, 4);
    SendBytes(peer, file.data(), file.size());
    while (ReadRequest(peer, request)) {
      if (request[1] == vantor::kCmdStopTransfer) {
        std::lock_guard<std::mutex> guard(lock);
        stopped.push_back(request[2]);
        return;
      }
    }
  }
};

std::vector<std::string> Names(const std::vector<vantor::SearchEntry>& rows) {
  std::vector<std::string> names;
  for (const auto& row : rows) names.push_back(row.name);
  return names;
}

// Rows are listed as each reply arrives, not when every connection has ended: a reply's rows
// after those already listed, its own rows in reverse. A device that never sends its end of
// search still has its search ended after the answer wait, quietly, with its rows kept.
TEST_F(VantorSimTest, RowsAreListedAsEachReplyArrivesAndASearchWithoutItsEndStillEnds) {
  ScriptedDevice device("127.0.0.185", vantor::kQueryPort, [](int peer) {
    vantor::Request request;
    if (!ReadRequest(peer, request)) return;
    vantor::ReplyBlock first = Reply(vantor::kReplySearchResults);
    first[3] = 2;
    PutEntry(first, 0, "a.avi");
    PutEntry(first, 1, "b.avi");
    SendBytes(peer, first.data(), first.size());
    std::this_thread::sleep_for(300ms);
    vantor::ReplyBlock second = Reply(vantor::kReplySearchResults);
    second[3] = 2;
    PutEntry(second, 0, "c.avi");
    PutEntry(second, 1, "d.avi");
    SendBytes(peer, second.data(), second.size());
    char byte = 0;
    while (::recv(peer, &byte, 1, 0) > 0) {
    }
  });
  ASSERT_TRUE(device.ok());
  CreateRemote();
  remote_->SetAnswerWait(1500ms);
  ASSERT_EQ(remote_->StartSearch("127.0.0.185", 20100525, 0, 235959, {{1, 0}}, 0), 1);
  ASSERT_TRUE(dialog_.PumpUntil([&] { return host_.rows_added >= 1; }));
  EXPECT_EQ(Names(remote_->TakeNewRows()), (std::vector<std::string>{"b.avi", "a.avi"}));
  ASSERT_TRUE(dialog_.PumpUntil([&] { return host_.rows_added >= 2; }));
  EXPECT_EQ(Names(remote_->TakeNewRows()), (std::vector<std::string>{"d.avi", "c.avi"}));
  EXPECT_EQ(host_.search_ended, 0);
  EXPECT_EQ(remote_->Outstanding(), 1);
  EXPECT_EQ(Names(remote_->RemoteRows()), (std::vector<std::string>{"b.avi", "a.avi", "d.avi", "c.avi"}));

  ASSERT_TRUE(dialog_.PumpUntil([&] { return host_.search_ended == 1; }, 10s)) << "the search never ended";
  EXPECT_EQ(host_.failures, std::vector<SearchFailure>{SearchFailure::None});
  EXPECT_TRUE(remote_->DeviceAnswered());
  EXPECT_EQ(remote_->RemoteRows().size(), 4u);
  EXPECT_TRUE(remote_->TakeNewRows().empty());
}

TEST_F(VantorSimTest, HostileNamesStayInTheDownloadFolderAndStopsCarryTheStartedId) {
  HostileDevice device;
  ScriptedDevice query("127.0.0.93", vantor::kQueryPort, [&](int peer) { device.Query(peer); });
  ScriptedDevice transmit("127.0.0.93", vantor::kTransmitPort, [&](int peer) { device.Transmit(peer); });
  ASSERT_TRUE(query.ok() && transmit.ok());
  CreateRemote();
  Search("127.0.0.93", {1, 2, 3, 4});  // window 3 searches channel 4
  std::vector<std::string> names;
  for (const auto& row : remote_->RemoteRows()) {
    if (std::find(names.begin(), names.end(), row.name) == names.end()) names.push_back(row.name);
  }
  ASSERT_EQ(names.size(), 4u);

  ASSERT_TRUE(remote_->QueueDownloads(names));
  ASSERT_TRUE(dialog_.PumpUntil([&] { return remote_->DownloadIdle(); }));
  {
    std::lock_guard<std::mutex> guard(device.lock);
    EXPECT_EQ(device.downloads.size(), 3u);  // "x\.." names no file and is not asked for
  }
  std::vector<std::string> written;
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    if (entry.is_regular_file()) written.push_back(fs::relative(entry.path(), root_).string());
  }
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"D/DownLoadVideo/b.avi", "D/DownLoadVideo/c.avi",
                                               "D/DownLoadVideo/evil.avi"}));
  EXPECT_EQ(fs::file_size(root_ / "D" / "DownLoadVideo" / "evil.avi"), 1000u);

  // Play on window 3, then stop the window: the stop names the transfer that was started.
  ASSERT_TRUE(remote_->PlayFile(3, "x\\p.avi"));
  ASSERT_TRUE(dialog_.PumpUntil([&] { return dialog_.Count(UM_TRANSMIT_CONNECTED) == 1; }));
  const fs::path temp = root_ / "C" / "LumaroTemp" / "RemoteFile03.avi";
  ASSERT_TRUE(dialog_.PumpUntil([&] { return fs::exists(temp) && fs::file_size(temp) == 5000u; }));
  EXPECT_EQ(remote_->WindowRemoteFile(3), "x\\p.avi");
  remote_->StopWindow(3);
  ASSERT_TRUE(dialog_.PumpUntil([&] {
    std::lock_guard<std::mutex> guard(device.lock);
    return std::count(device.stopped.begin(), device.stopped.end(), HostileDevice::kPlayId) == 1;
  }));
  std::lock_guard<std::mutex> guard(device.lock);
  EXPECT_EQ(std::count(device.started.begin(), device.started.end(), HostileDevice::kPlayId), 1);
}

TEST_F(VantorSimTest, AnUncreatableTargetIsReportedAndTheQueueGoesOn) {
  HostileDevice device;
  ScriptedDevice query("127.0.0.94", vantor::kQueryPort, [&](int peer) { device.Query(peer); });
  ScriptedDevice transmit("127.0.0.94", vantor::kTransmitPort, [&](int peer) { device.Transmit(peer); });
  ASSERT_TRUE(query.ok() && transmit.ok());
  CreateRemote();
  Search("127.0.0.94");
  // A folder where the first file should go: that file cannot be created.
  fs::create_directories(root_ / "D" / "DownLoadVideo" / "evil.avi");
  ASSERT_TRUE(remote_->QueueDownloads({"..\\..\\evil.avi", "x\\C:c.avi"}));
  ASSERT_TRUE(dialog_.PumpUntil([&] { return remote_->DownloadIdle(); }));
  EXPECT_EQ(host_.notices, std::vector<std::string>{"IDS_DOWNFILE_FAIL"});
  EXPECT_TRUE(remote_->CurrentDownload().empty());
  EXPECT_EQ(fs::file_size(root_ / "D" / "DownLoadVideo" / "c.avi"), 1000u);
}

// A recording streamed by the simulator slower than it plays: the window shows pictures,
// and the end of the stream is reported once.
TEST_F(VantorSimTest, AStreamedRecordingPlaysInItsWindowAndEndsOnce) {
  const fs::path source = root_ / "source.avi";
  const fs::path file = root_ / "rec" / "2010" / "2010-05-25-100000 M101.avi";
  ASSERT_TRUE(lumaro_test::MakeDeviceRecording(source.string(), platform::ToWindowsPath(file.string()), 12));
  const auto size = fs::file_size(file);
  // About four seconds of delivery for three seconds of pictures.
  ASSERT_TRUE(StartSim("127.0.0.95", {"--pace", std::to_string(size / 4)}));
  void* video = PlatformCreateMemoryWindow(352, 288);
  host_.video_window = video;
  Search("127.0.0.95");
  const auto rows = remote_->RemoteRows();
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_TRUE(remote_->PlayFile(0, rows[0].name));
  ASSERT_TRUE(dialog_.PumpUntil([&] { return host_.streams.size() == 1; }));
  ASSERT_TRUE(dialog_.PumpUntil([&] { return PlatformWindowPresentCount(video) > 10; }, 15s))
      << "pictures shown: " << PlatformWindowPresentCount(video);
  ASSERT_TRUE(dialog_.PumpUntil([&] { return dialog_.Count(UM_FILE_END) >= 1; }, 30s));
  dialog_.PumpUntil([] { return false; }, 500ms);
  EXPECT_EQ(dialog_.Count(UM_FILE_END), 1);
  EXPECT_EQ(dialog_.Count(UM_PLAY_STOPPED), 1);  // the device's own end of the transfer
  // The window ends on the file's last picture, as libavcodec decodes it.
  std::vector<std::uint8_t> shown(352 * 288 * 4);
  ASSERT_EQ(PlatformWindowCopyPixels(video, shown.data(), 352, 288), 1);
  const std::vector<std::uint8_t> last = pellix::test::DecodeFrameBgra(source.string(), 74, 352, 288);
  ASSERT_EQ(last.size(), shown.size());
  double difference = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (i % 4 != 3) difference += std::abs(static_cast<int>(shown[i]) - static_cast<int>(last[i]));
  }
  EXPECT_LT(difference / (352.0 * 288 * 3), 6.0);
  ASSERT_NE(remote_->StreamPlayer(0), nullptr);
  EXPECT_TRUE(remote_->StreamPlayer(0)->InputEnded());
  EXPECT_EQ(remote_->StreamPlayer(0)->BytesFed() + static_cast<std::uint64_t>(Pellix_GetFileHeadLength()), size);
  remote_->StopWindow(0);
  remote_.reset();
  PlatformDestroyWindow(video);
}

}  // namespace
}  // namespace lumaro
