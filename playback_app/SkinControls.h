#pragma once

// The skinned controls of the main dialog: picture buttons, coloured labels and check box,
// picture sliders, time pickers and the record-type colour swatches.

#include <QAbstractButton>
#include <QCheckBox>
#include <QColor>
#include <QImage>
#include <QSlider>
#include <QTimeEdit>
#include <QWidget>

#include "playback_app/LumaroSkin.h"

namespace lumaro {

// A button drawn from four pictures (hover, normal, pressed, disabled). The face shown:
// disabled while disabled, pressed while pushed (or latched), hover while the pointer is over
// it, normal otherwise. A latching button flips its latched state on each full click.
class CPictureButton : public QAbstractButton {
  Q_OBJECT
 public:
  CPictureButton(int id, const QString& section, QWidget* parent);

  int Id() const { return id_; }
  // All four pictures must be present; the button takes the first picture's size.
  bool SetPictures(const ButtonPictures& pictures);
  void SetLatching(bool latching) {
    latching_ = latching;
    setCheckable(latching);
  }
  bool IsLatched() const { return latched_; }
  void SetLatched(bool latched);
  // Caption drawing: text offset and colour (only buttons with TEXTPOS draw a caption).
  void SetCaptionStyle(const SkinPoint& offset, const QColor& color);
  // Caption colour on the pressed picture (also shown while latched); the caption colour
  // until set.
  void SetPressedCaptionColor(const QColor& color);
  QColor CaptionColorOn(int face) const;
  SkinPoint CaptionOffset() const { return captionOffset_; }
  bool HasCaption() const { return hasCaption_; }
  const ButtonPictures& Pictures() const { return pictures_; }
  // The face currently drawn (ButtonFace).
  int ShownFace() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void nextCheckState() override;

 private:
  int id_;
  ButtonPictures pictures_;
  bool hover_ = false;
  bool latching_ = false;
  bool latched_ = false;
  bool hasCaption_ = false;
  SkinPoint captionOffset_;
  QColor captionColor_;
  QColor pressedCaptionColor_;
};

// A label whose text is drawn over the dialog's background in its own colour, at its offset.
class CColorStatic : public QWidget {
  Q_OBJECT
 public:
  CColorStatic(const QString& section, QWidget* parent);
  void SetText(const QString& text);
  QString Text() const { return text_; }
  void SetTextColor(const QColor& color);
  QColor TextColor() const { return color_; }
  void SetTextOffset(const SkinPoint& offset);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
  QColor color_{0, 0, 255};
  SkinPoint offset_;
};

// The remote check box: transparent background, green text.
class CColorCheckBox : public QCheckBox {
  Q_OBJECT
 public:
  CColorCheckBox(const QString& section, QWidget* parent);
};

// A slider drawn from a track picture and a fixed-length thumb picture.
class CPictureSlider : public QSlider {
  Q_OBJECT
 public:
  CPictureSlider(const QString& section, QWidget* parent);
  // Both pictures must be present; the slider takes the track's size.
  bool SetPictures(const QImage& track, const QImage& thumb);
  QRect ThumbRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage track_;
  QImage thumb_;
};

// A time picker on a grey background.
class CDateTimeBox : public QTimeEdit {
  Q_OBJECT
 public:
  CDateTimeBox(const QString& section, QWidget* parent);
};

// A swatch that fills itself with one colour (the record-type legend).
class CColorWnd : public QWidget {
  Q_OBJECT
 public:
  CColorWnd(const QString& section, const QColor& color, QWidget* parent);
  QColor Color() const { return color_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor color_;
};

}  // namespace lumaro
