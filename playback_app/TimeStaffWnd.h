#pragma once

// The time ruler of time mode: one row per channel (four visible at a time) with the day's
// recordings as coloured bars on a 24-hour scale, or on a 2-hour span when zoomed. A click on
// a row moves the cursor and asks the owner dialog to play every selected channel from there;
// a click on a row label selects that channel's window; a click on the scale strip zooms.
//
// Talks to its owner only by posting the dialog's private messages (LumaroIds.h):
// UM_RULER_SEEK (wParam: chosen second of the day), UM_CHANNEL_EVENT (channel, 4) and
// UM_RULER_SCROLL (first visible row). User-interface thread only.

#include <QColor>
#include <QRect>
#include <QWidget>
#include <array>
#include <ctime>
#include <string>
#include <vector>

#include "playback_app/LumaroIds.h"
#include "playback_app/RecordSearch.h"

class QPushButton;
class QScrollBar;

namespace lumaro {

class RulerMarkWnd;

// One recording drawn on a row.
struct RulerBar {
  QRect rcNormal;    // unzoomed view
  QRect rcZoomed;    // zoomed view, before the shift by the span start
  QColor colour;
  int nDuration = 0;  // seconds
  int nStart = 0;     // second of the day
};

class TimeStaffWnd : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kRows = kChannels;
  static constexpr int kVisibleRows = 4;
  static constexpr int kRowHeight = 16;
  static constexpr int kMaxScroll = kRows - kVisibleRows;  // 20
  static constexpr int kLabelWidth = 14;
  static constexpr int kX0 = kLabelWidth + 13;             // start of the time area
  static constexpr int kBlocks = 12;

  TimeStaffWnd(void* owner, QWidget* parent);

  // Theme values: the pen width of the ruler's lines (the background is the palette's Window
  // colour). Block widths follow g_bTheme1440 at every build and paint.
  void SetLineWidth(int width);

  // Row `channel` (1..24): its label ("%02d" while selected, empty otherwise) and its bars
  // from the channel's recordings of the day starting at `dayStart`. Rebuilding a row puts
  // the cursor back to the start of the time area.
  void SetRowLabel(int channel, const std::string& label);
  void BuildRow(int channel, const std::vector<RecordFileInfo>& records, std::time_t dayStart);
  void ClearRow(int channel);
  // The row drawn green (0 = none).
  void SetSelectedRow(int channel);

  // Cursor: to a second of the day (hidden when outside the shown span), or back to x0.
  void SetCursorTime(int seconds);
  void ResetCursor();
  int CursorSeconds() const { return m_nCursorSeconds; }

  // First visible row, clamped to 0..20; posts UM_RULER_SCROLL.
  void SetScrollPos(int position);
  int ScrollPos() const { return m_nScroll; }
  bool IsZoomed() const { return m_bZoomed; }
  int ZoomHour() const { return m_nZoomHour; }
  int BlockWidth() const;  // of the current view
  const std::vector<RulerBar>& Bars(int channel) const { return m_bars[static_cast<std::size_t>(channel - 1)]; }
  const std::string& RowLabel(int channel) const { return m_labels[static_cast<std::size_t>(channel - 1)]; }
  RulerMarkWnd* Mark() const { return m_pMark; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int NormalBlock() const;
  int ZoomedBlock() const;
  int TimeAreaRight() const { return kX0 + kBlocks * BlockWidth(); }
  int RowsBottom() const { return kVisibleRows * kRowHeight; }
  int CursorX(int seconds) const;
  void PlaceCursor();
  void PlaceChildren();

  void* m_owner;
  std::array<std::string, kRows> m_labels{};
  std::array<std::vector<RulerBar>, kRows> m_bars{};
  std::array<std::time_t, kRows> m_dayStart{};
  std::array<std::vector<RecordFileInfo>, kRows> m_records{};  // kept to rebuild after a theme change
  int m_nScroll = 0;
  bool m_bZoomed = false;
  int m_nZoomHour = 0;     // even: 0, 2, .., 22
  int m_nCursorSeconds = 0;
  int m_nSelectedRow = 0;  // channel, 0 = none
  int m_nLineWidth = 1;
  bool m_bBuiltWide = false;  // the block width the bars were built with
  RulerMarkWnd* m_pMark = nullptr;
  QScrollBar* m_pScroll = nullptr;
  QPushButton* m_pAll = nullptr;
};

}  // namespace lumaro
