// The picture-drawn controls as an operator meets them: faces that follow the mouse and the
// enabled state, the messages the check buttons send, the disk bar's share, the picture loader's
// one-time failure message.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <string>

#include "live_client/skin/CBmpButton.h"
#include "live_client/skin/CCheckButton.h"
#include "live_client/skin/CEnBitmap.h"
#include "live_client/skin/CFlatCheck.h"
#include "live_client/skin/MBmpProgress.h"
#include "live_client/skin/MSlider.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "tests/live_client/skin/SkinTestSupport.h"
#include "tests/support/TempFolder.h"

namespace {

// Four faces of distinct colours, so a rendered button tells which face it drew.
std::string WriteFaces(const suite::test::TempFolder& folder) {
  const std::pair<const char*, QColor> faces[4] = {
      {"U", QColor(0, 0, 255)}, {"H", QColor(0, 255, 0)}, {"D", QColor(255, 0, 0)}, {"X", QColor(128, 128, 128)}};
  for (const auto& [suffix, colour] : faces) {
    QImage picture(40, 20, QImage::Format_RGB32);
    picture.fill(colour);
    picture.save(QString::fromStdString(folder / (std::string("Btn") + suffix + ".jpg")), "JPG");
  }
  return folder.path() + "/";
}

QColor CentreColour(QWidget& widget) {
  const QImage image = widget.grab().toImage();
  return image.pixelColor(image.width() / 2, image.height() / 2);
}

bool Near(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 && std::abs(a.blue() - b.blue()) < 40;
}

TEST(SkinnedControls, BitmapButtonFacesFollowMouseFocusAndEnabledState) {
  skin_test::App();
  platform::ResetMessageBoxes();
  suite::test::TempFolder folder("korvel-controls");
  const std::string skin = WriteFaces(folder);

  QWidget window;
  window.resize(200, 100);
  auto* button = new CBmpButton(&window, 1164);
  button->setGeometry(10, 10, 40, 20);
  ASSERT_TRUE(button->LoadBitmaps(skin, "Btn"));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  EXPECT_EQ(button->CurrentFace(), ButtonFace::Normal);
  EXPECT_TRUE(Near(CentreColour(*button), Qt::blue));

  QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
  QApplication::sendEvent(button, &enter);
  EXPECT_EQ(button->CurrentFace(), ButtonFace::Hover);
  EXPECT_TRUE(Near(CentreColour(*button), Qt::green));

  button->setDown(true);
  EXPECT_EQ(button->CurrentFace(), ButtonFace::Pressed);
  EXPECT_TRUE(Near(CentreColour(*button), Qt::red));
  button->setDown(false);

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(button, &leave);
  EXPECT_EQ(button->CurrentFace(), ButtonFace::Normal);

  QApplication::sendEvent(button, &enter);
  QFocusEvent focusOut(QEvent::FocusOut);
  QApplication::sendEvent(button, &focusOut);
  EXPECT_EQ(button->CurrentFace(), ButtonFace::Normal);

  QApplication::sendEvent(button, &enter);
  button->setEnabled(false);
  EXPECT_EQ(button->CurrentFace(), ButtonFace::Disabled);
  EXPECT_TRUE(Near(CentreColour(*button), QColor(128, 128, 128)));
  button->setEnabled(true);
  EXPECT_EQ(button->CurrentFace(), ButtonFace::Normal);

  // A click still reaches the dialog.
  QSignalSpy clicked(button, &QAbstractButton::clicked);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicked.count(), 1);
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST(SkinnedControls, MissingPicturesAreReportedOncePerFileAndTheButtonStillWorks) {
  skin_test::App();
  platform::ResetMessageBoxes();
  CEnBitmap::ForgetReportedFailures();
  suite::test::TempFolder folder("korvel-controls");
  CBmpButton first(nullptr, 1), second(nullptr, 2);
  EXPECT_FALSE(first.LoadBitmaps(folder.path() + "/", "Gone"));
  EXPECT_FALSE(second.LoadBitmaps(folder.path() + "/", "Gone"));
  const auto shown = skin_test::ShownTexts();
  ASSERT_EQ(shown.size(), 4u);  // one per face file, not one per button
  EXPECT_EQ(shown[0], "LOAD IMAGE FAIL. [PATH]: " + folder.path() + "/GoneU.jpg");
  first.resize(30, 20);
  QSignalSpy clicked(&first, &QAbstractButton::clicked);
  first.show();
  QTest::mouseClick(&first, Qt::LeftButton);
  EXPECT_EQ(clicked.count(), 1);
  EXPECT_FALSE(first.grab().isNull());

  // A file that is not a picture fails the same way.
  std::string notPicture = folder / "Text.jpg";
  platform::ReplaceFileContents(notPicture, "not a picture");
  CEnBitmap bitmap;
  EXPECT_FALSE(bitmap.LoadImage(notPicture));
  EXPECT_EQ(skin_test::ShownTexts().size(), 5u);
}

TEST(SkinnedControls, CheckButtonsSendTheirPressAndReleaseMessages) {
  skin_test::App();
  CCheckButton autoPage(nullptr, 1010);
  autoPage.resize(30, 20);
  autoPage.show();
  QSignalSpy checkMessages(&autoPage, &CCheckButton::parentMessage);
  QTest::mouseClick(&autoPage, Qt::LeftButton);
  ASSERT_EQ(checkMessages.count(), 2);
  EXPECT_EQ(checkMessages[0][0].toUInt(), 2224u);
  EXPECT_EQ(checkMessages[0][1].value<quintptr>(), 1010u);
  EXPECT_EQ(checkMessages[0][2].value<qintptr>(), 0);
  EXPECT_EQ(checkMessages[1][2].value<qintptr>(), 1);
  EXPECT_TRUE(autoPage.isChecked());
  EXPECT_EQ(autoPage.CurrentFace(), ButtonFace::Pressed);

  CFlatCheck page(nullptr, 1182);
  page.resize(40, 24);
  page.show();
  QSignalSpy pageMessages(&page, &CFlatCheck::parentMessage);
  QTest::mouseClick(&page, Qt::LeftButton);
  ASSERT_EQ(pageMessages.count(), 2);
  EXPECT_EQ(pageMessages[0][0].toUInt(), 2140u);
  EXPECT_EQ(pageMessages[0][1].value<quintptr>(), 1182u);
  EXPECT_EQ(pageMessages[0][2].value<qintptr>(), 1);
  EXPECT_EQ(pageMessages[1][2].value<qintptr>(), 0);
  // Only its owner sets it.
  EXPECT_FALSE(page.GetCheck());
  page.SetCheck(true);
  EXPECT_TRUE(page.GetCheck());
}

TEST(SkinnedControls, ProgressBarFillsItsShareOfTheLength) {
  skin_test::App();
  platform::ResetMessageBoxes();
  suite::test::TempFolder folder("korvel-controls");
  QImage back(100, 10, QImage::Format_RGB32), fill(100, 10, QImage::Format_RGB32);
  back.fill(Qt::black);
  fill.fill(Qt::green);
  back.save(QString::fromStdString(folder / "Back.jpg"), "JPG");
  fill.save(QString::fromStdString(folder / "Fill.jpg"), "JPG");

  MBmpProgress bar;
  bar.resize(200, 16);
  ASSERT_TRUE(bar.LoadBitmaps(folder / "Back.jpg", folder / "Fill.jpg"));
  bar.SetRange(0, 100);
  bar.SetPos(37);
  EXPECT_EQ(bar.FilledLength(), 74);
  const QImage shot = bar.grab().toImage();
  EXPECT_TRUE(Near(shot.pixelColor(60, 8), Qt::green));
  EXPECT_TRUE(Near(shot.pixelColor(90, 8), Qt::black));
  EXPECT_EQ(bar.PercentText(), "");
  bar.SetShowPercent(true);
  EXPECT_EQ(bar.PercentText(), "37%");
  bar.SetPos(150);
  EXPECT_EQ(bar.GetPos(), 100);
  EXPECT_EQ(bar.FilledLength(), 200);

  bar.SetVertical(true);
  bar.SetPos(50);
  EXPECT_EQ(bar.FilledLength(), 8);
  const QImage tall = bar.grab().toImage();
  EXPECT_TRUE(Near(tall.pixelColor(100, 13), Qt::green));
  EXPECT_TRUE(Near(tall.pixelColor(100, 2), Qt::black));

  bar.SetRange(5, 5);  // an empty range draws nothing filled and never divides by zero
  EXPECT_EQ(bar.FilledLength(), 0);
  EXPECT_FALSE(bar.grab().isNull());
}

// Exposes the slider's own thumb rectangle for comparison.
class OpenSlider : public MSlider {
 public:
  using MSlider::MSlider;
  QRect StyleThumb() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  }
};

TEST(SkinnedControls, SliderThumbPictureSitsFivePixelsBelowTheThumb) {
  skin_test::App();
  OpenSlider slider(Qt::Horizontal);
  slider.resize(200, 30);
  slider.setRange(0, 10);
  for (int value : {0, 5, 10}) {
    slider.setValue(value);
    EXPECT_EQ(slider.ThumbPictureRect(), slider.StyleThumb().translated(0, 5)) << value;
  }
}

}  // namespace
