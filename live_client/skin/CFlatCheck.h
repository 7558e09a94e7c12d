#pragma once

// Owner-drawn toggle of the page buttons (main window and page assignment page). It shows the
// pressed look only while its owner has set it (SetCheck); a click does not toggle it by itself.
// Left-button down sends its parent message 2140 with (control id, 1), left-button up message
// 2140 with (control id, 0), through parentMessage; the owner then sets this button and
// releases the previous one. Pictures: theme section "BTN_PAGECHECK", key "BMPNAME".

#include <string>

#include <QAbstractButton>
#include <QImage>

inline constexpr unsigned kFlatCheckMessage = 2140;

class CFlatCheck : public QAbstractButton {
  Q_OBJECT

 public:
  explicit CFlatCheck(QWidget* parent = nullptr, int controlId = 0);

  int ControlId() const { return controlId_; }
  void SetControlId(int id) { controlId_ = id; }

  // Pictures skinFolder + baseName + "U.jpg" (released) and "D.jpg" (set); "H.jpg" for hover.
  bool LoadBitmaps(const std::string& skinFolder, const std::string& baseName);

  void SetCheck(bool set);
  bool GetCheck() const { return set_; }

 signals:
  void parentMessage(unsigned message, quintptr wParam, qintptr lParam);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  int controlId_ = 0;
  bool set_ = false;
  bool hovering_ = false;
  QImage released_;
  QImage pressed_;
  QImage hover_;
};
