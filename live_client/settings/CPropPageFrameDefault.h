#pragma once

// The frame on the right of the settings sheet: the caption of the shown page in a band across
// its top, the page below it. With no page to show (a tree item that only groups others) it
// shows the empty-page text instead.

#include <QString>
#include <QWidget>

class CPropPageFrameDefault : public QWidget {
  Q_OBJECT

 public:
  // Name the frame's window class carries; also its objectName.
  static constexpr const char* kClassName = "Page Frame";
  static constexpr int kCaptionHeight = 26;

  explicit CPropPageFrameDefault(QWidget* parent = nullptr);

  // Shows `page` (may be null) under `caption`; `message` is drawn when there is no page.
  void ShowPage(QWidget* page, const QString& caption, const QString& message = {});
  QWidget* Page() const { return page_; }
  QString Caption() const { return caption_; }
  QString Message() const { return message_; }
  // Where a page is placed, in frame coordinates.
  QRect PageRect() const;
  // Room for the largest least size among the pages it holds, so a sheet is never made
  // smaller than a page can be laid out in.
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* page_ = nullptr;
  QString caption_;
  QString message_;
};
