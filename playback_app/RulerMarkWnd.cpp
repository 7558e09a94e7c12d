#include "playback_app/RulerMarkWnd.h"

#include <QPainter>

namespace lumaro {

RulerMarkWnd::RulerMarkWnd(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("RulerMarkWnd"));
  // Clicks pass through to the ruler below: the cursor never swallows a seek.
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RulerMarkWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(255, 0, 0));
}

}  // namespace lumaro
