// Black-box tests of libFerrow against the recorder simulator on loopback.
#include "device_sdk/Ferrow/Ferrow.h"
#include "tests/tools/alder_sim/AlderSimProcess.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Everything the callbacks of one preview delivered.
struct Received {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::vector<uint8_t>> frames;
    std::vector<int> keyFlags;
    std::vector<int> audioLengths;
    std::vector<int> audioRestarts;
    std::vector<Clock::time_point> audioTimes;
    std::vector<uint8_t> firstAudioBlock;
    std::vector<int> statuses;
    std::vector<FRW_MEDIA_INFO> formats;
    size_t framesAtFirstFormat = 0;

    bool WaitFor(std::chrono::milliseconds timeout, const std::function<bool()>& done)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, timeout, done);
    }
    size_t FrameCount()
    {
        std::lock_guard<std::mutex> guard(lock);
        return frames.size();
    }
};

void OnVideo(const unsigned char* frame, int keyFrame, int length, int, void* context)
{
    auto* received = static_cast<Received*>(context);
    std::lock_guard<std::mutex> guard(received->lock);
    received->frames.emplace_back(frame, frame + length);
    received->keyFlags.push_back(keyFrame);
    received->changed.notify_all();
}

void OnAudio(const unsigned char* block, int length, int, void* context, int, int restart)
{
    auto* received = static_cast<Received*>(context);
    std::lock_guard<std::mutex> guard(received->lock);
    if (received->firstAudioBlock.empty())
        received->firstAudioBlock.assign(block, block + length);
    received->audioLengths.push_back(length);
    received->audioRestarts.push_back(restart);
    received->audioTimes.push_back(Clock::now());
    received->changed.notify_all();
}

void OnStatus(int status, const void* data, int length, void* context)
{
    auto* received = static_cast<Received*>(context);
    std::lock_guard<std::mutex> guard(received->lock);
    received->statuses.push_back(status);
    if (status == FRW_STATUS_FORMAT_CHANGED && data && length == 16) {
        FRW_MEDIA_INFO info;
        std::memcpy(&info, data, sizeof(info));
        if (received->formats.empty())
            received->framesAtFirstFormat = received->frames.size();
        received->formats.push_back(info);
    }
    received->changed.notify_all();
}

FRW_CONNECT_INFO ConnectBlock(const char* address, unsigned short port)
{
    FRW_CONNECT_INFO block{};
    std::memcpy(block.szAddress, address, std::min(std::strlen(address), sizeof(block.szAddress)));
    block.wPort = port;
    block.dwMediaPort = port + 1u;
    return block;
}

// User block as the live client fills it: texts cut to the field, no NUL when they fill it.
FRW_USER_INFO UserBlock(const std::string& user, const std::string& password)
{
    FRW_USER_INFO block{};
    std::memcpy(block.szUser, user.data(), std::min<size_t>(user.size(), 12));
    std::memcpy(block.szPassword, password.data(), std::min<size_t>(password.size(), 12));
    return block;
}

// Decodes frames with libavcodec as an independent check of the stream.
class Decoder {
public:
    Decoder()
    {
        context_ = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_MPEG4));
        avcodec_open2(context_, avcodec_find_decoder(AV_CODEC_ID_MPEG4), nullptr);
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
    }
    ~Decoder()
    {
        avcodec_free_context(&context_);
        av_packet_free(&packet_);
        av_frame_free(&frame_);
    }
    // Width and height of the decoded picture; 0 when nothing came out.
    std::pair<int, int> Decode(const std::vector<uint8_t>& frame)
    {
        packet_->data = const_cast<uint8_t*>(frame.data());
        packet_->size = static_cast<int>(frame.size());
        if (avcodec_send_packet(context_, packet_) < 0)
            return {0, 0};
        if (avcodec_receive_frame(context_, frame_) < 0)
            return {0, 0};
        return {frame_->width, frame_->height};
    }
    // One row of the luma plane of the last decoded picture.
    std::vector<uint8_t> LumaRow(int y) const
    {
        const uint8_t* row = frame_->data[0] + y * frame_->linesize[0];
        return std::vector<uint8_t>(row, row + frame_->width);
    }

private:
    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
};

// One 256-byte IMA ADPCM block decoded by libavcodec.
std::vector<int16_t> DecodeAdpcm(const std::vector<uint8_t>& block)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ADPCM_IMA_WAV);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->sample_rate = 8000;
    av_channel_layout_default(&context->ch_layout, 1);
    context->block_align = static_cast<int>(block.size());
    context->bits_per_coded_sample = 4;
    std::vector<int16_t> samples;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    packet->data = const_cast<uint8_t*>(block.data());
    packet->size = static_cast<int>(block.size());
    if (avcodec_open2(context, codec, nullptr) == 0 && avcodec_send_packet(context, packet) == 0 &&
        avcodec_receive_frame(context, frame) == 0) {
        const auto* planar = reinterpret_cast<const int16_t*>(frame->data[0]);
        samples.assign(planar, planar + frame->nb_samples);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return samples;
}

class FerrowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(FRWLoadLibrary(6000, 1), 0); }
    void TearDown() override
    {
        FRWFreeLibrary();
        sim_.Stop();
    }
    void StartSim(const char* address, std::vector<std::string> extra = {})
    {
        std::vector<std::string> arguments = {"--address", address, "--port", "8000",
                                              "--no-recordings"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ASSERT_TRUE(sim_.Start(arguments));
    }
    int Login(const char* address, const std::string& user = "admin",
              const std::string& password = "12345")
    {
        FRW_CONNECT_INFO connect = ConnectBlock(address, 8000);
        FRW_USER_INFO credentials = UserBlock(user, password);
        int handle = -7;
        int result = FRWCreateHandle(&handle, &connect, &credentials, 0);
        EXPECT_EQ(result, FRW_OK);
        EXPECT_NE(handle, 0);
        return result == FRW_OK ? handle : 0;
    }
    void Preview(int handle, int channel, Received& received)
    {
        ASSERT_EQ(FRWStartPreview(handle, channel, 0, 0), FRW_OK);
        ASSERT_EQ(FRWRegConnectStatusCallBack(handle, channel, OnStatus, &received), FRW_OK);
        ASSERT_EQ(FRWRegVideoPreCallBack(handle, channel, OnVideo, &received), FRW_OK);
        ASSERT_EQ(FRWRegAudioPreCallBack(handle, channel, OnAudio, &received), FRW_OK);
    }

    // What the callbacks of a preview deliver into. The fixture owns it, so a preview that a
    // test leaves running (or that an early failed assertion leaves running) still delivers
    // into a live object until TearDown frees the library.
    Received& NewReceived() { return received_.emplace_back(); }

    testsupport::AlderSimProcess sim_;
    std::list<Received> received_;
};

TEST_F(FerrowTest, LoginChecksCredentialsAndFramesAndSoundArriveAtPace)
{
    // A user name of exactly 12 characters travels without a terminating NUL.
    StartSim("127.0.0.21", {"--user", "operator1234", "--password", "secret", "--channels", "4"});
    FRW_CONNECT_INFO connect = ConnectBlock("127.0.0.21", 8000);
    FRW_USER_INFO wrong = UserBlock("operator1234", "guess");
    int handle = -7;
    EXPECT_EQ(FRWCreateHandle(&handle, &connect, &wrong, 0), FRW_ERR_USER);
    EXPECT_EQ(handle, 0);
    handle = Login("127.0.0.21", "operator1234", "secret");
    ASSERT_NE(handle, 0);

    EXPECT_EQ(FRWStartPreview(handle, 5, 0, 0), FRW_ERR_NO_SOURCE);
    Received& received = NewReceived();
    Preview(handle, 2, received);
    FRW_MEDIA_INFO info{};
    ASSERT_EQ(FRWGetMediaInfo(handle, 2, &info), FRW_OK);
    EXPECT_EQ(info.nWidth, 352);
    EXPECT_EQ(info.nHeight, 288);
    EXPECT_EQ(info.nCompressor, FRW_COMPRESSOR_MPEG4);
    EXPECT_EQ(info.nFrameRate, 15);

    ASSERT_TRUE(received.WaitFor(6s, [&] {
        return received.frames.size() >= 40 && received.audioTimes.size() >= 34;
    }));
    ASSERT_EQ(FRWStopPreview(handle, 2), FRW_OK);
    const size_t framesAtStop = received.FrameCount();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(received.FrameCount(), framesAtStop) << "a callback ran after the preview stopped";
    EXPECT_EQ(FRWStopPreview(handle, 2), FRW_ERR_HANDLE);
    EXPECT_EQ(FRWDestroyHandle(handle), FRW_OK);
    EXPECT_EQ(FRWDestroyHandle(handle), FRW_ERR_HANDLE);

    std::lock_guard<std::mutex> guard(received.lock);
    Decoder decoder;
    size_t first = 0;
    while (first < received.frames.size() && !received.keyFlags[first])
        ++first;
    int decoded = 0;
    std::vector<size_t> keys;
    for (size_t i = first; i < received.frames.size(); ++i) {
        auto size = decoder.Decode(received.frames[i]);
        decoded += size == std::make_pair(352, 288);
        if (received.keyFlags[i])
            keys.push_back(i);
    }
    EXPECT_GE(decoded, static_cast<int>(received.frames.size() - first) - 1);
    ASSERT_GE(keys.size(), 2u);
    EXPECT_EQ(keys[1] - keys[0], 15u) << "a key frame every second";

    for (int length : received.audioLengths)
        EXPECT_EQ(length, 256);
    // An outside IMA ADPCM decoder hears the channel's tone: 400 Hz on the third channel.
    std::vector<int16_t> pcm = DecodeAdpcm(received.firstAudioBlock);
    ASSERT_EQ(pcm.size(), 505u);
    int peak = 0, crossings = 0;
    for (size_t i = 1; i < pcm.size(); ++i) {
        peak = std::max(peak, std::abs(int(pcm[i])));
        crossings += (pcm[i - 1] < 0) != (pcm[i] < 0);
    }
    EXPECT_NEAR(peak, 8000, 1500);
    EXPECT_NEAR(crossings, 2 * 400 * 505 / 8000, 3);
    // 32 blocks of 505 samples at 8 kHz take 2.02 s.
    double seconds = std::chrono::duration<double>(received.audioTimes[33] -
                                                   received.audioTimes[1]).count();
    EXPECT_NEAR(seconds, 2.02, 0.3);
}

TEST_F(FerrowTest, FormatAndSoundBlockChangesReachTheCallbacks)
{
    StartSim("127.0.0.22");
    int handle = Login("127.0.0.22");
    Received& received = NewReceived();
    Preview(handle, 0, received);
    ASSERT_TRUE(received.WaitFor(3s, [&] { return received.frames.size() >= 5; }));

    sim_.Command("format 1 704x576");
    sim_.Command("audio 1 1024");
    ASSERT_TRUE(received.WaitFor(3s, [&] { return !received.formats.empty(); }));
    size_t changedAt = 0;
    {
        std::lock_guard<std::mutex> guard(received.lock);
        EXPECT_EQ(received.statuses, std::vector<int>{FRW_STATUS_FORMAT_CHANGED});
        EXPECT_EQ(received.formats[0].nWidth, 704);
        EXPECT_EQ(received.formats[0].nHeight, 576);
        EXPECT_EQ(received.formats[0].nCompressor, FRW_COMPRESSOR_MPEG4);
        changedAt = received.framesAtFirstFormat;
    }
    FRW_MEDIA_INFO info{};
    ASSERT_EQ(FRWGetMediaInfo(handle, 0, &info), FRW_OK);
    EXPECT_EQ(info.nWidth, 704);
    ASSERT_TRUE(received.WaitFor(3s, [&] {
        return received.frames.size() >= changedAt + 5 && !received.audioLengths.empty() &&
               received.audioLengths.back() == 1024;
    }));
    std::lock_guard<std::mutex> guard(received.lock);
    // The first frame after the report is a key frame of the new size.
    ASSERT_TRUE(received.keyFlags[changedAt]);
    Decoder decoder;
    for (size_t i = changedAt; i < received.frames.size(); ++i)
        EXPECT_EQ(decoder.Decode(received.frames[i]), std::make_pair(704, 576)) << "frame " << i;
    auto firstLarge = std::find(received.audioLengths.begin(), received.audioLengths.end(), 1024);
    EXPECT_EQ(received.audioRestarts[size_t(firstLarge - received.audioLengths.begin())], 1);
    EXPECT_EQ(received.audioRestarts.back(), 0);
}

// The PTZ payload as the live client builds it.
std::vector<unsigned char> PtzPayload(int channel, int code, int start, const std::string& user)
{
    std::vector<unsigned char> payload(FRW_PTZ_PAYLOAD_BYTES, 0);
    payload[2] = static_cast<unsigned char>(channel);
    payload[3] = static_cast<unsigned char>(code);
    payload[4] = static_cast<unsigned char>(start);
    unsigned short check = FRWCalculateCrc(payload.data() + 2, 3);
    payload[0] = static_cast<unsigned char>(check >> 8);
    payload[1] = static_cast<unsigned char>(check & 0xFF);
    std::memcpy(payload.data() + 5, user.data(), std::min<size_t>(user.size(), 49));
    return payload;
}

TEST_F(FerrowTest, PtzRequestAcceptedOnlyWithTheRightCheckValue)
{
    const unsigned char check[] = "123456789";
    EXPECT_EQ(FRWCalculateCrc(check, 9), 0x29B1);

    StartSim("127.0.0.23");
    int handle = Login("127.0.0.23");
    auto right = PtzPayload(1, 11, 1, "admin");
    EXPECT_EQ(FRWRequestEx(handle, 1, FRW_REQUEST_PTZ, FRW_REQUEST_PTZ_SUB, right.data(), 55, 0,
                           0, 0, 0),
              FRW_OK);
    EXPECT_TRUE(sim_.WaitForLine("ptz channel=2 code=11 start=1 accepted", 2s));

    auto corrupted = right;
    corrupted[1] ^= 0x01;
    EXPECT_EQ(FRWRequestEx(handle, 1, FRW_REQUEST_PTZ, FRW_REQUEST_PTZ_SUB, corrupted.data(), 55,
                           0, 0, 0, 0),
              FRW_ERR_REFUSED);
    EXPECT_TRUE(sim_.WaitForLine("refused: check value", 2s));
    auto stranger = PtzPayload(1, 14, 1, "intruder");
    EXPECT_EQ(FRWRequestEx(handle, 1, FRW_REQUEST_PTZ, FRW_REQUEST_PTZ_SUB, stranger.data(), 55,
                           0, 0, 0, 0),
              FRW_ERR_REFUSED);
    EXPECT_EQ(FRWRequestEx(handle, 1, 0x42, 1, right.data(), 55, 0, 0, 0, 0), FRW_ERR_REFUSED);
}

// How far the picture content moved left between two rows of consecutive pictures: the
// shift that best maps the second row onto the first.
int ContentShift(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after)
{
    int best = -1;
    long bestCost = 0;
    for (int shift = 0; shift <= 40; ++shift) {
        long cost = 0;
        for (int x = 0; x + shift < static_cast<int>(before.size()) && x < 300; ++x)
            cost += std::abs(after[size_t(x)] - before[size_t(x + shift)]);
        if (best < 0 || cost < bestCost) {
            best = shift;
            bestCost = cost;
        }
    }
    return best;
}

TEST_F(FerrowTest, PanRequestMovesThePicture)
{
    StartSim("127.0.0.26");
    int handle = Login("127.0.0.26");
    Received& received = NewReceived();
    Preview(handle, 0, received);
    ASSERT_TRUE(received.WaitFor(3s, [&] { return received.frames.size() >= 8; }));
    const size_t beforePan = received.FrameCount();
    auto panRight = PtzPayload(0, 11, 1, "admin");
    ASSERT_EQ(FRWRequestEx(handle, 0, FRW_REQUEST_PTZ, FRW_REQUEST_PTZ_SUB, panRight.data(), 55, 0,
                           0, 0, 0),
              FRW_OK);
    const size_t panStarted = received.FrameCount();
    ASSERT_TRUE(received.WaitFor(3s, [&] { return received.frames.size() >= panStarted + 16; }));
    ASSERT_EQ(FRWStopPreview(handle, 0), FRW_OK);

    std::lock_guard<std::mutex> guard(received.lock);
    Decoder decoder;
    std::vector<std::vector<uint8_t>> rows;
    size_t first = 0;
    while (!received.keyFlags.at(first))
        ++first;
    for (size_t i = first; i < received.frames.size(); ++i) {
        ASSERT_EQ(decoder.Decode(received.frames[i]).first, 352);
        rows.push_back(decoder.LumaRow(200));  // below the burned-in clock
    }
    // The pattern drifts 2 pixels a frame on its own; panning right adds 4.
    for (size_t i = first + 1; i < beforePan; ++i)
        EXPECT_EQ(ContentShift(rows[i - 1 - first], rows[i - first]), 2) << "frame " << i;
    // Frames already on their way when the request was answered still drift at 2.
    for (size_t i = panStarted + 8; i < received.frames.size(); ++i)
        EXPECT_EQ(ContentShift(rows[i - 1 - first], rows[i - first]), 6) << "frame " << i;
}

TEST_F(FerrowTest, DroppedConnectionIsReportedOncePerChannelAndPreviewCanStartAgain)
{
    StartSim("127.0.0.24");
    int handle = Login("127.0.0.24");
    Received& first = NewReceived();
    Received& second = NewReceived();
    Preview(handle, 0, first);
    Preview(handle, 7, second);
    ASSERT_TRUE(first.WaitFor(3s, [&] { return first.frames.size() >= 3; }));
    ASSERT_TRUE(second.WaitFor(3s, [&] { return second.frames.size() >= 3; }));

    sim_.Command("drop");
    ASSERT_TRUE(first.WaitFor(3s, [&] { return !first.statuses.empty(); }));
    ASSERT_TRUE(second.WaitFor(3s, [&] { return !second.statuses.empty(); }));
    std::this_thread::sleep_for(1500ms);
    {
        std::lock_guard<std::mutex> a(first.lock), b(second.lock);
        EXPECT_EQ(first.statuses, std::vector<int>{FRW_STATUS_CONNECTION_LOST});
        EXPECT_EQ(second.statuses, std::vector<int>{FRW_STATUS_CONNECTION_LOST});
    }
    auto payload = PtzPayload(0, 14, 1, "admin");
    EXPECT_EQ(FRWRequestEx(handle, 0, FRW_REQUEST_PTZ, FRW_REQUEST_PTZ_SUB, payload.data(), 55, 0,
                           0, 0, 0),
              FRW_ERR_TIMEOUT);

    // The device is back: a new preview on the same handle logs in again.
    EXPECT_EQ(FRWStopPreview(handle, 0), FRW_OK);
    EXPECT_EQ(FRWStopPreview(handle, 7), FRW_OK);
    Received& again = NewReceived();
    Preview(handle, 0, again);
    EXPECT_TRUE(again.WaitFor(3s, [&] { return again.frames.size() >= 3; }));
    EXPECT_EQ(FRWRequestEx(handle, 0, FRW_REQUEST_PTZ, FRW_REQUEST_PTZ_SUB, payload.data(), 55, 0,
                           0, 0, 0),
              FRW_OK);
}

TEST_F(FerrowTest, SameChannelPreviewedTwiceFeedsBothAndStopsTheOldestFirst)
{
    StartSim("127.0.0.28");
    int handle = Login("127.0.0.28");
    Received& older = NewReceived();
    Received& newer = NewReceived();
    Preview(handle, 3, older);
    Preview(handle, 3, newer);
    ASSERT_TRUE(older.WaitFor(3s, [&] { return older.frames.size() >= 3; }));
    ASSERT_TRUE(newer.WaitFor(3s, [&] { return newer.frames.size() >= 3; }));
    ASSERT_EQ(FRWStopPreview(handle, 3), FRW_OK);
    const size_t olderAtStop = older.FrameCount();
    const size_t newerAtStop = newer.FrameCount();
    EXPECT_TRUE(newer.WaitFor(2s, [&] { return newer.frames.size() >= newerAtStop + 5; }));
    EXPECT_EQ(older.FrameCount(), olderAtStop);
    ASSERT_EQ(FRWStopPreview(handle, 3), FRW_OK);
    EXPECT_EQ(FRWStopPreview(handle, 3), FRW_ERR_HANDLE);
}

// A device that answers every message on a port with the same bytes.
class ScriptedDevice {
public:
    ScriptedDevice(const char* address, uint16_t port, std::vector<uint8_t> answer)
        : answer_(std::move(answer))
    {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(port);
        inet_pton(AF_INET, address, &local.sin_addr);
        EXPECT_EQ(bind(listen_, reinterpret_cast<sockaddr*>(&local), sizeof(local)), 0);
        listen(listen_, 4);
        thread_ = std::thread([this] {
            int fd;
            while ((fd = accept(listen_, nullptr, nullptr)) >= 0) {
                uint8_t request[256];
                if (recv(fd, request, sizeof(request), 0) > 0)
                    send(fd, answer_.data(), answer_.size(), MSG_NOSIGNAL);
                connections_.push_back(fd);
            }
        });
    }
    ~ScriptedDevice()
    {
        shutdown(listen_, SHUT_RDWR);
        close(listen_);
        thread_.join();
        for (int fd : connections_)
            close(fd);
    }

private:
    std::vector<uint8_t> answer_;
    int listen_ = -1;
    std::thread thread_;
    std::vector<int> connections_;  // accept thread only, until joined
};

std::vector<uint8_t> Message(uint8_t type, uint32_t length, std::vector<uint8_t> payload)
{
    std::vector<uint8_t> bytes = {type, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(length >> (8 * i)));
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

TEST_F(FerrowTest, HostileDeviceAnswersAreRefusedNotTrusted)
{
    FRW_USER_INFO user = UserBlock("admin", "12345");
    int handle = -7;
    {
        // A login answer announcing a 4 GiB payload.
        ScriptedDevice device("127.0.0.27", 8000, Message(0x81, 0xFFFFFFF0u, {}));
        FRW_CONNECT_INFO connect = ConnectBlock("127.0.0.27", 8000);
        EXPECT_EQ(FRWCreateHandle(&handle, &connect, &user, 0), FRW_ERR_PROTOCOL);
        EXPECT_EQ(handle, 0);
    }
    {
        // An answer of the wrong type, and one too short to hold a session.
        ScriptedDevice wrongType("127.0.0.27", 8100, Message(0x82, 4, {0, 0, 0, 0}));
        FRW_CONNECT_INFO connect = ConnectBlock("127.0.0.27", 8100);
        EXPECT_EQ(FRWCreateHandle(&handle, &connect, &user, 0), FRW_ERR_PROTOCOL);
        ScriptedDevice shortAnswer("127.0.0.27", 8200, Message(0x81, 2, {0, 0}));
        connect = ConnectBlock("127.0.0.27", 8200);
        EXPECT_EQ(FRWCreateHandle(&handle, &connect, &user, 0), FRW_ERR_PROTOCOL);
    }
    {
        // A login that succeeds, then a media open accepted without its media information.
        ScriptedDevice control("127.0.0.27", 8300,
                               Message(0x81, 12, {0, 0, 0, 0, 1, 0, 0, 0, 24, 0, 0, 0}));
        ScriptedDevice media("127.0.0.27", 8301, Message(0x82, 4, {0, 0, 0, 0}));
        FRW_CONNECT_INFO connect = ConnectBlock("127.0.0.27", 8300);
        ASSERT_EQ(FRWCreateHandle(&handle, &connect, &user, 0), FRW_OK);
        EXPECT_EQ(FRWStartPreview(handle, 0, 0, 0), FRW_ERR_PROTOCOL);
        EXPECT_EQ(FRWDestroyHandle(handle), FRW_OK);
    }
}

TEST_F(FerrowTest, CallsWithoutLibraryDeviceOrHandleFailCleanly)
{
    FRW_CONNECT_INFO connect = ConnectBlock("127.0.0.25", 8000);
    FRW_USER_INFO user = UserBlock("admin", "12345");
    int handle = -7;
    FRWFreeLibrary();
    EXPECT_EQ(FRWCreateHandle(&handle, &connect, &user, 0), FRW_ERR_NOT_LOADED);
    ASSERT_NE(FRWLoadLibrary(6000, 1), 0);
    EXPECT_EQ(FRWCreateHandle(nullptr, &connect, &user, 0), FRW_ERR_PARAMETER);
    EXPECT_EQ(FRWCreateHandle(&handle, nullptr, &user, 0), FRW_ERR_PARAMETER);
    const auto start = Clock::now();
    EXPECT_EQ(FRWCreateHandle(&handle, &connect, &user, 0), FRW_ERR_TIMEOUT);  // nobody listens
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(handle, 0);
    FRW_MEDIA_INFO info;
    EXPECT_EQ(FRWStartPreview(12345, 0, 0, 0), FRW_ERR_HANDLE);
    EXPECT_EQ(FRWGetMediaInfo(12345, 0, &info), FRW_ERR_HANDLE);
    EXPECT_EQ(FRWRegVideoPreCallBack(12345, 0, OnVideo, nullptr), FRW_ERR_HANDLE);
    EXPECT_EQ(FRWStopPreview(12345, 30), FRW_ERR_PARAMETER);
}

}  // namespace
