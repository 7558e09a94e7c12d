#pragma once

// Slider drawn from a background picture over the client area and a thumb picture at the
// thumb rectangle the slider reports, 5 pixels lower.

#include <string>

#include <QImage>
#include <QSlider>

class MSlider : public QSlider {
  Q_OBJECT

 public:
  explicit MSlider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

  bool LoadBitmaps(const std::string& backPath, const std::string& thumbPath);
  // Where the thumb picture is drawn now.
  QRect ThumbPictureRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage back_;
  QImage thumb_;
};
