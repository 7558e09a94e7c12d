// The DVR SDK against the recorder simulator: logins, live pictures and sound, PTZ,
// recording, snapshots and the loss of the link.

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "tests/device_sdk/Orvane/OrvaneFixture.h"
#include "tests/support/TempDriveTable.h"

namespace orvane_test {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> FilesIn(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        names.push_back(folder + "/" + name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string RunCommand(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, got);
    pclose(p);
  }
  return out;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST_F(OrvaneTest, LoginChecksUserDataAndLogoutCountsOnce) {
  StartSim("127.0.0.40");
  int result = 0;
  Login("127.0.0.40", "admin", "wrong", &result);
  EXPECT_EQ(result, ORVANE_ERR_USER);
  Login("127.0.0.40", "nobody", "pw", &result);
  EXPECT_EQ(result, ORVANE_ERR_USER);

  int handle = Login("127.0.0.40");
  ORVANE_LOGIN login{};
  std::memcpy(login.user, "admin", 5);
  std::memcpy(login.password, "pw", 2);
  EXPECT_EQ(ORVANE_loginServer(handle, &login), ORVANE_ERR_CONNECTION_EXISTS);

  ORVANE_SYSTEM_PARAMS params{};
  ASSERT_EQ(ORVANE_getSystemParams(handle, &params), ORVANE_OK);
  EXPECT_EQ(params.channels, 4u);
  EXPECT_EQ(params.deviceKind, 0u);
  EXPECT_EQ(params.width, 352u);
  EXPECT_EQ(params.height, 288u);
  EXPECT_STREQ(params.deviceName, "DVR-SIM");

  // A channel the recorder does not have is "no video source".
  EXPECT_EQ(ORVANE_openVideoReciever(handle, 4, 0, 0), ORVANE_ERR_NO_VIDEO);

  EXPECT_EQ(ORVANE_logoutServer(handle), ORVANE_OK);
  EXPECT_EQ(ORVANE_logoutServer(handle), ORVANE_ERR_NOT_LOGGED_IN);
  EXPECT_EQ(ORVANE_getSystemParams(handle, &params), ORVANE_ERR_NOT_CONNECTED);
  // The same handle logs in again after a logout.
  EXPECT_EQ(ORVANE_loginServer(handle, &login), ORVANE_OK);

  EXPECT_EQ(ORVANE_destroyDVR(handle), ORVANE_OK);
  handles_.clear();
  EXPECT_EQ(ORVANE_destroyDVR(handle), ORVANE_ERR_INVALID_HANDLE);
  EXPECT_EQ(ORVANE_loginServer(handle, &login), ORVANE_ERR_INVALID_HANDLE);
  EXPECT_EQ(ORVANE_loginServer(0, nullptr), ORVANE_ERR_INVALID_ARGUMENT);
}

TEST_F(OrvaneTest, LoginWithoutRecorderTimesOut) {
  // Nothing listens on 127.0.0.58: the connection is refused at once or never answered.
  const auto start = std::chrono::steady_clock::now();
  int result = 0;
  Login("127.0.0.58", "admin", "pw", &result);
  EXPECT_EQ(result, ORVANE_ERR_TIMEOUT);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 6s);
}

TEST_F(OrvaneTest, LivePicturesAndSoundArriveAtPace) {
  StartSim("127.0.0.47");
  int handle = Login("127.0.0.47");
  Received& pictures = pictures_;
  Received& sound = sound_;
  StartPreview(handle, 1, &pictures, &sound);

  ASSERT_TRUE(pictures.WaitFor(1, 5s));
  ASSERT_TRUE(sound.WaitFor(1, 5s));
  const auto first_picture = pictures.Last();
  const int pictures_before = pictures.count(), sound_before = sound.count();
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(3s);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int picture_count = pictures.count() - pictures_before;
  const int block_count = sound.count() - sound_before;

  EXPECT_EQ(pictures.width, 352);
  EXPECT_EQ(pictures.height, 288);
  EXPECT_EQ(pictures.bad_records, 0);
  EXPECT_EQ(sound.bad_records, 0);
  // 25 pictures a second; 8000 samples a second in blocks of 321 samples.
  EXPECT_NEAR(picture_count / seconds, 25.0, 3.0);
  EXPECT_NEAR(block_count * 321.0 / seconds, 8000.0, 600.0);
  // The bar sweeps and the clock runs: the picture changes over time.
  EXPECT_GT(LumaDifference(first_picture, pictures.Last(), 352, 0, 288), 1.0);
  // The sound is a tone, not silence.
  auto block = sound.Last();
  int peak = 0;
  for (size_t i = 0; i + 1 < block.size(); i += 2)
    peak = std::max(peak, std::abs(int(int16_t(block[i] | (block[i + 1] << 8)))));
  EXPECT_GT(peak, 3000);

  StopPreview(handle, 1);
  const int after_stop = pictures.count();
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(pictures.count(), after_stop) << "pictures delivered after the decoder was destroyed";
}

TEST_F(OrvaneTest, PtzZoomChangesTheScene) {
  StartSim("127.0.0.42");
  int handle = Login("127.0.0.42");
  Received& pictures = pictures_;
  StartPreview(handle, 0, &pictures, nullptr);
  ASSERT_TRUE(pictures.WaitFor(10, 5s));
  // Rows between the channel label and the sweeping bar show only the scene.
  const int y0 = 30, y1 = 90;
  auto before = pictures.Last();
  std::this_thread::sleep_for(400ms);
  auto still = pictures.Last();
  EXPECT_LT(LumaDifference(before, still, 352, y0, y1), 4.0) << "scene moves without PTZ";

  ORVANE_PTZ zoom{0, 6, 0};
  ASSERT_EQ(ORVANE_PtzControl(handle, &zoom), ORVANE_OK);
  std::this_thread::sleep_for(1s);
  ORVANE_PTZ stop{0, 0, 0};
  ASSERT_EQ(ORVANE_PtzControl(handle, &stop), ORVANE_OK);
  std::this_thread::sleep_for(300ms);
  auto zoomed = pictures.Last();
  EXPECT_GT(LumaDifference(still, zoomed, 352, y0, y1), 10.0) << "zoom did not change the scene";

  // Once stopped, the head stays where it is.
  std::this_thread::sleep_for(400ms);
  EXPECT_LT(LumaDifference(zoomed, pictures.Last(), 352, y0, y1), 4.0);

  ORVANE_PTZ pan{0, 4, 0};
  ASSERT_EQ(ORVANE_PtzControl(handle, &pan), ORVANE_OK);
  std::this_thread::sleep_for(600ms);
  ASSERT_EQ(ORVANE_PtzControl(handle, &stop), ORVANE_OK);
  std::this_thread::sleep_for(300ms);
  EXPECT_GT(LumaDifference(zoomed, pictures.Last(), 352, y0, y1), 10.0) << "pan did not move";

  ORVANE_PTZ missing{9, 1, 0};
  EXPECT_EQ(ORVANE_PtzControl(handle, &missing), ORVANE_ERR_NO_VIDEO);
}

TEST_F(OrvaneTest, RecordingWritesPlayableFilesSplitAtKeyFrames) {
  StartSim("127.0.0.43");
  int handle = Login("127.0.0.43");
  // The live client passes Windows-form folders; they go through the drive table.
  suite::test::TempDriveTable drives("CD");
  const std::string folder = "D:\\VIDEO\\DVR_REC\\127.0.0.43[SVR8670]\\";
  // Recording needs no preview: the SDK asks the recorder for the pictures itself.
  ASSERT_EQ(ORVANE_startRecord(handle, 2, folder.c_str(), ORVANE_RECORD_SPLIT_BYTES), ORVANE_OK);
  EXPECT_EQ(ORVANE_startRecord(handle, 2, folder.c_str(), ORVANE_RECORD_SPLIT_BYTES), ORVANE_ERR_STATE);
  std::this_thread::sleep_for(2500ms);
  ASSERT_EQ(ORVANE_stopRecord(handle, 2), ORVANE_OK);
  EXPECT_EQ(ORVANE_stopRecord(handle, 2), ORVANE_ERR_STATE);

  const std::string host = drives.Host(folder);
  auto files = FilesIn(host, ".m4v");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(files[0].find("/CH03_"), std::string::npos);
  std::string probe = RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                          "stream=codec_name,width,height,nb_read_frames -of default=nw=1 '" +
                          files[0] + "'");
  EXPECT_NE(probe.find("codec_name=mpeg4"), std::string::npos) << probe;
  EXPECT_NE(probe.find("width=352"), std::string::npos) << probe;
  EXPECT_NE(probe.find("height=288"), std::string::npos) << probe;
  int frames = 0;
  auto at = probe.find("nb_read_frames=");
  if (at != std::string::npos) frames = std::atoi(probe.c_str() + at + 15);
  EXPECT_GE(frames, 30) << probe;

  // A small split size: every file starts with a key frame and decodes on its own.
  const std::string split_folder = folder_ / "split";
  ASSERT_EQ(ORVANE_startRecord(handle, 0, split_folder.c_str(), 30000), ORVANE_OK);
  std::this_thread::sleep_for(3500ms);
  ASSERT_EQ(ORVANE_stopRecord(handle, 0), ORVANE_OK);
  auto parts = FilesIn(split_folder, ".m4v");
  EXPECT_GE(parts.size(), 2u);
  for (const auto& part : parts) {
    std::string first = RunCommand("ffprobe -v error -select_streams v:0 -show_entries frame=key_frame "
                            "-read_intervals %+#1 -of csv=p=0 '" + part + "'");
    EXPECT_EQ(first.substr(0, 1), "1") << part << ": " << first;
  }

  // A folder that cannot be made is refused.
  EXPECT_EQ(ORVANE_startRecord(handle, 1, "/proc/no/such/folder", 1000), ORVANE_ERR_FILE);
}

TEST_F(OrvaneTest, SnapshotWritesBmpAndJpegByName) {
  StartSim("127.0.0.44");
  int handle = Login("127.0.0.44");
  const std::string folder = folder_ / "snaps/127.0.0.44/01/";
  // No picture yet on a channel that was never previewed.
  EXPECT_EQ(ORVANE_snapshot(handle, 3, folder.c_str(), "x.bmp"), ORVANE_ERR_NO_PICTURE);

  Received& pictures = pictures_;
  StartPreview(handle, 0, &pictures, nullptr);
  ASSERT_TRUE(pictures.WaitFor(5, 5s));
  ASSERT_EQ(ORVANE_snapshot(handle, 0, folder.c_str(), "20261209-081500.BMP"), ORVANE_OK);
  ASSERT_EQ(ORVANE_snapshot(handle, 0, folder.c_str(), "20261209-081500.JPG"), ORVANE_OK);
  EXPECT_EQ(ORVANE_snapshot(handle, 0, folder.c_str(), "picture.png"), ORVANE_ERR_INVALID_ARGUMENT);

  auto bmp = ReadFile(folder + "20261209-081500.BMP");
  ASSERT_EQ(bmp.size(), 54u + 352u * 3u * 288u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(bmp[28], 24);  // bits per pixel
  // Bottom-up rows: the white label text of the top-left corner sits near the file's end.
  const size_t top_row = 54 + size_t(287 - 6) * 352 * 3;
  int bright = 0;
  for (size_t x = 0; x < 40 * 3; ++x) bright += bmp[top_row + x] > 200;
  EXPECT_GT(bright, 10);

  auto jpeg = ReadFile(folder + "20261209-081500.JPG");
  ASSERT_GT(jpeg.size(), 1000u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  std::string probe = RunCommand("ffprobe -v error -show_entries stream=codec_name,width -of default=nw=1 '" +
                          folder + "20261209-081500.JPG'");
  EXPECT_NE(probe.find("codec_name=mjpeg"), std::string::npos) << probe;
  EXPECT_NE(probe.find("width=352"), std::string::npos) << probe;
}

// Counts connection-lost reports, with the thread they came on.
struct LostReports {
  std::atomic<int> count{0};
  std::atomic<bool> on_caller_thread{false};
  std::thread::id caller = std::this_thread::get_id();
};

void OnLost(void* context) {
  auto* reports = static_cast<LostReports*>(context);
  if (std::this_thread::get_id() == reports->caller) reports->on_caller_thread = true;
  ++reports->count;
}

bool WaitForCount(const std::atomic<int>& value, int wanted, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (value < wanted && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  return value >= wanted;
}

TEST_F(OrvaneTest, LinkLossIsReportedOnceOnAnSdkThread) {
  StartSim("127.0.0.45");
  int handle = Login("127.0.0.45");
  LostReports reports;
  ASSERT_EQ(ORVANE_regCBMsgConnLost(handle, OnLost, &reports), ORVANE_OK);
  Received& pictures = pictures_;
  StartPreview(handle, 0, &pictures, nullptr);
  ASSERT_TRUE(pictures.WaitFor(3, 5s));
  const std::string recording = folder_ / "lost";
  ASSERT_EQ(ORVANE_startRecord(handle, 0, recording.c_str(), ORVANE_RECORD_SPLIT_BYTES), ORVANE_OK);
  std::this_thread::sleep_for(1500ms);

  const auto dropped = std::chrono::steady_clock::now();
  sim_.DropConnections();
  ASSERT_TRUE(WaitForCount(reports.count, 1, 2s)) << "no loss report within 2 s";
  EXPECT_LT(std::chrono::steady_clock::now() - dropped, 2s);
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(reports.count, 1);
  EXPECT_FALSE(reports.on_caller_thread);

  // The live client's teardown on a lost link succeeds and ends the recording; the last
  // picture can still be saved; nothing new can be started; logout counts as done.
  EXPECT_EQ(ORVANE_startVideoSend(handle, 1), ORVANE_ERR_NOT_CONNECTED);
  EXPECT_EQ(ORVANE_snapshot(handle, 0, recording.c_str(), "last.bmp"), ORVANE_OK);
  EXPECT_EQ(ORVANE_stopRecord(handle, 0), ORVANE_OK);
  StopPreview(handle, 0);
  auto files = FilesIn(recording, ".m4v");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_GT(ReadFile(files[0]).size(), 1000u);
  EXPECT_EQ(ORVANE_logoutServer(handle), ORVANE_ERR_NOT_LOGGED_IN);

  // A new login on the same handle is watched again; a recorder that dies is noticed too.
  ORVANE_LOGIN login{};
  std::memcpy(login.user, "admin", 5);
  std::memcpy(login.password, "pw", 2);
  ASSERT_EQ(ORVANE_loginServer(handle, &login), ORVANE_OK);
  sim_.Stop();
  ASSERT_TRUE(WaitForCount(reports.count, 2, 2s));

  // A logout on purpose is no loss.
  StartSim("127.0.0.45");
  ASSERT_EQ(ORVANE_loginServer(handle, &login), ORVANE_OK);
  ASSERT_EQ(ORVANE_logoutServer(handle), ORVANE_OK);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(reports.count, 2);
}

TEST_F(OrvaneTest, RecorderDropsLinkAfterSetTime) {
  StartSim("127.0.0.46", {"--drop-after", "1"});
  int handle = Login("127.0.0.46");
  LostReports reports;
  ASSERT_EQ(ORVANE_regCBMsgConnLost(handle, OnLost, &reports), ORVANE_OK);
  EXPECT_TRUE(WaitForCount(reports.count, 1, 3s));
}

}  // namespace
}  // namespace orvane_test
