#pragma once

// Transparent text label: its text is drawn in its own colour over whatever the parent painted
// below it (default: the button-text colour of the palette). Changing the text repaints the
// parent's area under the label, so no old text is left behind.

#include <QColor>
#include <QLabel>
#include <string>

class MHollowStatic : public QLabel {
  Q_OBJECT

 public:
  explicit MHollowStatic(QWidget* parent = nullptr);

  void SetTextColor(const QColor& color);
  QColor TextColor() const;
  // Where the text starts inside the label (the theme's TEXTPOS).
  void SetTextPos(int x, int y);
  // Sets the text from the system's 8-bit text.
  void SetSystemText(const std::string& text);
};
