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
#include <signal.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
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
        return StartDevice(device_, address, std::move(extra));
    }
    static bool StartDevice(testsupport::AlderSimProcess& device, const std::string& address,
                            std::vector<std::string> extra)
    {
        std::vector<std::string> arguments = {
            "--address", address, "--port", std::to_string(kServicesPort), "--camera",
            std::string(kCameraAddress) + ":" + std::to_string(kRtspPort)};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return device.Start(arguments);
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

TEST_F(CamlinkOnvifTest, SessionsOfOneStreamAreReachedAndStoppedByTheirOwnNumbers)
{
    ASSERT_TRUE(StartDevice("127.0.0.104"));
    int handle = 0;
    ASSERT_EQ(CML_OK, LoggedIn("127.0.0.104", 0, handle));

    // Two windows on the second profile (not the login's): the older one moves away first.
    int older = 0;
    int newer = 0;
    ASSERT_EQ(CML_OK, CMLStartPreviewSession(handle, 1, &older));
    ASSERT_EQ(CML_OK, CMLStartPreviewSession(handle, 1, &newer));
    EXPECT_GT(older, 0);
    EXPECT_NE(older, newer);
    CML_MEDIA_INFO media{};
    ASSERT_EQ(CML_OK, CMLGetSessionMediaInfo(handle, newer, &media));
    EXPECT_EQ(media.nWidth, 640);
    EXPECT_EQ(media.nHeight, 360);
    Frames first;
    Frames second;
    ASSERT_EQ(CML_OK, CMLRegSessionCallBacks(handle, older, nullptr, &Frames::OnVideo, nullptr, &first));
    ASSERT_EQ(CML_OK, CMLRegSessionCallBacks(handle, newer, nullptr, &Frames::OnVideo, nullptr, &second));
    ASSERT_TRUE(first.WaitFor(5, 10s));
    ASSERT_TRUE(second.WaitFor(5, 10s));
    {
        std::lock_guard<std::mutex> guard(second.lock);
        EXPECT_EQ(DecodedSize(second.frames), std::make_pair(640, 360));
    }

    // Stopping the newer by its number leaves the older one streaming.
    ASSERT_EQ(CML_OK, CMLStopPreviewSession(handle, newer));
    size_t stoppedAt = 0;
    {
        std::lock_guard<std::mutex> guard(second.lock);
        stoppedAt = second.frames.size();
    }
    {
        std::lock_guard<std::mutex> guard(first.lock);
        first.frames.clear();
    }
    EXPECT_TRUE(first.WaitFor(10, 10s)) << "the older session still streams";
    {
        std::lock_guard<std::mutex> guard(second.lock);
        EXPECT_EQ(second.frames.size(), stoppedAt) << "no callback after the stop";
    }
    EXPECT_EQ(CML_ERR_HANDLE, CMLStopPreviewSession(handle, newer));
    EXPECT_EQ(CML_ERR_HANDLE, CMLGetSessionMediaInfo(handle, newer, &media));
    EXPECT_EQ(CML_ERR_HANDLE, CMLRegSessionCallBacks(handle, newer, nullptr, nullptr, nullptr, nullptr));

    // The stream's own stop reaches the numbered session too, and forgets its number.
    EXPECT_EQ(CML_OK, CMLStopPreview(handle, 1));
    EXPECT_EQ(CML_ERR_HANDLE, CMLStopPreviewSession(handle, older));
    EXPECT_EQ(CML_ERR_HANDLE, CMLStopPreview(handle, 1));

    int session = -1;
    EXPECT_EQ(CML_ERR_PARAMETER, CMLStartPreviewSession(handle, 1, nullptr));
    EXPECT_EQ(CML_ERR_PARAMETER, CMLStartPreviewSession(handle, -1, &session));
    EXPECT_EQ(session, 0);
    EXPECT_EQ(CML_ERR_NOT_FOUND, CMLStartPreviewSession(handle, 2, &session));
    EXPECT_EQ(CML_ERR_HANDLE, CMLStartPreviewSession(handle + 1000, 1, &session));
    EXPECT_EQ(CML_ERR_PARAMETER, CMLGetSessionMediaInfo(handle, older, nullptr));
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));
}

TEST_F(CamlinkOnvifTest, AnAddressWithAPathKeepsItsStreamWhenTheCameraHasNoServices)
{
    // A services port where nothing answers, beside an address that names its stream: the
    // stream is still shown (slots saved before services existed carry such a port).
    int handle = 0;
    CML_CONNECT_INFO info = Connect(std::string(kCameraAddress) + "/sub");
    ASSERT_EQ(CML_OK, CMLCreateHandle(&handle, &info, 0));
    ASSERT_EQ(CML_OK, CMLLogin(handle, 0));
    ASSERT_EQ(CML_OK, CMLStartPreview(handle, 0, 0, 0));
    CML_MEDIA_INFO media{};
    ASSERT_EQ(CML_OK, CMLGetMediaInfo(handle, 0, &media));
    EXPECT_EQ(media.nWidth, 640);
    int count = -1;
    EXPECT_EQ(CML_ERR_HANDLE, CMLGetProfileCount(handle, &count)) << "no services, no profiles";
    EXPECT_EQ(CML_ERR_HANDLE, CMLPtzControl(handle, 0, CML_PTZ_UP, 1));
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));

    // The path's own credentials are still checked over RTSP.
    info = Connect(std::string(kCameraAddress) + "/sub", "guess");
    ASSERT_EQ(CML_OK, CMLCreateHandle(&handle, &info, 0));
    EXPECT_EQ(CML_ERR_USER, CMLLogin(handle, 0));
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

// Waits until the device printed `count` lines containing text.
bool WaitForCount(testsupport::AlderSimProcess& device, const std::string& text, int count,
                  std::chrono::milliseconds limit = 5s)
{
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (device.CountLines(text) >= count)
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return device.CountLines(text) >= count;
}

TEST_F(CamlinkOnvifTest, EachDirectionPressedAndReleasedSendsOneMoveAndOneStopInOrder)
{
    ASSERT_TRUE(StartDevice("127.0.0.216"));
    int handle = 0;
    EXPECT_EQ(CML_ERR_HANDLE, CMLPtzControl(12345, 0, CML_PTZ_UP, 1));
    CML_CONNECT_INFO info = Connect("127.0.0.216");
    ASSERT_EQ(CML_OK, CMLCreateHandle(&handle, &info, 0));
    EXPECT_EQ(CML_ERR_HANDLE, CMLPtzControl(handle, 0, CML_PTZ_UP, 1)) << "no commands before the login";
    ASSERT_EQ(CML_OK, CMLLogin(handle, 1));

    struct Direction {
        int command;
        const char* line;
    };
    const Direction directions[] = {
        {CML_PTZ_UP, "pan=0.000 tilt=0.500 zoom=0.000"},
        {CML_PTZ_DOWN, "pan=0.000 tilt=-0.500 zoom=0.000"},
        {CML_PTZ_LEFT, "pan=-0.500 tilt=0.000 zoom=0.000"},
        {CML_PTZ_RIGHT, "pan=0.500 tilt=0.000 zoom=0.000"},
        {CML_PTZ_ZOOM_IN, "pan=0.000 tilt=0.000 zoom=0.500"},
        {CML_PTZ_ZOOM_OUT, "pan=0.000 tilt=0.000 zoom=-0.500"},
    };
    int sent = 0;
    for (const Direction& direction : directions) {
        // Both calls return at once: the camera is asked on the library's thread.
        const auto begin = Clock::now();
        ASSERT_EQ(CML_OK, CMLPtzControl(handle, 1, direction.command, 1));
        ASSERT_EQ(CML_OK, CMLPtzControl(handle, 1, direction.command, 0));
        EXPECT_LT(Clock::now() - begin, 50ms);
        ++sent;
        ASSERT_TRUE(WaitForCount(device_, "ptz Stop profile=profile_sub", sent)) << direction.line;
        EXPECT_EQ(device_.CountLines(std::string("ContinuousMove profile=profile_sub ") + direction.line), 1)
            << direction.line;
    }
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(device_.CountLines("ptz ContinuousMove"), 6);
    EXPECT_EQ(device_.CountLines("ptz Stop"), 6);

    // Without an imaging service focus and iris are not served and nothing goes out.
    EXPECT_EQ(CML_ERR_NOT_SERVED, CMLPtzControl(handle, 1, CML_PTZ_FOCUS_FAR, 1));
    EXPECT_EQ(CML_ERR_NOT_SERVED, CMLPtzControl(handle, 1, CML_PTZ_IRIS_OPEN, 1));
    EXPECT_EQ(CML_ERR_PARAMETER, CMLPtzControl(handle, 1, 0, 1));
    EXPECT_EQ(CML_ERR_PARAMETER, CMLPtzControl(handle, 1, CML_PTZ_UP, 2));
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));
    EXPECT_EQ(device_.CountLines("imaging"), 0);
}

TEST_F(CamlinkOnvifTest, PresetNumbersKeepTheCamerasTokenAcrossSetGotoAndClear)
{
    ASSERT_TRUE(StartDevice("127.0.0.217"));
    int handle = 0;
    ASSERT_EQ(CML_OK, LoggedIn("127.0.0.217", 0, handle));
    // Going to a number never set through this login sends nothing.
    EXPECT_EQ(CML_ERR_NOT_FOUND, CMLPtzPreset(handle, 0, CML_PRESET_GOTO, 3));
    EXPECT_EQ(CML_ERR_PARAMETER, CMLPtzPreset(handle, 0, CML_PRESET_SET, 0));
    EXPECT_EQ(CML_ERR_PARAMETER, CMLPtzPreset(handle, 0, CML_PRESET_SET, 256));
    EXPECT_EQ(CML_ERR_PARAMETER, CMLPtzPreset(handle, 0, 7, 3));

    // A go right after the set is queued behind it and uses the token the set brought.
    ASSERT_EQ(CML_OK, CMLPtzPreset(handle, 0, CML_PRESET_SET, 3));
    ASSERT_EQ(CML_OK, CMLPtzPreset(handle, 0, CML_PRESET_GOTO, 3));
    ASSERT_TRUE(device_.WaitForLine("ptz GotoPreset profile=profile_main token=preset_1", 5s));
    EXPECT_EQ(device_.CountLines("ptz SetPreset profile=profile_main name=Preset 3 token=preset_1"), 1);
    ASSERT_EQ(CML_OK, CMLPtzPreset(handle, 0, CML_PRESET_SET, 4));
    ASSERT_TRUE(device_.WaitForLine("name=Preset 4 token=preset_2", 5s));

    // Setting 3 again overwrites the camera's preset instead of adding another.
    ASSERT_EQ(CML_OK, CMLPtzPreset(handle, 0, CML_PRESET_SET, 3));
    ASSERT_TRUE(WaitForCount(device_, "name=Preset 3 token=preset_1", 2));
    ASSERT_EQ(CML_OK, CMLPtzPreset(handle, 0, CML_PRESET_CLEAR, 3));
    ASSERT_TRUE(device_.WaitForLine("ptz RemovePreset profile=profile_main token=preset_1", 5s));
    // Once the clear went through, the number is free again.
    const auto end = Clock::now() + 5s;
    int result = CML_OK;
    while (Clock::now() < end && (result = CMLPtzPreset(handle, 0, CML_PRESET_GOTO, 3)) == CML_OK)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(CML_ERR_NOT_FOUND, result);
    ASSERT_EQ(CML_OK, CMLPtzPreset(handle, 0, CML_PRESET_GOTO, 4));
    ASSERT_TRUE(device_.WaitForLine("ptz GotoPreset profile=profile_main token=preset_2", 5s));
    EXPECT_EQ(device_.CountLines("GotoPreset profile=profile_main token=preset_1"), 1);
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));
}

TEST_F(CamlinkOnvifTest, AFrozenCameraNeitherPilesUpPressesNorHoldsUpTheLogout)
{
    ASSERT_TRUE(StartDevice("127.0.0.209"));
    int handle = 0;
    ASSERT_EQ(CML_OK, LoggedIn("127.0.0.209", 0, handle));
    device_.Signal(SIGSTOP);  // takes connections, answers nothing

    int queued = 0, refused = 0;
    const auto begin = Clock::now();
    for (int i = 0; i < 40; ++i) {
        const int result = CMLPtzControl(handle, 0, CML_PTZ_LEFT, 1);
        if (result == CML_OK)
            ++queued;
        else if (result == CML_ERR_REFUSED)
            ++refused;
    }
    EXPECT_LT(Clock::now() - begin, 200ms) << "the caller waited for the camera";
    // One in flight at most, 32 waiting; the rest refused.
    EXPECT_GE(queued, 32);
    EXPECT_LE(queued, 33);
    EXPECT_EQ(queued + refused, 40);
    // A release still gets in: no move is left without its stop.
    EXPECT_EQ(CML_OK, CMLPtzControl(handle, 0, CML_PTZ_LEFT, 0));

    // The logout ends the call in flight and drops the backlog at once.
    const auto closing = Clock::now();
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));
    EXPECT_LT(Clock::now() - closing, 500ms);
    device_.Signal(SIGCONT);
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(device_.CountLines("ptz ContinuousMove"), 1);
    EXPECT_EQ(device_.CountLines("ptz Stop"), 0);
}

TEST_F(CamlinkOnvifTest, FocusAndIrisGoThroughTheImagingServiceAndACameraWithoutPtzIsNotServed)
{
    ASSERT_TRUE(StartDevice("127.0.0.218", {"--imaging", "--no-ptz"}));
    int handle = 0;
    ASSERT_EQ(CML_OK, LoggedIn("127.0.0.218", 0, handle));
    ASSERT_EQ(CML_OK, CMLPtzControl(handle, 0, CML_PTZ_FOCUS_FAR, 1));
    ASSERT_EQ(CML_OK, CMLPtzControl(handle, 0, CML_PTZ_FOCUS_FAR, 0));
    ASSERT_EQ(CML_OK, CMLPtzControl(handle, 0, CML_PTZ_FOCUS_NEAR, 1));
    ASSERT_EQ(CML_OK, CMLPtzControl(handle, 0, CML_PTZ_FOCUS_NEAR, 0));
    // The iris steps once per press: its release sends nothing.
    ASSERT_EQ(CML_OK, CMLPtzControl(handle, 0, CML_PTZ_IRIS_OPEN, 1));
    ASSERT_EQ(CML_OK, CMLPtzControl(handle, 0, CML_PTZ_IRIS_OPEN, 0));
    ASSERT_EQ(CML_OK, CMLPtzControl(handle, 0, CML_PTZ_IRIS_CLOSE, 1));
    ASSERT_TRUE(WaitForCount(device_, "imaging SetImagingSettings", 2));
    EXPECT_EQ(device_.CountLines("imaging Move focus=0.500"), 1);
    EXPECT_EQ(device_.CountLines("imaging Move focus=-0.500"), 1);
    EXPECT_EQ(device_.CountLines("imaging Stop"), 2);
    // From the camera's -2 dB: one step open, then one closed again, in manual exposure.
    EXPECT_EQ(device_.CountLines("iris=-1.000 mode=MANUAL"), 1);
    EXPECT_EQ(device_.CountLines("iris=-2.000 mode=MANUAL"), 1);

    EXPECT_EQ(CML_ERR_NOT_SERVED, CMLPtzControl(handle, 0, CML_PTZ_LEFT, 1));
    EXPECT_EQ(CML_ERR_NOT_SERVED, CMLPtzPreset(handle, 0, CML_PRESET_SET, 1));
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));
    EXPECT_EQ(device_.CountLines("ptz "), 0);
}

std::string FileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(CamlinkOnvifTest, SnapshotIsTheCamerasOwnPictureOfTheProfileWrittenWhole)
{
    ASSERT_TRUE(StartDevice("127.0.0.219"));
    int handle = 0;
    ASSERT_EQ(CML_OK, LoggedIn("127.0.0.219", 1, handle));
    const fs::path folder = fs::temp_directory_path() / ("camlink-snap-" + std::to_string(getpid()));
    fs::create_directories(folder);

    // Each profile's picture as the camera made it: its bytes, its size, its marker.
    for (const auto& [stream, path] : {std::pair<int, const char*>{1, "sub"}, {0, "main"}}) {
        const fs::path file = folder / (std::string(path) + ".jpg");
        ASSERT_EQ(CML_OK, CMLGetSnapshot(handle, stream, file.c_str())) << path;
        const std::string picture = FileText(file);
        ASSERT_TRUE(device_.WaitForLine("snapshot " + std::string(path) + " served " +
                                            std::to_string(picture.size()) + " bytes", 2s))
            << path << " " << picture.size();
        EXPECT_NE(picture.find("onvif_sim snapshot " + std::string(path)), std::string::npos);
        EXPECT_FALSE(fs::exists(file.string() + ".part"));
    }
    // The main profile's picture is the camera's full 1920x1080, never a decoded stream.
    EXPECT_GT(fs::file_size(folder / "main.jpg"), fs::file_size(folder / "sub.jpg"));

    // A file that cannot be written fails and leaves nothing behind; so does a bad index.
    const fs::path nowhere = folder / "missing" / "x.jpg";
    EXPECT_EQ(CML_ERR_PARAMETER, CMLGetSnapshot(handle, 1, nowhere.c_str()));
    EXPECT_FALSE(fs::exists(folder / "missing"));
    EXPECT_EQ(CML_ERR_NOT_FOUND, CMLGetSnapshot(handle, 7, (folder / "y.jpg").c_str()));
    EXPECT_EQ(CML_ERR_PARAMETER, CMLGetSnapshot(handle, 1, nullptr));
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));

    // A camera that names no snapshot address: not served, no file.
    device_.Stop();
    testsupport::AlderSimProcess without("onvif_sim");
    ASSERT_TRUE(StartDevice(without, "127.0.0.219", {"--no-snapshot"}));
    ASSERT_EQ(CML_OK, LoggedIn("127.0.0.219", 1, handle));
    const fs::path none = folder / "none.jpg";
    EXPECT_EQ(CML_ERR_NOT_SERVED, CMLGetSnapshot(handle, 1, none.c_str()));
    EXPECT_FALSE(fs::exists(none));
    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));
    fs::remove_all(folder);
}

// The latest picture of a preview, decoded as it arrives: its brightness plane only.
struct LivePicture {
    std::mutex lock;
    std::condition_variable changed;
    AVCodecContext* decoder = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int width = 0;
    int height = 0;
    std::vector<unsigned char> luma;  // width x height
    long pictures = 0;

    LivePicture()
    {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
        decoder = avcodec_alloc_context3(codec);
        decoder->thread_count = 1;
        avcodec_open2(decoder, codec, nullptr);
        packet = av_packet_alloc();
        frame = av_frame_alloc();
    }
    ~LivePicture()
    {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
    }

    static void OnVideo(const unsigned char* data, int, int length, int, void* context)
    {
        auto* self = static_cast<LivePicture*>(context);
        std::lock_guard<std::mutex> guard(self->lock);
        if (av_new_packet(self->packet, length) != 0)
            return;
        std::memcpy(self->packet->data, data, static_cast<size_t>(length));
        if (avcodec_send_packet(self->decoder, self->packet) == 0) {
            while (avcodec_receive_frame(self->decoder, self->frame) == 0) {
                self->width = self->frame->width;
                self->height = self->frame->height;
                self->luma.resize(static_cast<size_t>(self->width) * self->height);
                for (int y = 0; y < self->height; ++y)
                    std::memcpy(&self->luma[static_cast<size_t>(y) * self->width],
                                self->frame->data[0] + static_cast<ptrdiff_t>(y) * self->frame->linesize[0],
                                static_cast<size_t>(self->width));
                ++self->pictures;
                self->changed.notify_all();
            }
        }
        av_packet_unref(self->packet);
    }

    // Brightness across the picture, averaged over a band of rows below the burned-in clock:
    // one value per column, taken from a picture decoded at least `later` pictures from now
    // (so it shows what the camera sent after whatever was just commanded).
    std::vector<double> Profile(int later)
    {
        std::unique_lock<std::mutex> guard(lock);
        const long wanted = pictures + later;
        if (!changed.wait_for(guard, 10s, [&] { return pictures >= wanted; }))
            return {};
        std::vector<double> profile(static_cast<size_t>(width), 0.0);
        const int top = height * 35 / 100, bottom = height * 55 / 100;
        for (int y = top; y < bottom; ++y)
            for (int x = 0; x < width; ++x)
                profile[static_cast<size_t>(x)] += luma[static_cast<size_t>(y) * width + x];
        for (double& value : profile)
            value /= bottom - top;
        return profile;
    }
};

// How far the scene moved left from `before` to `after`, in pixels (negative: it moved
// right): the shift that matches the two brightness rows best, with how well it matches
// (mean absolute difference of the overlap, in brightness levels).
std::pair<int, double> SceneShift(const std::vector<double>& before, const std::vector<double>& after)
{
    const int width = static_cast<int>(before.size());
    std::pair<int, double> best{0, 1e9};
    for (int shift = -width / 3; shift <= width / 3; ++shift) {
        double sum = 0;
        int count = 0;
        for (int x = 0; x < width; ++x) {
            if (x + shift < 0 || x + shift >= width)
                continue;
            sum += std::abs(before[static_cast<size_t>(x + shift)] - after[static_cast<size_t>(x)]);
            ++count;
        }
        if (count > 0 && sum / count < best.second)
            best = {shift, sum / count};
    }
    return best;
}

// The pan the camera printed in a line such as "ptz stop at pan=0.250 tilt=0.000 ...".
double PanOf(const std::string& line)
{
    const size_t at = line.find("pan=");
    return at == std::string::npos ? -9.0 : std::atof(line.c_str() + at + 4);
}

TEST(CamlinkOnvifSteering, APanMovesThePictureAndItsPresetBringsItBack)
{
    // A camera of its own, linked to its services through a control socket: every PTZ call
    // the services take moves its picture.
    const std::string control =
        (fs::temp_directory_path() / ("camlink-ptz-" + std::to_string(getpid()) + ".sock")).string();
    testsupport::AlderSimProcess camera("camera_sim");
    ASSERT_TRUE(camera.Start({"--address", "127.0.0.130", "--port", std::to_string(kRtspPort),
                              "--user", "admin", "--password", "s3cret", "--ptz-control", control,
                              "--stream", "sub:h264:none:640x360"},
                             std::chrono::seconds(30)));
    testsupport::AlderSimProcess device("onvif_sim");
    ASSERT_TRUE(device.Start({"--address", "127.0.0.131", "--port", std::to_string(kServicesPort),
                              "--camera", "127.0.0.130:" + std::to_string(kRtspPort),
                              "--camera-control", control}));
    ASSERT_NE(0, CMLLoadLibrary());
    int handle = 0;
    CML_CONNECT_INFO info = Connect("127.0.0.131");
    ASSERT_EQ(CML_OK, CMLCreateHandle(&handle, &info, 0));
    ASSERT_EQ(CML_OK, CMLLogin(handle, 1));
    LivePicture picture;
    ASSERT_EQ(CML_OK, CMLStartPreview(handle, 1, 0, 0));
    ASSERT_EQ(CML_OK, CMLRegVideoPreCallBack(handle, 1, &LivePicture::OnVideo, &picture));

    const std::vector<double> start = picture.Profile(5);
    ASSERT_EQ(start.size(), 640u);
    // The scene holds still while nobody steers it.
    EXPECT_EQ(SceneShift(start, picture.Profile(5)).first, 0);

    ASSERT_EQ(CML_OK, CMLPtzPreset(handle, 1, CML_PRESET_SET, 1));
    ASSERT_TRUE(camera.WaitForLine("ptz stored preset_1 at pan=0.000 tilt=0.000", 5s));

    // Right for about a second: the camera turns right, so the scene slides left by the pan
    // it reached (a pan of 2 sweeps the scene's spare width, one picture width).
    const auto pressed = Clock::now();
    ASSERT_EQ(CML_OK, CMLPtzControl(handle, 1, CML_PTZ_RIGHT, 1));
    ASSERT_TRUE(camera.WaitForLine("ptz move from", 5s));
    std::this_thread::sleep_for(1s);
    ASSERT_EQ(CML_OK, CMLPtzControl(handle, 1, CML_PTZ_RIGHT, 0));
    ASSERT_TRUE(camera.WaitForLine("ptz stop at", 5s));
    const double held = std::chrono::duration<double>(Clock::now() - pressed).count();
    const double pan = PanOf(camera.LastLine("ptz stop at"));
    // Half speed, half a unit a second at full speed: about a quarter unit a second held.
    EXPECT_GT(pan, 0.25 * 0.8) << "held " << held << " s";
    EXPECT_LT(pan, 0.25 * held + 0.02) << "held " << held << " s";

    const std::vector<double> moved = picture.Profile(10);
    ASSERT_EQ(moved.size(), 640u);
    const auto [shift, mismatch] = SceneShift(start, moved);
    EXPECT_NEAR(shift, pan / 2.0 * 640, 4.0) << "pan " << pan;
    EXPECT_LT(mismatch, 6.0) << "the moved picture is not the same scene";
    EXPECT_GT(shift, 40);

    // Back to the preset set before the move: the scene is where it started.
    ASSERT_EQ(CML_OK, CMLPtzPreset(handle, 1, CML_PRESET_GOTO, 1));
    ASSERT_TRUE(camera.WaitForLine("ptz recalled preset_1 at pan=0.000 tilt=0.000", 5s));
    const auto [back, backMismatch] = SceneShift(start, picture.Profile(10));
    EXPECT_EQ(back, 0);
    EXPECT_LT(backMismatch, 6.0);

    EXPECT_EQ(CML_OK, CMLDestroyHandle(handle));
    CMLFreeLibrary();
    EXPECT_EQ(camera.CountLines("ptz ignored"), 0);
    EXPECT_EQ(device.CountLines("did not take"), 0);
}

}  // namespace
