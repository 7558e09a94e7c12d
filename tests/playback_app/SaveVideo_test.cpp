// Save video: recordings with sound, in every codec the suite records, copied into MP4 files
// that are then read back with libavformat and libavcodec as any player would read them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "platform/Files.h"
#include "playback_app/Mp4Remux.h"
#include "record_file_library/Stordane.h"
#include "tests/player_engine/support/AviBuilder.h"
#include "tests/player_engine/support/Ffmpeg.h"
#include "tests/support/TempDriveTable.h"

using lumaro::RemuxResult;
using lumaro::RemuxToMp4;

namespace {

constexpr int kFps = 15;
constexpr int kSeconds = 3;
constexpr int kFrames = kFps * kSeconds;

// What a player finds in a file: its first video stream and its first sound stream.
struct Contents {
  bool opened = false;
  AVCodecID video = AV_CODEC_ID_NONE;
  std::uint32_t videoTag = 0;
  int videoPackets = 0;
  // Presentation times (seconds) of the decoded pictures, in the order the decoder shows them.
  std::vector<double> shownAt;
  AVCodecID sound = AV_CODEC_ID_NONE;
  double soundStart = 0;
  double soundSeconds = 0;  // the stream's duration as the container states it
  double decodedSoundSeconds = 0;
};

void Receive(AVCodecContext* decoder, AVFrame* frame, const AVStream* stream, Contents& contents) {
  while (avcodec_receive_frame(decoder, frame) >= 0) {
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      contents.shownAt.push_back(static_cast<double>(frame->best_effort_timestamp) * av_q2d(stream->time_base));
    } else {
      contents.decodedSoundSeconds += static_cast<double>(frame->nb_samples) / frame->sample_rate;
    }
    av_frame_unref(frame);
  }
}

Contents Read(const std::string& path) {
  Contents contents;
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return contents;
  if (avformat_find_stream_info(input, nullptr) < 0) {
    avformat_close_input(&input);
    return contents;
  }
  contents.opened = true;
  const int video = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int sound = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  std::vector<AVCodecContext*> decoders(input->nb_streams, nullptr);
  for (int index : {video, sound}) {
    if (index < 0) continue;
    const AVStream* stream = input->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, stream->codecpar);
    decoder->pkt_timebase = stream->time_base;
    if (avcodec_open2(decoder, codec, nullptr) < 0) avcodec_free_context(&decoder);
    decoders[static_cast<std::size_t>(index)] = decoder;
  }
  if (video >= 0) {
    contents.video = input->streams[video]->codecpar->codec_id;
    contents.videoTag = input->streams[video]->codecpar->codec_tag;
  }
  if (sound >= 0) {
    const AVStream* stream = input->streams[sound];
    contents.sound = stream->codecpar->codec_id;
    if (stream->start_time != AV_NOPTS_VALUE) contents.soundStart = stream->start_time * av_q2d(stream->time_base);
    if (stream->duration != AV_NOPTS_VALUE) contents.soundSeconds = stream->duration * av_q2d(stream->time_base);
  }
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  while (av_read_frame(input, packet) >= 0) {
    AVCodecContext* decoder = decoders[static_cast<std::size_t>(packet->stream_index)];
    if (packet->stream_index == video && packet->size > 0) ++contents.videoPackets;
    if (decoder && avcodec_send_packet(decoder, packet) >= 0)
      Receive(decoder, frame, input->streams[packet->stream_index], contents);
    av_packet_unref(packet);
  }
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    if (!decoders[i]) continue;
    avcodec_send_packet(decoders[i], nullptr);
    Receive(decoders[i], frame, input->streams[i], contents);
    avcodec_free_context(&decoders[i]);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avformat_close_input(&input);
  return contents;
}

// The MP4 holds every picture of the recording once, shown one frame interval apart from 0 on,
// and the sound as AAC as long as the recording's own, starting with the pictures.
void ExpectSavedAsMp4(const Contents& saved, const Contents& recording, AVCodecID video) {
  ASSERT_TRUE(saved.opened);
  EXPECT_EQ(saved.video, video);
  EXPECT_EQ(saved.videoPackets, recording.videoPackets);
  ASSERT_EQ(saved.shownAt.size(), static_cast<std::size_t>(recording.videoPackets)) << "pictures that decode";
  int misplaced = -1;
  for (std::size_t i = 0; i < saved.shownAt.size() && misplaced < 0; ++i)
    if (std::fabs(saved.shownAt[i] - static_cast<double>(i) / kFps) > 0.002) misplaced = static_cast<int>(i);
  EXPECT_EQ(misplaced, -1) << "picture shown at " << saved.shownAt[static_cast<std::size_t>(std::max(misplaced, 0))]
                           << " s";
  EXPECT_EQ(saved.sound, AV_CODEC_ID_AAC);
  EXPECT_GT(recording.decodedSoundSeconds, 1.0);
  EXPECT_NEAR(saved.soundSeconds, recording.decodedSoundSeconds, 0.2);
  EXPECT_NEAR(saved.decodedSoundSeconds, recording.decodedSoundSeconds, 0.2);
  EXPECT_NEAR(saved.soundStart, 0.0, 0.05);
}

// An AVI of `seconds` of pictures in `video` ("xvid", "mjpeg", "h264" or "hevc", the last two
// with their parameter sets before every key frame as cameras send them) and `soundSeconds` of a tone as
// 8 kHz mono IMA ADPCM in 256-byte blocks, made by the ffmpeg encoders.
bool MakeRecording(const std::string& path, const std::string& video, int bframes, int gop, double soundSeconds) {
  std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=352x288:rate=" +
                        std::to_string(kFps) + " -f lavfi -i sine=frequency=440:sample_rate=8000:duration=" +
                        std::to_string(soundSeconds) + " -t " + std::to_string(kSeconds);
  if (video == "h264")
    command += " -c:v libx264 -preset veryfast -pix_fmt yuv420p -x264-params repeat-headers=1 -vtag H264 -bf " +
               std::to_string(bframes) + " -g " + std::to_string(gop) + " -sc_threshold 0";
  else if (video == "hevc")
    command += " -c:v libx265 -preset ultrafast -pix_fmt yuv420p -vtag HEVC -x265-params log-level=error:bframes=" +
               std::to_string(bframes) + ":repeat-headers=1:keyint=" + std::to_string(gop) +
               ":min-keyint=" + std::to_string(gop) + ":scenecut=0:open-gop=0";
  else if (video == "mjpeg")
    command += " -c:v mjpeg -pix_fmt yuvj420p -q:v 4 -vtag MJPG";
  else
    command += " -c:v mpeg4 -vtag XVID -q:v 5 -g " + std::to_string(gop);
  command += " -c:a adpcm_ima_wav -block_size 256 -ar 8000 -ac 1 '" + path + "' && echo ok";
  return pellix::test::RunCommand(command).find("ok") != std::string::npos;
}

AVCodecID CodecOf(const std::string& video) {
  if (video == "mjpeg") return AV_CODEC_ID_MJPEG;
  return video == "h264" ? AV_CODEC_ID_H264 : video == "hevc" ? AV_CODEC_ID_HEVC : AV_CODEC_ID_MPEG4;
}

struct Recording {
  const char* video;
  int bframes;
};

class SaveVideoTest : public ::testing::TestWithParam<Recording> {
 protected:
  suite::test::TempDriveTable drives_{"CD"};
};

// Recordings as the ffmpeg encoders make them, with 8 kHz IMA ADPCM sound in 256-byte blocks.
TEST_P(SaveVideoTest, PicturesAreCopiedAndTheSoundIsCarriedAsAac) {
  const Recording recording = GetParam();
  const std::string source = drives_.folder() + "/recording.avi";
  // The sound ends before the pictures: its own length counts.
  if (!MakeRecording(source, recording.video, recording.bframes, 12, 2.5)) {
    GTEST_SKIP() << "ffmpeg cannot make " << recording.video;
  }
  const std::string target = drives_.folder() + "/saved.mp4";
  ASSERT_EQ(RemuxToMp4(source, target), RemuxResult::Done);
  EXPECT_FALSE(platform::Exists(target + ".part"));
  const Contents original = Read(source);
  ASSERT_EQ(original.videoPackets, kFrames);
  EXPECT_NEAR(original.decodedSoundSeconds, 2.5, 0.1);
  const Contents saved = Read(target);
  ExpectSavedAsMp4(saved, original, CodecOf(recording.video));
  if (CodecOf(recording.video) == AV_CODEC_ID_HEVC) {
    EXPECT_EQ(saved.videoTag, MKTAG('h', 'v', 'c', '1'));
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, SaveVideoTest,
                         ::testing::Values(Recording{"xvid", 0}, Recording{"mjpeg", 0}, Recording{"h264", 0},
                                           Recording{"h264", 2}, Recording{"hevc", 3}),
                         [](const ::testing::TestParamInfo<Recording>& info) {
                           return std::string(info.param.video) + "_b" + std::to_string(info.param.bframes);
                         });

// A recording written by the record-file library as the live client writes a network camera's:
// the pictures and the sound blocks of an encoded recording, interleaved one by one.
TEST(SaveVideo, RecordingOfTheRecordFileLibrary) {
  suite::test::TempDriveTable drives("CD");
  const std::string encoded = drives.folder() + "/encoded.avi";
  if (!MakeRecording(encoded, "hevc", 2, 15, kSeconds)) {
    GTEST_SKIP() << "ffmpeg cannot make H.265";
  }

  constexpr int kSlot = 7;
  platform::CreateFolderTree("D:\\video\\2026_12_10\\01\\10");
  const std::string recording = "D:\\video\\2026_12_10\\01\\10\\2026-12-10-100000 M101.avi";
  OxSetCapCompression(kSlot, OX_COMPRESSION_H265);
  OxSetCapSize(kSlot, 352, 288);
  OxSetCapFrmRate(kSlot, kFps);
  ASSERT_EQ(OxCreateAVIFile(kSlot, recording.c_str()), 0u);
  AVFormatContext* input = nullptr;
  ASSERT_GE(avformat_open_input(&input, encoded.c_str(), nullptr, nullptr), 0);
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(input, packet) >= 0) {
    const bool picture = input->streams[packet->stream_index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    int type = OX_FRAME_AUDIO;
    if (picture) type = (packet->flags & AV_PKT_FLAG_KEY) ? OX_FRAME_VIDEO_KEY : OX_FRAME_VIDEO_DELTA;
    EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, packet->data, packet->size, type), 0u);
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&input);
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);

  const std::string target = "C:\\saved.mp4";
  ASSERT_EQ(RemuxToMp4(recording, target), RemuxResult::Done);
  const Contents original = Read(drives.Host(recording));
  ASSERT_EQ(original.videoPackets, kFrames);
  const Contents saved = Read(drives.Host(target));
  ExpectSavedAsMp4(saved, original, AV_CODEC_ID_HEVC);
  EXPECT_EQ(saved.videoTag, MKTAG('h', 'v', 'c', '1'));
  // Saving again onto the same name keeps the first copy.
  const std::int64_t size = platform::FileSize(target);
  EXPECT_EQ(RemuxToMp4(recording, target), RemuxResult::TargetExists);
  EXPECT_EQ(platform::FileSize(target), size);
}

// A WMV9 recording: MP4 cannot hold its pictures, and its sound alone is no saved video.
TEST(SaveVideo, PicturesTheMp4CannotHoldAreRefused) {
  suite::test::TempDriveTable drives("CD");
  constexpr int kSlot = 8;
  const std::string recording = "D:\\wmv9.avi";
  OxSetCapCompression(kSlot, OX_COMPRESSION_WMV3);
  OxSetCapSize(kSlot, 352, 288);
  OxSetCapFrmRate(kSlot, kFps);
  ASSERT_EQ(OxCreateAVIFile(kSlot, recording.c_str()), 0u);
  const std::vector<std::uint8_t> picture(600, 0x5a), sound(256, 0);
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, picture.data(), static_cast<int>(picture.size()),
                                    i % 15 == 0 ? OX_FRAME_VIDEO_KEY : OX_FRAME_VIDEO_DELTA),
              0u);
    ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, sound.data(), static_cast<int>(sound.size()), OX_FRAME_AUDIO), 0u);
  }
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
  const Contents original = Read(drives.Host(recording));
  ASSERT_EQ(original.video, AV_CODEC_ID_WMV3);
  ASSERT_NE(original.sound, AV_CODEC_ID_NONE);

  EXPECT_EQ(RemuxToMp4(recording, "D:\\wmv9.mp4"), RemuxResult::NothingToCopy);
  EXPECT_FALSE(platform::Exists("D:\\wmv9.mp4"));
  EXPECT_FALSE(platform::Exists(drives.Host("D:\\wmv9.mp4") + ".part"));
}

// Damaged recordings: a file cut short while it was written, and noise over the pictures and
// sound blocks (the slice headers the picture order is read from among them). The save either
// succeeds with the pictures the recording still gives, or fails leaving nothing behind.
TEST(SaveVideo, DamagedRecordingsAreSavedOrRefusedCleanly) {
  suite::test::TempDriveTable drives("CD");
  const std::string whole = drives.folder() + "/whole.avi";
  if (!MakeRecording(whole, "h264", 2, 15, kSeconds)) {
    GTEST_SKIP() << "ffmpeg cannot make H.264";
  }
  std::vector<std::uint8_t> bytes = pellix::test::ReadFile(whole);
  ASSERT_GT(bytes.size(), 20000u);
  std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() * 3 / 5));
  std::vector<std::uint8_t> noisy = bytes;
  std::uint32_t seed = 12345;
  for (std::size_t at = 8192; at < noisy.size() * 9 / 10; at += 97) {
    seed = seed * 1103515245u + 12345u;
    noisy[at] = static_cast<std::uint8_t>(seed >> 16);
  }
  for (const auto& [name, damaged] : {std::pair<std::string, const std::vector<std::uint8_t>*>{"cut", &cut},
                                      std::pair<std::string, const std::vector<std::uint8_t>*>{"noisy", &noisy}}) {
    SCOPED_TRACE(name);
    const std::string source = drives.folder() + "/" + name + ".avi";
    const std::string target = drives.folder() + "/" + name + ".mp4";
    pellix::test::WriteFile(source, *damaged);
    const RemuxResult result = RemuxToMp4(source, target);
    EXPECT_FALSE(platform::Exists(target + ".part"));
    if (result != RemuxResult::Done) {
      EXPECT_FALSE(platform::Exists(target));
      continue;
    }
    const Contents saved = Read(target);
    ASSERT_TRUE(saved.opened);
    // A chunk whose start codes the noise destroyed holds no unit an MP4 sample can take.
    const int given = Read(source).videoPackets;
    EXPECT_LE(saved.videoPackets, given);
    EXPECT_GE(saved.videoPackets, given - 2);
    EXPECT_EQ(saved.sound, AV_CODEC_ID_AAC);
  }
}

}  // namespace
