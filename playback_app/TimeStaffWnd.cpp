#include "playback_app/TimeStaffWnd.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>
#include <cstdio>

#include "platform/Window.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/RulerMarkWnd.h"

namespace lumaro {

namespace {

constexpr int kSecondsPerNormalBlock = 7200;  // 12 blocks = 24 hours
constexpr int kSecondsPerZoomedBlock = 600;   // 12 blocks = 2 hours
constexpr int kSecondsPerDay = 24 * 3600;

QColor TypeColour(int type) {
  switch (type) {
    case kRecordAuto: return QColor(0, 255, 0);
    case kRecordAlarm: return QColor(255, 0, 254);
    default: return QColor(0, 0, 255);
  }
}

}  // namespace

TimeStaffWnd::TimeStaffWnd(void* owner, QWidget* parent) : QWidget(parent), m_owner(owner) {
  setObjectName(QStringLiteral("TimeStaffWnd"));
  setCursor(Qt::ArrowCursor);
  setMouseTracking(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor(192, 192, 192));
  setPalette(palette);
  m_bBuiltWide = g_bTheme1440;

  m_pMark = new RulerMarkWnd(this);
  m_pScroll = new QScrollBar(Qt::Vertical, this);
  m_pScroll->setObjectName(QStringLiteral("TimeStaffScroll"));
  m_pScroll->setRange(0, kMaxScroll);
  m_pScroll->setSingleStep(1);
  m_pScroll->setPageStep(kVisibleRows);
  connect(m_pScroll, &QScrollBar::valueChanged, this, [this](int value) { SetScrollPos(value); });
  m_pAll = new QPushButton(QStringLiteral("All"), this);
  m_pAll->setObjectName(QStringLiteral("TimeStaffAll"));
  m_pAll->hide();
  PlaceChildren();
  ResetCursor();
}

int TimeStaffWnd::NormalBlock() const { return g_bTheme1440 ? 84 : 60; }
int TimeStaffWnd::ZoomedBlock() const { return g_bTheme1440 ? 80 : 60; }
int TimeStaffWnd::BlockWidth() const { return m_bZoomed ? ZoomedBlock() : NormalBlock(); }

void TimeStaffWnd::SetLineWidth(int width) {
  m_nLineWidth = std::max(1, width);
  // A theme change may also have changed the block widths the bars were built with.
  if (m_bBuiltWide != g_bTheme1440) {
    m_bBuiltWide = g_bTheme1440;
    for (int channel = 1; channel <= kRows; ++channel) {
      const std::size_t i = static_cast<std::size_t>(channel - 1);
      if (!m_records[i].empty()) BuildRow(channel, std::vector<RecordFileInfo>(m_records[i]), m_dayStart[i]);
    }
  }
  update();
}

void TimeStaffWnd::SetRowLabel(int channel, const std::string& label) {
  if (channel < 1 || channel > kRows) return;
  m_labels[static_cast<std::size_t>(channel - 1)] = label;
  update();
}

void TimeStaffWnd::BuildRow(int channel, const std::vector<RecordFileInfo>& records, std::time_t dayStart) {
  if (channel < 1 || channel > kRows) return;
  const std::size_t index = static_cast<std::size_t>(channel - 1);
  std::vector<RulerBar>& bars = m_bars[index];
  bars.clear();
  m_records[index] = records;
  m_dayStart[index] = dayStart;
  m_bBuiltWide = g_bTheme1440;
  const int w = NormalBlock();
  const int v = ZoomedBlock();
  for (const RecordFileInfo& record : records) {
    // Recordings crossing midnight are cut at the day's ends so that no bar leaves the scale.
    long long start = static_cast<long long>(record.tStart - dayStart);
    long long duration = std::max(0, record.nDuration);
    if (start < 0) {
      duration += start;
      start = 0;
    }
    if (start >= kSecondsPerDay || duration < 0) continue;
    duration = std::min<long long>(duration, kSecondsPerDay - start);
    RulerBar bar;
    bar.nStart = static_cast<int>(start);
    bar.nDuration = static_cast<int>(duration);
    bar.colour = TypeColour(record.nType);
    // Ends round up to whole pixels of each scale, so a short recording stays visible.
    int left = kX0 + static_cast<int>(start * w / kSecondsPerNormalBlock);
    int right = kX0 + static_cast<int>((start + duration + 119) * w / kSecondsPerNormalBlock);
    if (duration > 0 && right <= left) right = left + 1;
    bar.rcNormal = QRect(QPoint(left, 0), QPoint(right - 1, 0));
    left = kX0 + static_cast<int>(start * v / kSecondsPerZoomedBlock);
    right = kX0 + static_cast<int>((start + duration + 9) * v / kSecondsPerZoomedBlock);
    if (duration > 0 && right <= left) right = left + 1;
    bar.rcZoomed = QRect(QPoint(left, 0), QPoint(right - 1, 0));
    bars.push_back(bar);
  }
  ResetCursor();
  update();
}

void TimeStaffWnd::ClearRow(int channel) {
  if (channel < 1 || channel > kRows) return;
  const std::size_t index = static_cast<std::size_t>(channel - 1);
  m_bars[index].clear();
  m_records[index].clear();
  m_labels[index].clear();
  update();
}

void TimeStaffWnd::SetSelectedRow(int channel) {
  m_nSelectedRow = channel;
  update();
}

int TimeStaffWnd::CursorX(int seconds) const {
  if (!m_bZoomed) return kX0 + seconds * NormalBlock() / kSecondsPerNormalBlock;
  const int v = ZoomedBlock();
  return kX0 + seconds * v / kSecondsPerZoomedBlock - (m_nZoomHour / 2) * v * kBlocks;
}

void TimeStaffWnd::PlaceCursor() {
  const int x = CursorX(m_nCursorSeconds);
  m_pMark->setGeometry(x, 0, 1, RowsBottom());
  m_pMark->setVisible(x >= kX0 && x <= TimeAreaRight());
}

void TimeStaffWnd::SetCursorTime(int seconds) {
  m_nCursorSeconds = std::clamp(seconds, 0, kSecondsPerDay - 1);
  PlaceCursor();
}

void TimeStaffWnd::ResetCursor() {
  // The start of the shown span.
  m_nCursorSeconds = m_bZoomed ? m_nZoomHour * 3600 : 0;
  PlaceCursor();
}

void TimeStaffWnd::SetScrollPos(int position) {
  position = std::clamp(position, 0, kMaxScroll);
  if (m_pScroll->value() != position) {
    m_pScroll->setValue(position);  // comes back here through valueChanged
    return;
  }
  if (position == m_nScroll) return;
  m_nScroll = position;
  update();
  platform::PostMessage(m_owner, UM_RULER_SCROLL, static_cast<platform::WPARAM>(position), 0);
}

void TimeStaffWnd::PlaceChildren() {
  m_pScroll->setGeometry(width() - kLabelWidth, 0, kLabelWidth, RowsBottom());
  m_pAll->setGeometry(0, RowsBottom() + 1, kX0, std::max(1, height() - RowsBottom() - 1));
  PlaceCursor();
}

void TimeStaffWnd::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceChildren();
}

void TimeStaffWnd::paintEvent(QPaintEvent*) {
  // QWidget painting is double-buffered already: no flicker from the bars drawn last.
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Window));
  const QColor lineColour(230, 230, 230);
  painter.setPen(QPen(lineColour, m_nLineWidth, Qt::SolidLine));
  QFont font = painter.font();
  font.setPixelSize(12);
  painter.setFont(font);

  const int bottom = height();
  const int rowsBottom = RowsBottom();
  const int right = TimeAreaRight();
  const int w = BlockWidth();

  // Row area frame and the five row boundaries.
  painter.drawLine(0, 0, 0, rowsBottom);
  painter.drawLine(right, 0, right, rowsBottom);
  for (int i = 0; i <= kVisibleRows; ++i) painter.drawLine(0, i * kRowHeight, right, i * kRowHeight);

  // Scale: major lines with their hour labels, minor ticks below the rows.
  const int ticksPerBlock = m_bZoomed ? 10 : 12;
  const int longEvery = m_bZoomed ? 5 : 6;
  for (int i = 0; i <= kBlocks; ++i) {
    const int x = kX0 + i * w;
    painter.setPen(QPen(lineColour, m_nLineWidth, Qt::SolidLine));
    painter.drawLine(x, 0, x, bottom - 15);
    char text[16] = "";
    if (!m_bZoomed) {
      std::snprintf(text, sizeof text, "%02d", 2 * i);
    } else if (i % 3 == 0) {
      const int minutes = i * 10;
      std::snprintf(text, sizeof text, "%02d:%02d", m_nZoomHour + minutes / 60, minutes % 60);
    }
    if (text[0]) {
      painter.setPen(QColor(240, 240, 240));
      painter.drawText(QRect(x - 20, bottom - 15, 40, 15), Qt::AlignCenter, QString::fromLatin1(text));
    }
  }
  painter.setPen(QPen(lineColour, m_nLineWidth, Qt::SolidLine));
  for (int i = 0; i < kBlocks * ticksPerBlock; ++i) {
    const int x = kX0 + i * w / ticksPerBlock;
    painter.drawLine(x, rowsBottom, x, bottom - (i % longEvery == 0 ? 15 : 20));
  }

  // Bars of the visible rows.
  const int spanStart = m_nZoomHour * 3600;
  const int shift = (m_nZoomHour / 2) * ZoomedBlock() * kBlocks;
  for (int row = 0; row < kVisibleRows; ++row) {
    const int top = row * kRowHeight + 2;
    const int height = kRowHeight - 2;
    for (const RulerBar& bar : m_bars[static_cast<std::size_t>(m_nScroll + row)]) {
      QRect r;
      if (!m_bZoomed) {
        r = QRect(bar.rcNormal.left(), top, bar.rcNormal.width(), height);
      } else {
        if (bar.nStart + bar.nDuration <= spanStart || bar.nStart >= spanStart + 7200) continue;
        const int left = std::max(kX0, bar.rcZoomed.left() - shift);
        const int barRight = std::min(right, bar.rcZoomed.right() + 1 - shift);
        if (barRight <= left) continue;
        r = QRect(left, top, barRight - left, height);
      }
      painter.fillRect(r, bar.colour);
    }
  }

  // Row labels: the selected channel green.
  for (int row = 0; row < kVisibleRows; ++row) {
    const int channel = m_nScroll + row + 1;
    const std::string& label = m_labels[static_cast<std::size_t>(channel - 1)];
    if (label.empty()) continue;
    painter.setPen(channel == m_nSelectedRow ? QColor(0, 255, 0) : QColor(255, 255, 255));
    painter.drawText(QRect(1, row * kRowHeight, kX0 - 1, kRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     QString::fromStdString(label));
  }
}

void TimeStaffWnd::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int x = static_cast<int>(event->position().x());
  const int y = static_cast<int>(event->position().y());
  const int rowsBottom = RowsBottom();
  if (x < kLabelWidth && y >= 0 && y < rowsBottom) {
    const int channel = m_nScroll + y / kRowHeight + 1;
    if (!m_labels[static_cast<std::size_t>(channel - 1)].empty())
      platform::PostMessage(m_owner, UM_CHANNEL_EVENT, static_cast<platform::WPARAM>(channel), 4);
    return;
  }
  if (x < kX0 || x >= TimeAreaRight()) return;
  if (y >= rowsBottom) {
    // The scale strip: zoom into the 2-hour span of the block under the pointer, or back out.
    if (!m_bZoomed) {
      m_nZoomHour = (x - kX0) / NormalBlock() * 2;
      m_bZoomed = true;
    } else {
      m_bZoomed = false;
    }
    PlaceChildren();
    update();
    return;
  }
  if (y < 0) return;
  const int seconds = m_bZoomed ? (x - kX0 + m_nZoomHour * ZoomedBlock() * kBlocks / 2) * kSecondsPerZoomedBlock /
                                      ZoomedBlock()
                                : (x - kX0) * kSecondsPerNormalBlock / NormalBlock();
  SetCursorTime(seconds);
  platform::PostMessage(m_owner, UM_RULER_SEEK, static_cast<platform::WPARAM>(m_nCursorSeconds), 0);
}

void TimeStaffWnd::mouseMoveEvent(QMouseEvent* event) {
  const int x = static_cast<int>(event->position().x());
  if (x >= kX0 && x < TimeAreaRight())
    setCursor(m_bZoomed ? Qt::SizeHorCursor : Qt::PointingHandCursor);
  else
    setCursor(Qt::ArrowCursor);
  QWidget::mouseMoveEvent(event);
}

}  // namespace lumaro
