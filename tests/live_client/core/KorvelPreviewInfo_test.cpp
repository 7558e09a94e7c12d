#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "live_client/core/KorvelPreview.h"

namespace {

constexpr PreviewMediaInfo kSmall{352, 288, 1, 25};
constexpr PreviewMediaInfo kLarge{704, 576, 1, 25};

bool IsOneOfTheFormats(const PreviewMediaInfo& info) {
  const auto same = [&](const PreviewMediaInfo& f) {
    return info.nWidth == f.nWidth && info.nHeight == f.nHeight &&
           info.nCompressor == f.nCompressor && info.nFrameRate == f.nFrameRate;
  };
  return same(kSmall) || same(kLarge);
}

// The format-change report rewrites an entry while the picture callback of the same window
// reads it: every read must be one whole format, never the width of one and the height of
// the other (a picture of that size would be decoded into the wrong geometry).
TEST(KorvelPreviewMediaInfo, ReadsNeverMixTwoFormatsWhileAnotherThreadSwitchesThem) {
  constexpr int kEntry = 30;  // page 1, window 5
  StorePreviewMediaInfo(kEntry, kSmall);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 200000; ++i) StorePreviewMediaInfo(kEntry, i % 2 ? kLarge : kSmall);
    stop = true;
  });
  int torn = 0;
  int reads = 0;
  while (!stop.load()) {
    if (!IsOneOfTheFormats(LoadPreviewMediaInfo(kEntry))) ++torn;
    ++reads;
  }
  writer.join();
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  StorePreviewMediaInfo(kEntry, PreviewMediaInfo{});
}

TEST(KorvelPreviewMediaInfo, EntriesAreSeparateAndOutOfRangeIsHarmless) {
  StorePreviewMediaInfo(0, kSmall);
  StorePreviewMediaInfo(kContextCount - 1, kLarge);
  EXPECT_EQ(LoadPreviewMediaInfo(0).nWidth, 352);
  EXPECT_EQ(LoadPreviewMediaInfo(kContextCount - 1).nHeight, 576);

  StorePreviewMediaInfo(-1, kLarge);
  StorePreviewMediaInfo(kContextCount, kLarge);
  EXPECT_EQ(LoadPreviewMediaInfo(-1).nWidth, 0);
  EXPECT_EQ(LoadPreviewMediaInfo(kContextCount).nWidth, 0);
  EXPECT_EQ(LoadPreviewMediaInfo(0).nWidth, 352) << "a write out of range touched entry 0";

  StorePreviewMediaInfo(0, PreviewMediaInfo{});
  StorePreviewMediaInfo(kContextCount - 1, PreviewMediaInfo{});
}

}  // namespace
