#pragma once

// Bar drawn from two pictures: the background over the whole control, then the filled picture
// over position / range of the width (horizontal, from the left) or of the height (vertical,
// from the bottom). Optionally the share is written as "<n>%" centred on the bar. Used for the
// disk-usage bar. User-interface thread only.

#include <string>

#include <QColor>
#include <QImage>
#include <QWidget>

class MBmpProgress : public QWidget {
  Q_OBJECT

 public:
  explicit MBmpProgress(QWidget* parent = nullptr);

  // Background and filled pictures (e.g. the theme's STC_PROGRESS_BACK / _PROGRESS files).
  bool LoadBitmaps(const std::string& backPath, const std::string& fillPath);
  void SetRange(int minimum, int maximum);
  // Clamped to the range.
  void SetPos(int position);
  int GetPos() const { return position_; }
  void SetVertical(bool vertical);
  void SetShowPercent(bool show);
  void SetTextColor(const QColor& color);

  // Pixels of the filled part along the bar for the current position and size.
  int FilledLength() const;
  // The percentage text drawn ("" when the percentage is not shown).
  QString PercentText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage back_;
  QImage fill_;
  int minimum_ = 0;
  int maximum_ = 100;
  int position_ = 0;
  bool vertical_ = false;
  bool showPercent_ = false;
  QColor textColor_{255, 255, 255};
};
