#pragma once

// The PTZ presets of the selected window: a preset number and the three preset commands of
// the pad (add, clear, go), for cameras that keep presets by number. Opened from the window
// menu; it stays open beside the video while the operator works with it.

#include <QDialog>
#include <functional>

class CKorvelSkin;
class QSpinBox;

class CPresetDlg : public QDialog {
  Q_OBJECT

 public:
  // `send` carries out one preset command (code 17-19) with the number typed.
  using Sender = std::function<void(int code, int number)>;
  CPresetDlg(const CKorvelSkin& skin, Sender send, QWidget* parent = nullptr);

  int Number() const;

 private:
  QSpinBox* number_ = nullptr;
  const Sender send_;
};
