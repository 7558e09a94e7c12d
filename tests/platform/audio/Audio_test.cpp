#include "platform/Audio.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace platform;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// 8000 Hz 16-bit mono: 16 bytes per millisecond, as the system's ADPCM sound decodes.
AudioFormat Adpcm() {
  return AudioFormat{8000, 1, 16};
}

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<milliseconds>(Clock::now() - since).count());
}

uint32_t Le32(const std::vector<uint8_t>& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t Le16(const std::vector<uint8_t>& bytes, std::size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Collects diagnostic lines for the duration of a test.
struct DiagnosticLines {
  std::vector<std::string> lines;
  DiagnosticLines() {
    SetAudioDiagnosticSink([this](const std::string& line) { lines.push_back(line); });
  }
  ~DiagnosticLines() { SetAudioDiagnosticSink(nullptr); }
};

TEST(AudioChoice, ParsesTheThreeBackendsAndRejectsTheRest) {
  EXPECT_EQ(ParseAudioChoice("default")->backend, AudioBackend::Default);
  EXPECT_EQ(ParseAudioChoice("NULL")->backend, AudioBackend::Null);
  auto wav = ParseAudioChoice("wav:/tmp/out put.wav");
  ASSERT_TRUE(wav);
  EXPECT_EQ(wav->backend, AudioBackend::WavFile);
  EXPECT_EQ(wav->wavPath, "/tmp/out put.wav");
  EXPECT_FALSE(ParseAudioChoice("wav:"));
  EXPECT_FALSE(ParseAudioChoice("pulse"));
  EXPECT_FALSE(ParseAudioChoice(""));

  DiagnosticLines diagnostics;
  ::setenv("KORVEL_AUDIO", "speakers", 1);
  EXPECT_EQ(AudioChoiceFromEnvironment().backend, AudioBackend::Default);
  ASSERT_EQ(diagnostics.lines.size(), 1u);
  EXPECT_NE(diagnostics.lines[0].find("speakers"), std::string::npos);
  ::setenv("KORVEL_AUDIO", "null", 1);
  auto device = AudioDevice::Open(Adpcm());
  ASSERT_TRUE(device);
  EXPECT_EQ(device->Backend(), AudioBackend::Null);
}

TEST(AudioDevice, RefusesBadFormatsAndWritesThatDoNotFit) {
  DiagnosticLines diagnostics;
  EXPECT_FALSE(AudioDevice::Open(AudioChoice{AudioBackend::Null, ""}, AudioFormat{8000, 1, 12}));
  EXPECT_FALSE(AudioDevice::Open(AudioChoice{AudioBackend::Null, ""}, AudioFormat{8000, 0, 16}));
  EXPECT_FALSE(AudioDevice::Open(AudioChoice{AudioBackend::WavFile, "/nonexistent-folder/x.wav"}, Adpcm()));
  EXPECT_FALSE(diagnostics.lines.empty());

  auto device = AudioDevice::Open(AudioChoice{AudioBackend::Null, ""}, AudioFormat{8000, 2, 16}, 0);
  ASSERT_TRUE(device);
  EXPECT_EQ(device->QueueBytes(), 32000u) << "default queue: one second";
  std::vector<uint8_t> block(4040);
  EXPECT_FALSE(device->Write(block.data(), 1010)) << "not a whole stereo frame";
  EXPECT_FALSE(device->Write(block.data(), 0));
  device->SetPaused(true);  // nothing drains while the queue is filled
  for (int i = 0; i < 7; ++i) EXPECT_TRUE(device->Write(block.data(), block.size()));
  EXPECT_EQ(device->QueuedBytes(), 28280u);
  EXPECT_FALSE(device->Write(block.data(), block.size())) << "more than the free room";
  EXPECT_EQ(device->QueuedBytes(), 28280u) << "a refused write queues nothing";
  EXPECT_EQ(device->FreeBytes(), 32000u - 28280u);
  EXPECT_FALSE(device->SetVolume(1.5));
  EXPECT_FALSE(device->SetRate(0.0));
  EXPECT_FALSE(device->SetRate(100.0)) << "800 kHz is beyond any sound card";
  device->Flush();
  EXPECT_EQ(device->QueuedBytes(), 0u);
  device->Close();
  EXPECT_FALSE(device->Write(block.data(), block.size()));
}

TEST(NullAudio, PlaysAtTheWallClockRateAndStopsWhenPausedOrStarved) {
  auto device = AudioDevice::Open(AudioChoice{AudioBackend::Null, ""}, Adpcm());
  ASSERT_TRUE(device);
  std::vector<uint8_t> sound(12000);  // 750 ms
  const auto start = Clock::now();
  ASSERT_TRUE(device->Write(sound.data(), sound.size()));
  std::this_thread::sleep_for(milliseconds(200));
  device->SetPaused(true);
  long elapsed = ElapsedMs(start);
  const uint64_t at_pause = device->PlayedBytes();
  EXPECT_GE(at_pause, 200u * 16 - 16);
  EXPECT_LE(at_pause, static_cast<uint64_t>(elapsed) * 16 + 16);
  EXPECT_EQ(device->QueuedBytes() + at_pause, sound.size());
  std::this_thread::sleep_for(milliseconds(60));
  EXPECT_EQ(device->PlayedBytes(), at_pause) << "the clock ran while paused";
  EXPECT_FALSE(device->Drain(10)) << "a paused device never drains";

  // Twice the rate consumes twice as fast.
  device->SetRate(2.0);
  device->SetPaused(false);
  const auto resumed = Clock::now();
  std::this_thread::sleep_for(milliseconds(100));
  const uint64_t played = device->PlayedBytes() - at_pause;
  elapsed = ElapsedMs(resumed);
  EXPECT_GE(played, 100u * 32 - 32);
  EXPECT_LE(played, static_cast<uint64_t>(elapsed) * 32 + 32);

  // Starved: the count stops at what was written and new sound starts from its write.
  ASSERT_TRUE(device->Drain(2000));
  EXPECT_EQ(device->PlayedBytes(), sound.size());
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(device->PlayedBytes(), sound.size());
  device->SetRate(1.0);
  ASSERT_TRUE(device->Write(sound.data(), 1600));  // 100 ms
  EXPECT_LE(device->PlayedBytes(), sound.size() + 16) << "starved time was banked";
}

TEST(WavAudio, WritesAValidFileOfWhatWasPlayedWithTheVolumeApplied) {
  const std::string path = ::testing::TempDir() + "audio_test_played_" + std::to_string(::getpid()) + ".wav";
  std::remove(path.c_str());
  const AudioFormat stereo{22050, 2, 16};
  auto device = AudioDevice::Open(AudioChoice{AudioBackend::WavFile, path}, stereo, 8820);
  ASSERT_TRUE(device);
  EXPECT_EQ(device->Backend(), AudioBackend::WavFile);

  // 50 ms of a ramp at full volume, then as much at half volume.
  std::vector<uint8_t> ramp(4400);
  for (std::size_t i = 0; i < ramp.size(); i += 2) {
    const int16_t sample = static_cast<int16_t>(i * 7 - 12000);
    ramp[i] = static_cast<uint8_t>(sample & 0xFF);
    ramp[i + 1] = static_cast<uint8_t>((sample >> 8) & 0xFF);
  }
  ASSERT_TRUE(device->Write(ramp.data(), ramp.size()));
  ASSERT_TRUE(device->Drain(2000));
  ASSERT_TRUE(device->SetVolume(0.5));
  ASSERT_TRUE(device->Write(ramp.data(), ramp.size()));
  ASSERT_TRUE(device->Drain(2000));
  device->Close();

  const std::vector<uint8_t> file = ReadFile(path);
  ASSERT_EQ(file.size(), 44u + 2 * ramp.size());
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(file, 4), file.size() - 8);
  EXPECT_EQ(std::string(file.begin() + 8, file.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(file, 16), 16u);
  EXPECT_EQ(Le16(file, 20), 1);  // PCM
  EXPECT_EQ(Le16(file, 22), 2);
  EXPECT_EQ(Le32(file, 24), 22050u);
  EXPECT_EQ(Le32(file, 28), 88200u);
  EXPECT_EQ(Le16(file, 32), 4);
  EXPECT_EQ(Le16(file, 34), 16);
  EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "data");
  EXPECT_EQ(Le32(file, 40), 2 * ramp.size());
  EXPECT_TRUE(std::equal(ramp.begin(), ramp.end(), file.begin() + 44));
  for (std::size_t i = 0; i < ramp.size(); i += 2) {
    const int16_t original = static_cast<int16_t>(Le16(ramp, i));
    const int16_t halved = static_cast<int16_t>(Le16(file, 44 + ramp.size() + i));
    ASSERT_EQ(halved, static_cast<int16_t>(original * 0.5)) << "sample " << i / 2;
  }

  // Sound started again on the same file continues it; flushed sound was never played, so
  // it never reaches the file.
  auto again = AudioDevice::Open(AudioChoice{AudioBackend::WavFile, path}, stereo);
  ASSERT_TRUE(again);
  ASSERT_TRUE(again->Write(ramp.data(), 400));
  ASSERT_TRUE(again->Drain(2000));
  again->SetPaused(true);
  ASSERT_TRUE(again->Write(ramp.data(), ramp.size()));
  again->Flush();
  again.reset();
  std::vector<uint8_t> continued = ReadFile(path);
  ASSERT_EQ(continued.size(), 44u + 2 * ramp.size() + 400);
  EXPECT_EQ(Le32(continued, 40), 2 * ramp.size() + 400);
  EXPECT_TRUE(std::equal(ramp.begin(), ramp.begin() + 400, continued.end() - 400));

  // Another format starts the file afresh.
  auto mono = AudioDevice::Open(AudioChoice{AudioBackend::WavFile, path}, Adpcm());
  ASSERT_TRUE(mono);
  mono.reset();
  continued = ReadFile(path);
  ASSERT_EQ(continued.size(), 44u);
  EXPECT_EQ(Le16(continued, 22), 1);
  std::remove(path.c_str());
}

TEST(DefaultAudio, FallsBackToNullWhenNoSoundServerAnswers) {
  DiagnosticLines diagnostics;
  ::setenv("PULSE_SERVER", "unix:/nonexistent/sound-server-socket", 1);
  auto device = AudioDevice::Open(AudioChoice{AudioBackend::Default, ""}, Adpcm());
  ::unsetenv("PULSE_SERVER");
  ASSERT_TRUE(device);
  EXPECT_EQ(device->Backend(), AudioBackend::Null);
  ASSERT_EQ(diagnostics.lines.size(), 1u);
  EXPECT_NE(diagnostics.lines[0].find("no sound server"), std::string::npos) << diagnostics.lines[0];
  std::vector<uint8_t> block(1010);
  EXPECT_TRUE(device->Write(block.data(), block.size()));
}

// A private sound server with a null sink, for checking the server device end to end on
// machines that have the server installed. Never touches a user's own server.
class PrivateSoundServer {
 public:
  PrivateSoundServer() {
    std::string program;
    for (const char* folder : {"/usr/bin/", "/usr/local/bin/"}) {
      if (::access((std::string(folder) + "pulseaudio").c_str(), X_OK) == 0) program = std::string(folder) + "pulseaudio";
    }
    if (program.empty()) return;
    folder_ = std::filesystem::temp_directory_path() / ("audio_test_server_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder_);
    socket_ = (folder_ / "native").string();
    std::vector<std::string> arguments = {program, "-n", "--daemonize=no", "--exit-idle-time=-1",
                                          "--use-pid-file=no", "--realtime=no", "--high-priority=no", "--log-level=0",
                                          "-L", "module-null-sink sink_name=test",
                                          "-L", "module-native-protocol-unix auth-anonymous=1 socket=" + socket_};
    std::vector<std::string> environment = {"HOME=" + folder_.string(), "XDG_RUNTIME_DIR=" + folder_.string(),
                                            "PATH=/usr/bin:/bin"};
    std::vector<char*> argv, envp;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
      pid_ = -1;
      return;
    }
    // The socket file appears before the server listens on it: wait until it accepts.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline && !Accepts()) std::this_thread::sleep_for(milliseconds(20));
  }
  ~PrivateSoundServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  bool Running() const { return pid_ > 0 && Accepts(); }
  std::string Address() const { return "unix:" + socket_; }

 private:
  bool Accepts() const {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, socket_.c_str(), socket_.size() + 1);
    const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool accepted = client >= 0 && ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (client >= 0) ::close(client);
    return accepted;
  }

  pid_t pid_ = -1;
  std::filesystem::path folder_;
  std::string socket_;
};

TEST(ServerAudio, PlaysThroughASoundServerAtTheFormatRate) {
  PrivateSoundServer server;
  if (!server.Running()) GTEST_SKIP() << "no sound server program on this machine";
  DiagnosticLines diagnostics;
  ::setenv("PULSE_SERVER", server.Address().c_str(), 1);
  auto device = AudioDevice::Open(AudioChoice{AudioBackend::Default, ""}, Adpcm());
  ::unsetenv("PULSE_SERVER");
  ASSERT_TRUE(device);
  ASSERT_EQ(device->Backend(), AudioBackend::Default) << (diagnostics.lines.empty() ? "" : diagnostics.lines[0]);

  // The test server's null sink checks for work only every two seconds while idle, so the
  // stream is started and played out once before anything is timed.
  std::vector<uint8_t> sound(8000);  // 500 ms
  ASSERT_TRUE(device->Write(sound.data(), 1600));
  const auto warm_up = Clock::now();
  while (device->PlayedBytes() < 1600 && ElapsedMs(warm_up) < 4000) std::this_thread::sleep_for(milliseconds(10));
  ASSERT_EQ(device->PlayedBytes(), 1600u);

  const auto start = Clock::now();
  ASSERT_TRUE(device->Write(sound.data(), sound.size()));
  std::this_thread::sleep_for(milliseconds(300));
  const uint64_t played = device->PlayedBytes() - 1600;
  const long elapsed = ElapsedMs(start);
  EXPECT_GE(played, 150u * 16) << "the server should have played most of 300 ms";
  EXPECT_LE(played, static_cast<uint64_t>(elapsed) * 16 + 16);

  ASSERT_TRUE(device->Drain(2000));
  const auto drained = Clock::now();
  while (device->PlayedBytes() < 1600 + sound.size() && ElapsedMs(drained) < 1000) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_EQ(device->PlayedBytes(), 1600 + sound.size());

  // Paused: once the server's short buffer has played out the count stands still.
  ASSERT_TRUE(device->Write(sound.data(), sound.size()));
  std::this_thread::sleep_for(milliseconds(50));
  device->SetPaused(true);
  std::this_thread::sleep_for(milliseconds(200));
  const uint64_t at_pause = device->PlayedBytes();
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_EQ(device->PlayedBytes(), at_pause);
  EXPECT_GT(device->QueuedBytes(), 0u);

  // A new rate reopens the stream and playback goes on, twice as fast.
  ASSERT_TRUE(device->SetRate(2.0));
  device->SetPaused(false);
  EXPECT_TRUE(device->Drain(2000));
  const auto closing = Clock::now();
  device->Close();
  EXPECT_LT(ElapsedMs(closing), 500);
  EXPECT_TRUE(diagnostics.lines.empty()) << diagnostics.lines[0];
}

}  // namespace
