#pragma once

// The ruler's cursor: a 1-pixel red line as tall as the visible rows, moved sideways to the
// moment the operator chose (or the moment being played).

#include <QWidget>

namespace lumaro {

class RulerMarkWnd : public QWidget {
  Q_OBJECT
 public:
  explicit RulerMarkWnd(QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace lumaro
