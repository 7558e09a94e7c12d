#include "platform/Display.h"

#include <gtest/gtest.h>

namespace {

using platform::DisplayMode;

class FakeDisplay final : public platform::DisplayProvider {
 public:
  DisplayMode CurrentMode() override { return {32, 1280, 1024, 75}; }
  std::vector<DisplayMode> Modes() override {
    return {{16, 1024, 768, 60}, {32, 1024, 768, 60}, {32, 1440, 900, 60}, {32, 1280, 1024, 75}};
  }
};

TEST(DisplayTest, ChangeSwitchesAVirtualModeThatRestoreUndoes) {
  auto previous = platform::SetDisplayProvider(std::make_shared<FakeDisplay>());
  EXPECT_EQ(platform::CurrentDisplayMode(), (DisplayMode{32, 1280, 1024, 75}));
  EXPECT_EQ(platform::DisplayModes().size(), 4u);
  EXPECT_FALSE(platform::IsDisplayModeChanged());

  // A mode the screen does not offer is refused and changes nothing.
  EXPECT_FALSE(platform::ChangeDisplayMode({32, 1024, 768, 85}));
  EXPECT_FALSE(platform::ChangeDisplayMode({24, 1440, 900, 60}));
  EXPECT_FALSE(platform::IsDisplayModeChanged());

  ASSERT_TRUE(platform::ChangeDisplayMode({32, 1440, 900, 60}));
  EXPECT_TRUE(platform::IsDisplayModeChanged());
  EXPECT_EQ(platform::CurrentDisplayMode(), (DisplayMode{32, 1440, 900, 60}));

  platform::RestoreDisplayMode();
  EXPECT_FALSE(platform::IsDisplayModeChanged());
  EXPECT_EQ(platform::CurrentDisplayMode(), (DisplayMode{32, 1280, 1024, 75}));
  platform::SetDisplayProvider(previous);
}

TEST(DisplayTest, BuiltInDisplayTakesTheModeFromTheEnvironment) {
  platform::SetDisplayProvider(nullptr);
  setenv("KORVEL_DISPLAY", "1024x768x16@70", 1);
  EXPECT_EQ(platform::CurrentDisplayMode(), (DisplayMode{16, 1024, 768, 70}));
  setenv("KORVEL_DISPLAY", "800x600", 1);
  EXPECT_EQ(platform::CurrentDisplayMode(), (DisplayMode{32, 800, 600, 60}));
  // A value that does not parse is ignored: the mode is still a usable one.
  setenv("KORVEL_DISPLAY", "garbage", 1);
  DisplayMode mode = platform::CurrentDisplayMode();
  EXPECT_GT(mode.width, 0);
  EXPECT_GT(mode.height, 0);
  unsetenv("KORVEL_DISPLAY");
}

}  // namespace
