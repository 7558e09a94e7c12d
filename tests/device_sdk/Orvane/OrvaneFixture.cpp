#include "tests/device_sdk/Orvane/OrvaneFixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace orvane_test {

void Collect(ORVANE_FRAME* record, void* context) {
  auto* received = static_cast<Received*>(context);
  std::lock_guard<std::mutex> guard(received->lock);
  ++received->records;
  const bool picture = record->type == ORVANE_FRAME_VIDEO;
  const int expected_size = picture ? record->width * record->height * 3 / 2 : ORVANE_PCM_BLOCK_BYTES;
  if (!record->data || record->size != expected_size) ++received->bad_records;
  if (!picture && record->data) {
    // A sound output still set up for 4040-byte blocks may read that much of ours.
    unsigned sum = 0;
    for (int i = 0; i < 4040; ++i) sum += record->data[i];
    received->padding_sum += sum;
  }
  if (record->data && record->size > 0) received->last.assign(record->data, record->data + record->size);
  received->width = record->width;
  received->height = record->height;
  received->times.push_back(std::chrono::steady_clock::now());
  received->changed.notify_all();
}

void OrvaneTest::SetUp() { ASSERT_EQ(ORVANE_startup(), ORVANE_OK); }

void OrvaneTest::TearDown() {
  for (int handle : handles_) ORVANE_destroyDVR(handle);
  ORVANE_cleanup();
  sim_.Stop();
}

void OrvaneTest::WriteCatalogue(const std::string& text) {
  ASSERT_EQ(::mkdir((folder_ / "catalogue").c_str(), 0755), 0);
  std::ofstream out(folder_ / "catalogue/catalogue.txt");
  out << text;
  ASSERT_TRUE(out.good());
}

void OrvaneTest::StartSim(const std::string& address, std::vector<std::string> extra) {
  std::vector<std::string> arguments = {"--listen",   address, "--port", std::to_string(kPort),
                                        "--user",     "admin", "--password", "pw",
                                        "--catalogue", folder_ / "catalogue"};
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  ASSERT_TRUE(sim_.Start(arguments)) << "dvr_sim did not start on " << address;
}

int OrvaneTest::Login(const std::string& address, const char* user, const char* password,
                      int* result) {
  int handle = 0;
  EXPECT_EQ(ORVANE_createDVR(&handle, dvr_sim_test::NetworkAddress(address.c_str()), kPort),
            ORVANE_OK);
  EXPECT_NE(handle, 0);
  handles_.push_back(handle);
  ORVANE_LOGIN login{};
  std::memcpy(login.user, user, std::min<size_t>(std::strlen(user), sizeof login.user));
  std::memcpy(login.password, password,
              std::min<size_t>(std::strlen(password), sizeof login.password));
  int rc = ORVANE_loginServer(handle, &login);
  if (result)
    *result = rc;
  else
    EXPECT_EQ(rc, ORVANE_OK);
  return handle;
}

void OrvaneTest::StartPreview(int handle, int channel, Received* pictures, Received* sound) {
  ASSERT_EQ(ORVANE_setDecoderFMT(handle, channel, ORVANE_FMT_YUV420), ORVANE_OK);
  ASSERT_EQ(ORVANE_openVideoReciever(handle, channel, 0, 0), ORVANE_OK);
  ASSERT_EQ(ORVANE_mutePreViewAudio(handle, channel, 1), ORVANE_OK);
  ASSERT_EQ(ORVANE_openAudioReciever(handle, channel, 0, 0), ORVANE_OK);
  ASSERT_EQ(ORVANE_startVideoSend(handle, channel), ORVANE_OK);
  ASSERT_EQ(ORVANE_startAudioSend(handle, channel), ORVANE_OK);
  if (pictures) {
    ASSERT_EQ(ORVANE_createVideoDecoder(handle, channel, Collect, pictures), ORVANE_OK);
  }
  if (sound) {
    ASSERT_EQ(ORVANE_regDecAudioFrameCB(handle, channel, Collect, sound), ORVANE_OK);
  }
}

void OrvaneTest::StopPreview(int handle, int channel) {
  EXPECT_EQ(ORVANE_stopVideoSend(handle, channel), ORVANE_OK);
  EXPECT_EQ(ORVANE_stopAudioSend(handle, channel), ORVANE_OK);
  EXPECT_EQ(ORVANE_destroyVideoDecoder(handle, channel), ORVANE_OK);
  EXPECT_EQ(ORVANE_closeVideoReciever(handle, channel), ORVANE_OK);
  EXPECT_EQ(ORVANE_closeAudioReciever(handle, channel), ORVANE_OK);
}

double LumaDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width,
                      int y0, int y1) {
  double sum = 0;
  size_t n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = 0; x < width; ++x) {
      size_t i = size_t(y) * width + x;
      if (i >= a.size() || i >= b.size()) return 255;
      sum += std::abs(int(a[i]) - int(b[i]));
      ++n;
    }
  return n ? sum / double(n) : 0;
}

}  // namespace orvane_test
