// The AVI writer through the library's C interface: stream layout read back by ffprobe and
// by our own reader, pacing with empty frames, audio gathering, time lengths and the error
// values of every function.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AviTestReader.h"
#include "StordaneTestSupport.h"
#include "common/AviDefs.h"
#include "record_file_library/Stordane.h"

using namespace stordane_test;

namespace {

constexpr int kSlot = 3;

struct SlotSetup {
  int compression = OX_COMPRESSION_XVID;
  int width = 704;
  int height = 576;
  int frame_rate = 15;
};

void Configure(int slot, const SlotSetup& setup) {
  ASSERT_EQ(OxSetCapCompression(slot, setup.compression), 0u);
  ASSERT_EQ(OxSetCapSize(slot, setup.width, setup.height), 0u);
  ASSERT_EQ(OxSetCapFrmRate(slot, setup.frame_rate), 0u);
}

// Writes `frames` video frames (a key frame every 15) and one 256-byte audio block after
// every `frames_per_block` frames.
void WriteInterleaved(int slot, int frames, int frames_per_block, int block_bytes = 256) {
  const std::vector<unsigned char> key = FakeFrame(3001, 0x11);
  const std::vector<unsigned char> delta = FakeFrame(800, 0x22);
  const std::vector<unsigned char> block = AdpcmBlock(block_bytes);
  for (int i = 0; i < frames; ++i) {
    const auto& frame = i % 15 == 0 ? key : delta;
    ASSERT_EQ(OxWriteFrameToAVIFile(slot, frame.data(), static_cast<int>(frame.size()), i % 15 == 0 ? 0 : 1), 0u);
    if (frames_per_block > 0 && (i + 1) % frames_per_block == 0) {
      ASSERT_EQ(OxWriteFrameToAVIFile(slot, block.data(), block_bytes, 5), 0u);
    }
  }
}

int CountEmpty(const std::vector<const AviTestChunk*>& chunks) {
  int empty = 0;
  for (const AviTestChunk* chunk : chunks) empty += chunk->size == 0;
  return empty;
}

}  // namespace

TEST(AviWriter, XvidFileWithAudioIsReadBackByFfprobeAndOurReader) {
  TempDrives drives;
  Configure(kSlot, {});
  const std::string path = RecordingPath('D', "2010_01_05", 1, 10, 10, 10);
  ASSERT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
  WriteInterleaved(kSlot, 150, 3);  // 50 audio blocks: 3 chunks of 16 and 2 waiting at close
  EXPECT_EQ(OxGetFileTimeLength(kSlot), 150u / 15 + 1);
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);

  const AviTestFile file = ReadAviFile(HostPath(path));
  ASSERT_EQ(file.error, "");
  EXPECT_EQ(file.riff_size, file.file_bytes - 8);
  EXPECT_TRUE(file.main.dwFlags & avi::AVIF_HASINDEX);
  EXPECT_EQ(file.main.dwTotalFrames, 150u);
  EXPECT_EQ(file.main.dwStreams, 2u);
  ASSERT_EQ(file.streams.size(), 2u);

  const avi::AviStreamHeader& video = file.streams[0].header;
  EXPECT_EQ(video.fccType, avi::kFccVids);
  EXPECT_EQ(video.fccHandler, avi::kFccXvid);
  EXPECT_EQ(video.dwScale, 1u);
  EXPECT_EQ(video.dwRate, 15u);
  EXPECT_EQ(video.dwLength, 150u);
  EXPECT_EQ(video.dwSuggestedBufferSize, 704u * 576 * 2);
  EXPECT_EQ(video.dwQuality, 10000u);
  EXPECT_EQ(video.rcFrame.right, 704);
  EXPECT_EQ(video.rcFrame.bottom, 576);
  ASSERT_EQ(file.streams[0].format.size(), 40u);
  avi::BitmapInfoHeader bih{};
  std::memcpy(&bih, file.streams[0].format.data(), sizeof(bih));
  EXPECT_EQ(bih.biSize, 40u);
  EXPECT_EQ(bih.biBitCount, 16);
  EXPECT_EQ(bih.biPlanes, 1);
  EXPECT_EQ(bih.biCompression, avi::kFccXvid);
  EXPECT_EQ(bih.biSizeImage, 704u * 576 * 2);

  const avi::AviStreamHeader& audio = file.streams[1].header;
  EXPECT_EQ(audio.fccType, avi::kFccAuds);
  EXPECT_EQ(audio.dwScale, 101u);
  EXPECT_EQ(audio.dwRate, 1600u);
  EXPECT_EQ(audio.dwSampleSize, 256u);
  EXPECT_EQ(audio.dwLength, 50u);
  ASSERT_EQ(file.streams[1].format.size(), 20u);
  avi::ImaAdpcmWaveFormat wave{};
  std::memcpy(&wave, file.streams[1].format.data(), sizeof(wave));
  EXPECT_EQ(wave.wfx.wFormatTag, 0x11);
  EXPECT_EQ(wave.wfx.nChannels, 1);
  EXPECT_EQ(wave.wfx.nSamplesPerSec, 8000u);
  EXPECT_EQ(wave.wfx.nAvgBytesPerSec, 4055u);
  EXPECT_EQ(wave.wfx.nBlockAlign, 256);
  EXPECT_EQ(wave.wfx.wBitsPerSample, 4);
  EXPECT_EQ(wave.wfx.cbSize, 2);
  EXPECT_EQ(wave.wSamplesPerBlock, 505);

  // Audio is gathered 16 blocks to a chunk; what waits at close goes out whole.
  const auto audio_chunks = file.StreamChunks(1);
  ASSERT_EQ(audio_chunks.size(), 4u);
  EXPECT_EQ(audio_chunks[0]->size, 16u * 256);
  EXPECT_EQ(audio_chunks[3]->size, 2u * 256);

  // idx1 lists every chunk at its place, key frames flagged.
  ASSERT_TRUE(file.has_idx1);
  ASSERT_EQ(file.idx1.size(), file.chunks.size());
  int keys = 0;
  for (std::size_t i = 0; i < file.idx1.size(); ++i) {
    EXPECT_EQ(file.idx1[i].ckid, file.chunks[i].id);
    EXPECT_EQ(file.movi_code_offset + file.idx1[i].dwChunkOffset, file.chunks[i].header_offset);
    EXPECT_EQ(file.idx1[i].dwChunkLength, file.chunks[i].size);
    if (file.idx1[i].dwFlags & avi::AVIIF_KEYFRAME) {
      ++keys;
      EXPECT_EQ(file.chunks[i].size, 3001u);
    }
  }
  EXPECT_EQ(keys, 10);

  if (!HaveFfprobe()) GTEST_SKIP() << "ffprobe not installed";
  const auto streams = ProbeStreams(HostPath(path));
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].at("codec_tag_string"), "XVID");
  EXPECT_EQ(streams[0].at("width"), "704");
  EXPECT_EQ(streams[0].at("height"), "576");
  EXPECT_EQ(streams[0].at("r_frame_rate"), "15/1");
  EXPECT_EQ(streams[0].at("nb_read_packets"), "150");
  EXPECT_EQ(streams[1].at("codec_tag"), "0x0011");
  EXPECT_EQ(streams[1].at("sample_rate"), "8000");
  EXPECT_EQ(streams[1].at("channels"), "1");
  EXPECT_EQ(streams[1].at("nb_read_packets"), "50");  // one packet per 256-byte block
  const std::string keyframes = RunCommand(
      "ffprobe -v quiet -select_streams v -show_entries packet=flags -of csv=p=0 '" + HostPath(path) + "' | grep -c K");
  EXPECT_EQ(std::stoi(keyframes), 10);
  const std::string samples = RunCommand(
      "ffprobe -v quiet -select_streams a -show_entries frame=nb_samples -of csv=p=0 '" + HostPath(path) + "' | sort -u");
  EXPECT_EQ(samples, "505\n");
}

TEST(AviWriter, FrameRateAndCodecChoices) {
  TempDrives drives;
  if (!HaveFfprobe()) GTEST_SKIP() << "ffprobe not installed";
  struct Case {
    int rate_in;
    const char* probed_rate;
    int frames;
    unsigned length;
  };
  // 13 stands for 12.5 frames per second; rates without a pacing row record as 25.
  for (const Case& c : {Case{15, "15/1", 30, 3}, Case{13, "25/2", 26, 3}, Case{1, "1/1", 30, 31},
                        Case{0, "25/1", 25, 2}, Case{60, "25/1", 50, 3}}) {
    SCOPED_TRACE(c.rate_in);
    Configure(kSlot, {OX_COMPRESSION_WMV3, 352, 288, c.rate_in});
    const std::string path = RecordingPath('D', "2010_01_05", 2, 11, 0, c.rate_in);
    ASSERT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
    WriteInterleaved(kSlot, c.frames, 0);
    EXPECT_EQ(OxGetFileTimeLength(kSlot), c.length);
    ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
    const auto streams = ProbeStreams(HostPath(path));
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].at("codec_tag_string"), "WMV3");
    EXPECT_EQ(streams[0].at("r_frame_rate"), c.probed_rate);
    EXPECT_EQ(streams[0].at("nb_read_packets"), std::to_string(c.frames));

    const AviTestFile file = ReadAviFile(HostPath(path));
    ASSERT_EQ(file.streams.size(), 1u);
    ASSERT_EQ(file.streams[0].format.size(), 44u);
    avi::BitmapInfoHeader bih{};
    std::memcpy(&bih, file.streams[0].format.data(), sizeof(bih));
    EXPECT_EQ(bih.biSize, 44u);
    EXPECT_EQ(bih.biBitCount, 24);
    EXPECT_EQ(bih.biSizeImage, 352u * 288 * 3);
    const unsigned char sequence[4] = {0x47, 0xF9, 0x00, 0x01};
    EXPECT_EQ(std::memcmp(file.streams[0].format.data() + 40, sequence, 4), 0);
  }
  // Unknown compression values leave the codec as it was.
  Configure(kSlot, {OX_COMPRESSION_XVID, 352, 288, 15});
  EXPECT_EQ(OxSetCapCompression(kSlot, 8), 0u);
  const std::string path = RecordingPath('D', "2010_01_05", 2, 12, 0, 0);
  ASSERT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
  WriteInterleaved(kSlot, 30, 0);
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
  EXPECT_EQ(ProbeStreams(HostPath(path)).at(0).at("codec_tag_string"), "XVID");
}

TEST(AviWriter, VideoBehindAudioGetsEmptyFramesDownToTheFloor) {
  TempDrives drives;
  Configure(kSlot, {});
  const std::vector<unsigned char> frame = FakeFrame(1000, 0x33);
  const std::vector<unsigned char> block = AdpcmBlock(256);

  // 39 frames (2600 ms) against 48 blocks (3030 ms): the pacing step finds the video 6
  // frames behind, so the next three frames each get an empty frame before them.
  const std::string slow = RecordingPath('D', "2010_01_05", 3, 9, 0, 0);
  ASSERT_EQ(OxCreateAVIFile(kSlot, slow.c_str()), 0u);
  for (int i = 0; i < 39; ++i) ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 1000, i == 0 ? 0 : 1), 0u);
  for (int i = 0; i < 48; ++i) ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, block.data(), 256, 6), 0u);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 1000, 1), 0u);
  EXPECT_EQ(OxGetFileTimeLength(kSlot), (39u + 5 + 3) / 15 + 1);  // empty frames take time
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
  AviTestFile file = ReadAviFile(HostPath(slow));
  auto video = file.StreamChunks(0);
  ASSERT_EQ(video.size(), 47u);
  std::string pattern;
  for (std::size_t i = 39; i < video.size(); ++i) pattern += video[i]->size == 0 ? 'e' : 'F';
  EXPECT_EQ(pattern, "eFeFeFFF");
  for (const avi::AviIndexEntry& entry : file.idx1) {
    if (entry.dwChunkLength == 0) {
      EXPECT_EQ(entry.dwFlags & avi::AVIIF_KEYFRAME, 0u);
    }
  }

  // 100 frames against the same audio: video ahead is never corrected.
  const std::string fast = RecordingPath('D', "2010_01_05", 3, 9, 10, 0);
  ASSERT_EQ(OxCreateAVIFile(kSlot, fast.c_str()), 0u);
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 100; ++i) ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 1000, 1), 0u);
    for (int i = 0; i < 48; ++i) ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, block.data(), 256, 5), 0u);
  }
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
  file = ReadAviFile(HostPath(fast));
  video = file.StreamChunks(0);
  EXPECT_EQ(video.size(), 300u);
  EXPECT_EQ(CountEmpty(video), 0);

  // A new file starts without the lag of the last one.
  const std::string fresh = RecordingPath('D', "2010_01_05", 3, 9, 20, 0);
  ASSERT_EQ(OxCreateAVIFile(kSlot, fresh.c_str()), 0u);
  for (int i = 0; i < 48; ++i) ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, block.data(), 256, 5), 0u);
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
  ASSERT_EQ(OxCreateAVIFile(kSlot, fresh.c_str()), 0u);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 1000, 1), 0u);
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
  EXPECT_EQ(CountEmpty(ReadAviFile(HostPath(fresh)).StreamChunks(0)), 0);
}

TEST(AviWriter, AudioBlockSizes) {
  TempDrives drives;
  Configure(kSlot, {});
  const std::vector<unsigned char> frame = FakeFrame(30000, 0x33);

  // 1024-byte blocks: a 1024-byte sample stream at 400/101, everything waiting is written.
  const std::string large = RecordingPath('D', "2010_01_05", 4, 8, 0, 0);
  ASSERT_EQ(OxCreateAVIFile(kSlot, large.c_str()), 0u);
  ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 30000, 0), 0u);
  const std::vector<unsigned char> big = AdpcmBlock(1024, 0x5A);
  for (int i = 0; i < 21; ++i) ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, big.data(), 1024, 5), 0u);
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
  AviTestFile file = ReadAviFile(HostPath(large));
  ASSERT_EQ(file.streams.size(), 2u);
  EXPECT_EQ(file.streams[1].header.dwRate, 400u);
  EXPECT_EQ(file.streams[1].header.dwScale, 101u);
  EXPECT_EQ(file.streams[1].header.dwSampleSize, 1024u);
  EXPECT_EQ(file.streams[1].header.dwLength, 21u);
  auto audio = file.StreamChunks(1);
  ASSERT_EQ(audio.size(), 2u);
  EXPECT_EQ(audio[0]->size, 16u * 1024);
  EXPECT_EQ(audio[1]->size, 5u * 1024);
  EXPECT_EQ(std::memcmp(audio[1]->data.data(), big.data(), 1024), 0);

  // A short block is a 256-byte block whose missing bytes are silence, never bytes read
  // past the caller's buffer.
  const std::string shortened = RecordingPath('D', "2010_01_05", 4, 8, 10, 0);
  ASSERT_EQ(OxCreateAVIFile(kSlot, shortened.c_str()), 0u);
  ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 30000, 0), 0u);
  std::vector<unsigned char> hundred = AdpcmBlock(256, 0x77);
  hundred.resize(100);
  ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, hundred.data(), 100, 5), 0u);
  // A 1024-byte block in a 256-byte stream is four 256-byte blocks.
  ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, big.data(), 1024, 5), 0u);
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
  file = ReadAviFile(HostPath(shortened));
  ASSERT_EQ(file.streams.size(), 2u);
  EXPECT_EQ(file.streams[1].header.dwSampleSize, 256u);
  EXPECT_EQ(file.streams[1].header.dwLength, 5u);
  audio = file.StreamChunks(1);
  ASSERT_EQ(audio.size(), 1u);
  ASSERT_EQ(audio[0]->size, 5u * 256);
  EXPECT_EQ(std::memcmp(audio[0]->data.data(), hundred.data(), 100), 0);
  for (int i = 100; i < 256; ++i) ASSERT_EQ(audio[0]->data[i], 0) << i;
  EXPECT_EQ(std::memcmp(audio[0]->data.data() + 256, big.data(), 1024), 0);

  // Bad audio input is refused, not read.
  EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, nullptr, 256, 5), OX_ERR_WRITE);
}

TEST(AviWriter, TimeLengths) {
  TempDrives drives;
  Configure(kSlot, {});
  const std::vector<unsigned char> frame = FakeFrame(500, 0x44);
  const std::string path = RecordingPath('D', "2010_01_06", 5, 7, 0, 0);
  ASSERT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
  EXPECT_EQ(OxGetFileTimeLength(kSlot), 0u);
  ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 500, 0), 0u);
  EXPECT_EQ(OxGetFileTimeLength(kSlot), 1u);
  for (int i = 1; i < 1800; ++i) ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 500, 1), 0u);
  EXPECT_EQ(OxGetFileTimeLength(kSlot), 121u);
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
  EXPECT_EQ(OxGetFileTimeLength(kSlot), 121u);  // kept until the next file

  // 12.5 frames per second divides by 13.
  OxSetCapFrmRate(kSlot, 13);
  ASSERT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
  for (int i = 0; i < 130; ++i) ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 500, 1), 0u);
  EXPECT_EQ(OxGetFileTimeLength(kSlot), 11u);
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
}

TEST(AviWriter, SlotLifecycleAndErrorValues) {
  TempDrives drives;
  const std::vector<unsigned char> frame = FakeFrame(30000, 0x55);
  for (int bad : {-1, 48, 1000}) {
    EXPECT_EQ(OxSetCapSize(bad, 352, 240), OX_ERR_INDEX);
    EXPECT_EQ(OxSetCapFrmRate(bad, 15), OX_ERR_INDEX);
    EXPECT_EQ(OxSetCapCompression(bad, 3), OX_ERR_INDEX);
    EXPECT_EQ(OxCreateAVIFile(bad, "D:\\x.avi"), OX_ERR_INDEX);
    EXPECT_EQ(OxWriteFrameToAVIFile(bad, frame.data(), 10, 0), OX_ERR_INDEX);
    EXPECT_EQ(OxCloseAVIFile(bad), OX_ERR_INDEX);
    EXPECT_EQ(OxGetFileTimeLength(bad), OX_ERR_INDEX);
  }

  // Every slot records on its own, all at once.
  std::vector<std::string> paths;
  for (int slot = 0; slot < 48; ++slot) {
    Configure(slot, {OX_COMPRESSION_XVID, 352, 240, 15});
    paths.push_back(RecordingPath('D', "2010_01_07", slot % 24 + 1, slot / 24, 0, 0));
    ASSERT_EQ(OxCreateAVIFile(slot, paths.back().c_str()), 0u) << slot;
  }
  for (int slot = 0; slot < 48; ++slot) {
    for (int i = 0; i <= slot; ++i) ASSERT_EQ(OxWriteFrameToAVIFile(slot, frame.data(), 30000, 1), 0u);
  }
  for (int slot = 0; slot < 48; ++slot) ASSERT_EQ(OxCloseAVIFile(slot), 0u);
  for (int slot = 0; slot < 48; ++slot) {
    EXPECT_EQ(ReadAviFile(HostPath(paths[slot])).StreamChunks(0).size(), static_cast<std::size_t>(slot + 1));
  }

  // Without a file, writes fail and close succeeds without indexing anything.
  EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 100, 0), OX_ERR_WRITE);
  EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 256, 5), OX_ERR_WRITE);
  const std::string index = HostPath("D:\\video\\2010_01_07\\FileInfo0.ini");
  const std::string before = ReadText(index);
  EXPECT_EQ(OxCloseAVIFile(kSlot), 0u);
  EXPECT_EQ(ReadText(index), before);  // a second close does not enter the file again

  // Bad names and frame types.
  EXPECT_EQ(OxCreateAVIFile(kSlot, nullptr), OX_ERR_PARAM);
  EXPECT_EQ(OxCreateAVIFile(kSlot, ""), OX_ERR_PARAM);
  const std::string too_long = "D:\\" + std::string(257, 'a');
  EXPECT_EQ(too_long.size(), 260u);
  EXPECT_EQ(OxCreateAVIFile(kSlot, too_long.c_str()), OX_ERR_PARAM);
  EXPECT_EQ(OxCreateAVIFile(kSlot, "D:\\no such folder\\x.avi"), OX_ERR_OPEN);
  const std::string path = RecordingPath('D', "2010_01_07", 1, 5, 0, 0);
  ASSERT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
  EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 100, 2), OX_ERR_WRITE);
  EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), -5, 1), OX_ERR_WRITE);
  EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, nullptr, 100, 1), OX_ERR_WRITE);
  EXPECT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 0, 1), 0u);  // an empty frame is a frame

  // Creating over an open file finishes the first one without indexing it.
  ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, frame.data(), 30000, 0), 0u);
  const std::string second = RecordingPath('D', "2010_01_07", 1, 5, 10, 0);
  ASSERT_EQ(OxCreateAVIFile(kSlot, second.c_str()), 0u);
  const AviTestFile first = ReadAviFile(HostPath(path));
  EXPECT_EQ(first.error, "");
  EXPECT_TRUE(first.has_idx1);
  EXPECT_EQ(first.StreamChunks(0).size(), 2u);
  EXPECT_EQ(ReadText(index).find("-050000 M101"), std::string::npos);
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);  // the second file: too small, deleted
  EXPECT_FALSE(FileExists(HostPath(second)));
}

TEST(AviWriter, RealMpeg4FramesDecodeAfterRecording) {
  TempDrives drives;
  if (!HaveFfprobe() || std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg not installed";
  const std::string raw = drives.Root() + "/source.m4v";
  ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc=size=352x240:rate=15 -t 3 -c:v mpeg4 -g 15 "
                         "-bf 0 -f m4v '" + raw + "'").c_str()),
            0);
  const std::string stream = ReadText(raw);
  ASSERT_GT(stream.size(), 1000u);
  // Split at each picture start code; the first picture keeps the stream headers before it.
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i + 4 < stream.size(); ++i) {
    if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && static_cast<unsigned char>(stream[i + 3]) == 0xB6) {
      starts.push_back(starts.empty() ? 0 : i);
    }
  }
  ASSERT_EQ(starts.size(), 45u);
  starts.push_back(stream.size());

  Configure(kSlot, {OX_COMPRESSION_XVID, 352, 240, 15});
  const std::string path = RecordingPath('D', "2010_01_08", 1, 6, 0, 0);
  ASSERT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
  const std::vector<unsigned char> block = AdpcmBlock(256);
  for (std::size_t i = 0; i + 1 < starts.size(); ++i) {
    const auto* data = reinterpret_cast<const unsigned char*>(stream.data()) + starts[i];
    const int size = static_cast<int>(starts[i + 1] - starts[i]);
    // The picture type follows the start code: 00 in the top bits is an intra picture.
    const std::size_t code = stream.find(std::string("\0\0\1\xB6", 4), starts[i]);
    const bool key = (static_cast<unsigned char>(stream[code + 4]) >> 6) == 0;
    ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, data, size, key ? 0 : 1), 0u);
    ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, block.data(), 256, 5), 0u);
  }
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);

  const std::string decoded = RunCommand("ffprobe -v error -count_frames -select_streams v -show_entries "
                                         "stream=nb_read_frames,codec_name -of csv=p=0 '" + HostPath(path) + "'");
  EXPECT_EQ(decoded, "mpeg4,45\n");
  const std::string audio = RunCommand("ffprobe -v error -count_frames -select_streams a -show_entries "
                                       "stream=nb_read_frames -of csv=p=0 '" + HostPath(path) + "'");
  EXPECT_EQ(audio, "45\n");
}

TEST(AviWriter, FramesLargerThanTheWriteBufferArriveWhole) {
  TempDrives drives;
  Configure(kSlot, {});
  const std::string path = RecordingPath('D', "2010_01_08", 2, 7, 0, 0);
  ASSERT_EQ(OxCreateAVIFile(kSlot, path.c_str()), 0u);
  std::vector<std::vector<unsigned char>> frames;
  const std::vector<unsigned char> block = AdpcmBlock(256);
  for (int i = 0; i < 4; ++i) {
    frames.push_back(FakeFrame(700001 + i, static_cast<unsigned char>(0xA0 + i)));
    frames.back()[0] = static_cast<unsigned char>(i);  // the first byte tells frames apart
    ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, frames.back().data(), static_cast<int>(frames.back().size()), i == 0 ? 0 : 1), 0u);
    for (int b = 0; b < 5; ++b) ASSERT_EQ(OxWriteFrameToAVIFile(kSlot, block.data(), 256, 5), 0u);
  }
  ASSERT_EQ(OxCloseAVIFile(kSlot), 0u);
  const AviTestFile file = ReadAviFile(HostPath(path));
  ASSERT_EQ(file.error, "");
  const auto video = file.StreamChunks(0);
  ASSERT_EQ(video.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(video[i]->data == frames[i]) << i;
  ASSERT_EQ(file.idx1.size(), file.chunks.size());
  for (std::size_t i = 0; i < file.idx1.size(); ++i) {
    EXPECT_EQ(file.movi_code_offset + file.idx1[i].dwChunkOffset, file.chunks[i].header_offset);
  }
  EXPECT_EQ(file.riff_size, file.file_bytes - 8);
}
