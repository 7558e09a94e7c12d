#include "platform/MessageBox.h"

#include <gtest/gtest.h>

namespace {

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::ResetMessageBoxes(); }
  void TearDown() override {
    platform::SetMessageBoxHandler(nullptr);
    platform::ResetMessageBoxes();
  }
};

TEST_F(MessageBoxTest, ScriptedAnswersComeFirstInOrderAndEveryBoxIsRecorded) {
  int handler_calls = 0;
  platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest&) {
    ++handler_calls;
    return platform::IDCANCEL;
  });
  platform::ScriptMessageBoxAnswers({platform::IDNO, platform::IDYES});
  EXPECT_EQ(platform::MessageBox(nullptr, "Exit?", "Korvel", platform::MB_YESNO), platform::IDNO);
  EXPECT_EQ(platform::MessageBox(nullptr, "Again?", "Korvel", platform::MB_YESNO), platform::IDYES);
  // Script used up: the installed handler answers.
  EXPECT_EQ(platform::MessageBox(nullptr, "Third", "", platform::MB_OKCANCEL), platform::IDCANCEL);
  EXPECT_EQ(handler_calls, 1);

  auto shown = platform::ShownMessageBoxes();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "Exit?");
  EXPECT_EQ(shown[0].caption, "Korvel");
  EXPECT_EQ(shown[0].type, platform::MB_YESNO);
  EXPECT_EQ(shown[2].text, "Third");
}

TEST_F(MessageBoxTest, UnansweredBoxesGetTheDefaultButtonOrTheChosenDefault) {
  using namespace platform;
  EXPECT_EQ(MessageBox(nullptr, "a", "", MB_OK | MB_ICONINFORMATION), IDOK);
  EXPECT_EQ(MessageBox(nullptr, "b", "", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(MessageBox(nullptr, "c", "", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBox(nullptr, "d", "", MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
  EXPECT_EQ(MessageBox(nullptr, "e", "", MB_RETRYCANCEL), IDRETRY);
  SetDefaultMessageBoxAnswer(IDNO);
  EXPECT_EQ(MessageBox(nullptr, "f", "", MB_YESNO), IDNO);
  EXPECT_EQ(ShownMessageBoxes().size(), 6u);
  // GBK text is recorded byte for byte.
  MessageBox(nullptr, "\xB4\xED\xCE\xF3", "\xCC\xE1\xCA\xBE", MB_OK);
  EXPECT_EQ(ShownMessageBoxes().back().text, "\xB4\xED\xCE\xF3");
}

}  // namespace
