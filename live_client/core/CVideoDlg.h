#pragma once

// One video window of the grid: a frame, the drawing surface its render port paints into, and
// below it a status strip with the window's title and record mark. UI thread only, except
// Surface(), whose handle the render library uses from its own threads.

#include <QLabel>
#include <QWidget>

#include "live_client/core/CVideoStatic.h"

class CVideoDlg : public QWidget {
  Q_OBJECT

 public:
  // `index` is the window's index 0-24; `frameStyle` as the dialog's m_bFrameStyle.
  CVideoDlg(int index, int frameStyle, QWidget* parent);

  int nIndex = -1;     // the window's index, -1 until created
  int bReady = 0;      // set once the controls exist

  // The render port's target: a platform window handle.
  void* SurfaceHandle() { return surface_->Handle(); }
  CVideoStatic* Surface() { return surface_; }
  QLabel* TitleLabel() { return title_; }
  QLabel* RecordMark() { return recordMark_; }

  // Frame style 1: status strip with title and record mark under the picture; 0: picture only.
  void SetFrameStyle(int frameStyle);
  int FrameStyle() const { return frameStyle_; }
  // `text` is the system's 8-bit text.
  void SetTitle(const std::string& text);
  // Record mark text: "●" while the slot records, empty otherwise.
  void SetRecording(bool recording);
  bool IsRecordingMarked() const;
  // Font of the record mark: "Times New Roman" (or the face standing in for it), 15 pixels
  // high, 25 pixels average character width, normal weight.
  static QFont RecordMarkFont();

 signals:
  void selectRequested(int index);
  void doubleClicked(int index);
  void rightClicked(int index);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void LayoutControls();

  CVideoStatic* surface_ = nullptr;
  QLabel* title_ = nullptr;
  QLabel* recordMark_ = nullptr;
  int frameStyle_ = 1;
};
