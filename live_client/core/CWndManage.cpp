#include "live_client/core/CWndManage.h"

#include <algorithm>

#include "common/TraceMessage.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/PageInfo.h"
#include "live_client/skin/TextFormat.h"

CWndManage::CWndManage(WndManageHost& host) : host_(host) {}

CWndManage::~CWndManage() {
  for (CVideoDlg* window : windows_) delete window;
  windows_.clear();
  TraceMessage("~CWndManage");
}

void CWndManage::Create(int count, const QRect& area, QWidget* parent, int frameStyle) {
  nCount = std::clamp(count, 0, kVideoWindowCount);
  for (int i = 0; i < nCount; ++i) windows_.push_back(new CVideoDlg(i, frameStyle, parent));
  rect = area;
  g_nCurWnd = 0;
  SetLayout(5);
}

void CWndManage::SetRect(const QRect& area) {
  rect = area;
  SetLayout(nSide);
}

void CWndManage::SetLayout(int n) {
  n = std::clamp(n, 1, 5);
  nCur = std::clamp(g_nCurWnd.load(), 0, nCount - 1);
  if (n != nSide) nPrevSide = nSide;
  nSide = n;
  const int shown = n * n;
  if (n == 1) {
    nFirst = nCur;
  } else {
    nFirst = nCur - nCur % shown;
    // The last screenful is always a full one.
    if (nCount - nFirst < shown) nFirst = nCount - shown;
  }
  Position();
}

void CWndManage::Position() {
  TraceMessage("CWndPage::Position()");
  nPage = host_.CurrentPage();
  nLast = std::min(nFirst + nSide * nSide, nCount) - 1;
  for (int i = nFirst; i <= nLast; ++i) {
    windows_[i]->hide();
    windows_[i]->setGeometry(GetCellRect(i));
  }
  for (int d = 0; d < nCount; ++d) {
    CVideoDlg* window = windows_[d];
    window->SetTitle(TitleOf(d));
    if (d >= nFirst && d <= nLast) {
      window->show();
      window->raise();
      window->update();
    } else {
      window->hide();
    }
  }
  host_.GridLaidOut();
}

QRect CWndManage::GetCellRect(int i) const {
  const int n = nSide;
  if (n <= 0 || i < nFirst || i > nFirst + n * n - 1) return QRect();
  QRect area = rect;
  if (bFull) {
    const QSize screen = host_.ScreenSize();
    area = QRect(0, 0, screen.width() + 1, screen.height() + 2);
  }
  const int cellWidth = area.width() / n;
  const int cellHeight = area.height() / n;
  const int row = (i - nFirst) / n;
  const int column = (i - nFirst) % n;
  return QRect(area.left() + column * cellWidth, area.top() + row * cellHeight, cellWidth,
               cellHeight);
}

void CWndManage::PageUp() {
  nFirst = std::max(nFirst - nSide * nSide, 0);
  g_nCurWnd = nCur = nFirst;
  SetLayout(nSide);
}

void CWndManage::PageDown() {
  nFirst = nFirst + nSide * nSide;
  if (nCount - nFirst <= 0) nFirst = 0;  // past the last window: back to the first
  g_nCurWnd = nCur = nFirst;
  SetLayout(nSide);
}

void CWndManage::SetFullScreen(int f) {
  bFull = f;
  SetLayout(nSide);
  host_.ShowOtherControls(f == 0);
}

void CWndManage::DisplayStatus(int nCurWnd) {
  TraceMessage("-> DisplayStatus(int nCurWnd)");
  if (CVideoDlg* window = Window(nCurWnd)) {
    window->SetTitle(TitleOf(nCurWnd));
    window->update();
  }
  TraceMessage("DisplayStatus(int nCurWnd) <-");
}

void CWndManage::DisplayStatus() {
  TraceMessage("-> DisplayStatus()");
  for (int d = 0; d < nCount; ++d) {
    windows_[d]->SetTitle(TitleOf(d));
    windows_[d]->update();
  }
  TraceMessage("DisplayStatus() <-");
}

std::string CWndManage::TitleOf(int window) const {
  const int page = std::clamp(host_.CurrentPage(), 0, kPageCount - 1);
  CCameraInfo& slot = g_PageInfo[page].camera[window];
  {
    std::lock_guard<platform::CriticalSection> guard(slot.lock);
    if (slot.IsAssigned()) return slot.strSvrDesc + "      " + slot.strCamDesc;
  }
  return FormatText(host_.LanguageText("IDS_WINDOW_NUM"), {window + 1});
}
