#include "live_client/skin/MHollowStatic.h"

#include "common/qt/SystemText.h"

MHollowStatic::MHollowStatic(QWidget* parent) : QLabel(parent) {
  setAutoFillBackground(false);
  setAttribute(Qt::WA_TranslucentBackground);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, colours.color(QPalette::ButtonText));
  setPalette(colours);
}

void MHollowStatic::SetTextColor(const QColor& color) {
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, color);
  setPalette(colours);
  update();
}

QColor MHollowStatic::TextColor() const { return palette().color(QPalette::WindowText); }

void MHollowStatic::SetTextPos(int x, int y) {
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  setContentsMargins(x, y, 0, 0);
}

void MHollowStatic::SetSystemText(const std::string& text) {
  setText(FromSystemText(text));
  if (parentWidget()) parentWidget()->update(geometry());
}
