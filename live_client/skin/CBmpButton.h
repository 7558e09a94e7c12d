#pragma once

// Push button drawn from four theme pictures: BMPNAME + "U.jpg" normal, "H.jpg" hover,
// "D.jpg" pressed, "X.jpg" disabled. Face: disabled when disabled, pressed while held down (or
// checked), hover while the mouse is over it, normal otherwise; losing the focus, the mouse
// leaving or being enabled again returns it to normal. The picture covers the whole button, so
// nothing is erased behind it. A caption (text not beginning with "BTN_") is drawn centred over
// the picture. User-interface thread only.

#include <string>

#include <QAbstractButton>
#include <QColor>
#include <QImage>

enum class ButtonFace { Normal = 0, Hover, Pressed, Disabled };

class CBmpButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit CBmpButton(QWidget* parent = nullptr, int controlId = 0);

  int ControlId() const { return controlId_; }
  void SetControlId(int id) { controlId_ = id; }

  // Loads skinFolder + baseName + "U.jpg", "H.jpg", "D.jpg", "X.jpg". A missing picture is
  // reported by the loader and leaves that face empty (drawn as a plain panel); the button keeps
  // working. True when all four were loaded.
  bool LoadBitmaps(const std::string& skinFolder, const std::string& baseName);
  bool HasFace(ButtonFace face) const { return !faces_[static_cast<int>(face)].isNull(); }

  // The face the next paint draws.
  ButtonFace CurrentFace() const;
  // Colour of the caption.
  void SetCaptionColor(const QColor& color);
  // Pixels at the left kept free of the caption (a text button's picture carries its symbol
  // there); the caption is centred in the rest.
  void SetCaptionIndent(int pixels);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  int controlId_ = 0;
  bool hovering_ = false;
  QImage faces_[4];  // indexed by ButtonFace
  QColor captionColor_{235, 242, 250};
  int captionIndent_ = 0;
};
