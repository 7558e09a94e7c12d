// The skinned controls as a person sees them: which picture a button shows, the latching mute
// button, slider and label defaults.

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QTest>

#include "LumaroTestSupport.h"
#include "playback_app/SkinControls.h"

using namespace lumaro;

namespace {

ButtonPictures Faces(QSize size) {
  ButtonPictures pictures;
  const QColor colours[4] = {Qt::yellow, Qt::blue, Qt::red, Qt::gray};
  for (int i = 0; i < 4; ++i) {
    pictures[static_cast<std::size_t>(i)] = QImage(size, QImage::Format_RGB32);
    pictures[static_cast<std::size_t>(i)].fill(colours[i]);
  }
  return pictures;
}

QColor Centre(QWidget& widget) {
  return widget.grab().toImage().pixelColor(widget.width() / 2, widget.height() / 2);
}

TEST(LumaroSkinControls, PictureButtonShowsTheFaceOfItsState) {
  lumaro_test::App();
  QWidget parent;
  CPictureButton button(1000, "BTN_PLAY", &parent);
  ButtonPictures incomplete = Faces(QSize(30, 20));
  incomplete[3] = QImage();
  EXPECT_FALSE(button.SetPictures(incomplete));
  ASSERT_TRUE(button.SetPictures(Faces(QSize(30, 20))));
  EXPECT_EQ(button.size(), QSize(30, 20));  // the pictures' size, whatever the theme says
  parent.show();
  EXPECT_EQ(Centre(button), QColor(Qt::blue));

  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(&button, &enter);
  EXPECT_EQ(button.ShownFace(), kFaceHover);
  EXPECT_EQ(Centre(button), QColor(Qt::yellow));
  QTest::mousePress(&button, Qt::LeftButton);
  EXPECT_EQ(Centre(button), QColor(Qt::red));
  QTest::mouseRelease(&button, Qt::LeftButton);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&button, &leave);
  EXPECT_EQ(button.ShownFace(), kFaceNormal);
  button.setEnabled(false);
  EXPECT_EQ(Centre(button), QColor(Qt::gray));
  button.setEnabled(true);
  EXPECT_EQ(button.ShownFace(), kFaceNormal);

  // Only a latching button keeps the pressed face after a full click.
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_FALSE(button.IsLatched());
  CPictureButton mute(1043, "BTN_MUTE", &parent);
  mute.SetPictures(Faces(QSize(30, 20)));
  mute.SetLatching(true);
  mute.show();
  QTest::mouseClick(&mute, Qt::LeftButton);
  EXPECT_TRUE(mute.IsLatched());
  EXPECT_EQ(Centre(mute), QColor(Qt::red));
  QTest::mouseClick(&mute, Qt::LeftButton);
  EXPECT_FALSE(mute.IsLatched());
  EXPECT_EQ(Centre(mute), QColor(Qt::blue));
}

TEST(LumaroSkinControls, SliderTakesItsTrackSizeAndDrawsTheThumbAtItsValue) {
  lumaro_test::App();
  QWidget parent;
  CPictureSlider slider("IDC_SLIDER_PLAY", &parent);
  QImage track(200, 16, QImage::Format_RGB32);
  track.fill(Qt::black);
  QImage thumb(10, 16, QImage::Format_RGB32);
  thumb.fill(Qt::green);
  ASSERT_TRUE(slider.SetPictures(track, thumb));
  EXPECT_EQ(slider.size(), QSize(200, 16));
  slider.setRange(0, 500);
  slider.setValue(250);
  parent.show();
  const QImage shown = slider.grab().toImage();
  EXPECT_EQ(slider.ThumbRect(), QRect(95, 0, 10, 16));
  EXPECT_EQ(shown.pixelColor(100, 8), QColor(Qt::green));
  EXPECT_EQ(shown.pixelColor(20, 8), QColor(Qt::black));

  CColorWnd swatch("WNDCOLOR_ALARM", QColor(255, 0, 254), &parent);
  EXPECT_EQ(swatch.windowTitle(), QStringLiteral("ColorWnd"));
  EXPECT_EQ(swatch.size(), QSize(1, 1));
}

}  // namespace
