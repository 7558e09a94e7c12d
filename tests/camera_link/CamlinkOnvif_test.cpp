// The camera link with a services port: a test camera (camera_sim) for the streams and the
// test device (onvif_sim) for its services, each device on its own loopback address. Login
// through the services, the stream of the chosen profile, refusals, a camera clock far off,
// a camera without media, PTZ and presets as the device sees them, and snapshots.
#include "camera_link/Camlink.h"

#include "tests/tools/alder_sim/AlderSimProcess.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr const char* kCameraAddress = "127.0.0.210";  // camera_sim: streams "main", "sub"
constexpr int kRtspPort = 8554;
constexpr int kServicesPort = 8080;

CML_CONNECT_INFO Connect(const std::string& host, const std::string& password = "s3cret")
{
    CML_CONNECT_INFO info{};
    std::strncpy(info.szHost, host.c_str(), sizeof info.szHost - 1);
    info.wPort = kRtspPort;
    info.wOnvifPort = kServicesPort;
    info.nTransport = CML_TRANSPORT_TCP;
    std::strncpy(info.szUser, "admin", sizeof info.szUser - 1);
    std::strncpy(info.szPassword, password.c_str(), sizeof info.szPassword - 1);
    return info;
}

// The first frames of a preview, kept whole.
struct Frames {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::vector<unsigned char>> frames;

    static void OnVideo(const unsigned char* frame, int, int length, int, void* context)
    {
        auto* self = static_cast<Frames*>(context);
        std::lock_guard<std::mutex> guard(self->lock);
        if (self->frames.size() < 40)
            self->frames.emplace_back(frame, frame + length);
        self->changed.notify_all();
    }
    bool WaitFor(size_t count, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, limit, [&] { return frames.size() >= count; });
    }
};

// Width and height of the first picture libavcodec decodes from the H.264 frames.
std::pair<int, int> DecodedSize(const std::vector<std::vector<unsigned char>>& frames)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* picture = av_frame_alloc();
    std::pair<int, int> size{0, 0};
    for (const auto& frame : frames) {
        av_new_packet(packet, static_cast<int>(frame.size()));
        std::memcpy(packet->data, frame.data(), frame.size());
        if (avcodec_send_packet(context, packet) == 0 && avcodec_receive_frame(context, picture) == 0)
            size = {picture->width, picture->height};
        av_packet_unref(packet);
        if (size.first != 0)
            break;
    }
    av_frame_free(&picture);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return size;
}

class CamlinkOnvifTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        camera_ = new testsupport::AlderSimProcess("camera_sim");
        ASSERT_TRUE(camera_->Start({"--address", kCameraAddress, "--port", std::to_string(kRtspPort),
                                    "--user", "admin", "--password", "s3cret",
                                    "--stream", "main:h264:none:1920x1080:5",
                                    "--stream", "sub:h264:none:640x360"},
                                   std::chrono::seconds(30)))
            << "camera_sim did not start";
        ASSERT_NE(0, CMLLoadLibrary());
    }
    static void TearDownTestSuite()
    {
        CMLFreeLibrary();
        delete camera_;
        camera_ = nullptr;
    }

    // The services of a camera on `address`, its streams on the test camera.
    bool StartDevice(const std::string& address, std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments = {
            "--address", address, "--port", std::to_string(kServicesPort), "--camera",
            std::string(kCameraAddress) + ":" + std::to_string(kRtspPort)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return device_.Start(arguments);
    }

    int LoggedIn(const std::string& address, int stream, int& handle,
                 const std::string& password = "s3cret")
    {
        CML_CONNECT_INFO info = Connect(address, password);
        EXPECT_EQ(CML_OK, CMLCreateHandle(&handle, &info, 0));
        return CMLLogin(handle, stream);
    }

    static testsupport::AlderSimProcess* camera_;
    testsupport::AlderSimProcess device_{"onvif_sim"};
};

testsupport::AlderSimProcess* CamlinkOnvifTest::camera_ = nullptr;

TEST_F(CamlinkOnvifTest, LoginByProfileShowsThatProfilesStreamAndItsDescription)
{
    ASSERT_TRUE(StartDevice("127.0.0.211"));
    int handle = 0;
    // Only the services port and a password: the stream address comes from the camera.
    ASSERT_EQ(CML_OK, LoggedIn("127.0.0.211", 1, handle));

    int count = 0;
    ASSERT_EQ(CML_OK, CMLGetProfileCount(handle, &count));
    ASSERT_EQ(count, 2);
    CML_PROFILE_INFO profile{};
    ASSERT_EQ(CML_OK, CMLGetProfileInfo(handle, 0, &profile));
    EXPECT_STREQ(profile.szName, "MainStream");
    EXPECT_STREQ(profile.szCodec, "H264");
    EXPECT_EQ(profile.nWidth, 1920);
    EXPECT_EQ(profile.nHeight, 1080);
    ASSERT_EQ(CML_OK, CMLGetProfileInfo(handle, 1, &profile));
    EXPECT_STREQ(profile.szName, "SubStream");
    EXPECT_EQ(profile.nWidth, 640);
    EXPECT_EQ(profile.nHeight, 360);
    EXPECT_EQ(CML_ERR_NOT_FOUND, CMLGetProfileInfo(handle, 2, &profile));
    EXPECT_EQ(CML_ERR_PARAMETER, CMLGetProfileInfo(handle, 0, nullptr));

    // Stream 1 is the second profile: its pictures are the camera's 640x360 ones.
    Frames frames;
    ASSERT_EQ(CML_OK, CMLStartPreview(handle, 1, 0, 0));
    ASSERT_EQ(CML_OK, CMLRegVideoPreCallBack(handle, 1, &Frames::OnVideo, &frames));
    CML_MEDIA_INFO media{};
    ASSERT_EQ(CML_OK, CMLGetMediaInfo(handle, 1, &media));
    EXPECT_EQ(media.nWidth, 640);
    EXPECT_EQ(media.nHeight, 360);
    EXPECT_EQ(media.nCompressor, CML_CODEC_H264);
    ASSERT_TRUE(frames.WaitFor(10, 10s));
    {
        std::lock_guard<std::mutex> guard(frames.lock);
        EXPECT_EQ(DecodedSize(frames.frames), std::make_pair(640, 360));
    }
    EXPECT_EQ(CML_OK, CMLStopPreview(handle, 1));

    // The same login serves the main profile too: its address is asked for on the start.
    ASSERT_EQ(CML_OK, CMLStartPreview(handle, 0, 0, 0));
    ASSERT_EQ(CML_OK, CMLGetMediaInfo(handle, 0, &media));
    EXPECT_EQ(media.nWidth, 1920);
    EXPECT_EQ(media.nHeight, 1080);
    EXPECT_EQ(CML_OK, CMLStopPreview(handle, 0));

    // A stream index past the camera's profiles is no stream of it.
    EXPECT_EQ(CML_ERR_NOT_FOUND, CMLStartPreview(handle, 2, 0, 0));
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));
    int other = 0;
    EXPECT_EQ(CML_ERR_NOT_FOUND, LoggedIn("127.0.0.211", 5, other));
    EXPECT_EQ(CML_OK, CMLDestroyHandle(other));
}

TEST_F(CamlinkOnvifTest, WrongPasswordNoAnswerAndNoMediaEachSayWhy)
{
    ASSERT_TRUE(StartDevice("127.0.0.212", {"--no-media"}));
    int handle = 0;
    EXPECT_EQ(CML_ERR_USER, LoggedIn("127.0.0.212", 0, handle, "guess"));
    int count = -1;
    EXPECT_EQ(CML_ERR_HANDLE, CMLGetProfileCount(handle, &count)) << "no profiles without a login";
    EXPECT_EQ(count, 0);
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));

    // Right password, but the camera offers no media service: a reason of its own.
    EXPECT_EQ(CML_ERR_NO_MEDIA, LoggedIn("127.0.0.212", 0, handle));
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));

    // Nobody at the services port: the camera is not there.
    auto begin = Clock::now();
    EXPECT_EQ(CML_ERR_TIMEOUT, LoggedIn("127.0.0.213", 0, handle));
    EXPECT_LT(Clock::now() - begin, 6s);
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));
}

TEST_F(CamlinkOnvifTest, CameraClockAnHourOffIsAcceptedAndASilentCameraCanBeCancelled)
{
    ASSERT_TRUE(StartDevice("127.0.0.214", {"--clock-offset", "3600"}));
    int handle = 0;
    ASSERT_EQ(CML_OK, LoggedIn("127.0.0.214", 1, handle));
    EXPECT_TRUE(device_.CountLines("refused") == 0) << "credentials written in our own time";
    ASSERT_EQ(CML_OK, CMLStartPreview(handle, 1, 0, 0));
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));

    // A services port that takes the connection and never answers: a cancel ends the login.
    int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(kServicesPort);
    inet_pton(AF_INET, "127.0.0.215", &where.sin_addr);
    ASSERT_EQ(0, bind(silent, reinterpret_cast<sockaddr*>(&where), sizeof where));
    ASSERT_EQ(0, listen(silent, 4));
    CML_CONNECT_INFO info = Connect("127.0.0.215");
    ASSERT_EQ(CML_OK, CMLCreateHandle(&handle, &info, 0));
    auto pending = std::async(std::launch::async, [&] { return CMLLogin(handle, 0); });
    std::this_thread::sleep_for(300ms);
    auto begin = Clock::now();
    EXPECT_EQ(CML_OK, CMLCancel(handle));
    ASSERT_EQ(std::future_status::ready, pending.wait_for(500ms)) << "the login did not end";
    EXPECT_EQ(CML_ERR_CANCELLED, pending.get());
    EXPECT_LT(Clock::now() - begin, 500ms);
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));
    close(silent);
}

}  // namespace
