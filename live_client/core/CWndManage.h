#pragma once

// The grid of 25 video windows: which of them are shown (a square of side 1-5 starting at
// nFirst), where each cell lies, scrolling by screenfuls and full-screen mode. UI thread only.

#include <QRect>
#include <QWidget>
#include <string>
#include <vector>

#include "live_client/core/CVideoDlg.h"

// What the grid needs from the dialog that owns it.
class WndManageHost {
 public:
  virtual ~WndManageHost() = default;
  // The current display page 0-4.
  virtual int CurrentPage() const = 0;
  // Language text of `key` (8-bit), "" when missing.
  virtual std::string LanguageText(const char* key) const = 0;
  // Screen size in pixels: full-screen cells divide it.
  virtual QSize ScreenSize() const = 0;
  // Shows (true) or hides every control of the dialog that is not a video window.
  virtual void ShowOtherControls(bool show) = 0;
  // The windows were placed again (layout, full screen, grid rectangle).
  virtual void GridLaidOut() {}
};

class CWndManage {
 public:
  explicit CWndManage(WndManageHost& host);
  ~CWndManage();
  CWndManage(const CWndManage&) = delete;
  CWndManage& operator=(const CWndManage&) = delete;

  // Makes `count` windows as children of `parent`, sets the grid rectangle, selects window 0
  // and shows all 25.
  void Create(int count, const QRect& rect, QWidget* parent, int frameStyle);
  // New grid rectangle (dialog client coordinates), then the current layout again.
  void SetRect(const QRect& rect);

  // Shows a square of side n (1-5) around the selected window.
  void SetLayout(int n);
  // Places and shows the windows nFirst..nLast, hides the rest, sets every title.
  void Position();
  // Cell of window i, or an empty rectangle when i is not in the shown range.
  QRect GetCellRect(int i) const;
  // Previous / next screenful; the first window of the new screenful becomes selected.
  void PageUp();
  void PageDown();
  // Full-screen mode: cells divide the whole screen and the dialog's other controls hide.
  void SetFullScreen(int f);
  // Sets the title of window k (or of all windows) from its slot and repaints it.
  void DisplayStatus(int nCurWnd);
  void DisplayStatus();

  CVideoDlg* Window(int i) { return i >= 0 && i < static_cast<int>(windows_.size()) ? windows_[i] : nullptr; }
  int Count() const { return nCount; }

  // Grid state, in this order. nCur and nPage are copies taken at each layout.
  QRect rect;
  int nSide = 0;
  int nPrevSide = 0;
  int nFirst = 0;
  int nLast = 0;
  int nCur = -1;
  int nCount = 25;
  int nPage = 0;
  int bFull = 0;

 private:
  std::string TitleOf(int window) const;

  WndManageHost& host_;
  std::vector<CVideoDlg*> windows_;  // owned by their Qt parent, deleted by ~CWndManage
};
