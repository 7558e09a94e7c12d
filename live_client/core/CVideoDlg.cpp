#include "live_client/core/CVideoDlg.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "live_client/core/KorvelColors.h"
#include "live_client/core/KorvelGlobals.h"
#include "common/qt/SystemText.h"

namespace {

// Height of the status strip at the bottom of a framed window, and of the texts in it.
constexpr int kStripRoom = 14;
constexpr int kStripHeight = 13;
const char kRecordMarkText[] = "\xE2\x97\x8F";  // "●"
// The record mark's font: 15 pixels high, characters 25 pixels wide on average, normal weight.
constexpr int kMarkFontHeight = 15;
constexpr int kMarkFontWidth = 25;

}  // namespace

QFont CVideoDlg::RecordMarkFont() {
  QFont font(QStringLiteral("Times New Roman"));
  font.setPixelSize(kMarkFontHeight);
  font.setWeight(QFont::Normal);
  // The width is the font's average character width; the face installed decides how wide it
  // draws by itself, so it is stretched to the width wanted.
  const int natural = QFontMetrics(font).averageCharWidth();
  if (natural > 0) font.setStretch(std::clamp(kMarkFontWidth * 100 / natural, 1, 4000));
  return font;
}

CVideoDlg::CVideoDlg(int index, int frameStyle, QWidget* parent)
    : QWidget(parent), nIndex(index), frameStyle_(frameStyle) {
  setObjectName(QStringLiteral("VideoWindow%1").arg(index));
  setAttribute(Qt::WA_OpaquePaintEvent);

  surface_ = new CVideoStatic(this);
  surface_->setObjectName(QStringLiteral("VideoSurface%1").arg(index));

  title_ = new QLabel(this);
  title_->setObjectName(QStringLiteral("VideoTitle%1").arg(index));
  title_->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  QFont titleFont = title_->font();
  titleFont.setPixelSize(11);
  title_->setFont(titleFont);

  recordMark_ = new QLabel(this);
  recordMark_->setObjectName(QStringLiteral("VideoRecMark%1").arg(index));
  recordMark_->setStyleSheet(QStringLiteral("color: red; background: transparent;"));
  recordMark_->setFont(RecordMarkFont());

  connect(surface_, &CVideoStatic::leftButtonDown, this, [this] { emit selectRequested(nIndex); });
  connect(surface_, &CVideoStatic::leftDoubleClick, this, [this] { emit doubleClicked(nIndex); });
  connect(surface_, &CVideoStatic::rightButtonDown, this, [this] { emit rightClicked(nIndex); });
  bReady = 1;
  LayoutControls();
}

void CVideoDlg::SetFrameStyle(int frameStyle) {
  frameStyle_ = frameStyle;
  LayoutControls();
  update();
}

void CVideoDlg::SetTitle(const std::string& text) { title_->setText(FromSystemText(text)); }

void CVideoDlg::SetRecording(bool recording) {
  recordMark_->setText(recording ? QString::fromUtf8(kRecordMarkText) : QString());
}

bool CVideoDlg::IsRecordingMarked() const { return !recordMark_->text().isEmpty(); }

void CVideoDlg::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (bReady) LayoutControls();
}

void CVideoDlg::LayoutControls() {
  // The frame takes one pixel on each side.
  const QRect inner = rect().adjusted(1, 1, -1, -1);
  if (frameStyle_ == 0) {
    surface_->setGeometry(inner.left(), inner.top(), inner.width(),
                          std::max(0, inner.height() - 1));
    title_->hide();
    recordMark_->hide();
    return;
  }
  const int w = inner.width();
  const int stripTop = inner.bottom() + 1 - kStripRoom;
  surface_->setGeometry(inner.left(), inner.top(), w, std::max(0, stripTop - inner.top()));
  const int quarter = w / 4;
  title_->setGeometry(inner.left() + quarter, stripTop, std::max(0, w - quarter), kStripHeight);
  const int markLeft = w / 100 + 5;
  recordMark_->setGeometry(inner.left() + markLeft, stripTop, std::max(0, quarter - markLeft),
                           kStripHeight);
  title_->show();
  recordMark_->show();
}

void CVideoDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const bool selected = g_nCurWnd == nIndex;
  painter.fillRect(rect(), korvel::ColorRef(selected ? korvel::kSelectedFrameColor
                                                      : korvel::kFrameColor));
  painter.fillRect(rect().adjusted(1, 1, -1, -1), korvel::ColorRef(korvel::kVideoFillColor));
}
