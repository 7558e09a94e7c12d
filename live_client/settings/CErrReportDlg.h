#pragma once

// The error report: a modeless window that gathers one paragraph per failed connect,
// disconnect, recording start or stop and per lost connection, so the operator can read what
// went wrong while the client keeps working. The report only grows while the client runs.
//
// It is a platform window: the connect workers and the connection-lost handlers post it
// message 0x52C (the main dialog passes on the ones it receives), handled on the UI thread:
//   wParam low 16 bits: event kind (ErrReportKind); high 16 bits: result code + 100 (connect)
//   lParam: window x 65536 + page for kinds 1-4; the login record (CLoginInfo*) for kind 5.

#include <QDialog>
#include <string>

#include "live_client/core/PageInfo.h"
#include "common/qt/QtMessagePump.h"
#include "platform/Window.h"

class QPlainTextEdit;
class CKorvelSkin;

enum class ErrReportKind {
  None = 0,
  Connect = 1,
  Disconnect = 2,
  StartRecord = 3,
  StopRecord = 4,
  ConnectionLost = 5,
};

// Name of a connect result code + 100 ("USER INFO ERROR" for 104); "" for codes without one.
const char* ConnectResultName(int code);

class CErrReportDlg : public QDialog, public platform::Window {
  Q_OBJECT

 public:
  // `skin` and `pages` outlive the dialog. Relabels its controls and takes its caption from the
  // language file; stays hidden until the first report.
  CErrReportDlg(const CKorvelSkin& skin, CPageInfo (&pages)[kPageCount], QWidget* parent = nullptr);
  ~CErrReportDlg() override;

  // Adds the paragraph of one event on the slot of `page` and `window` (0-based) and shows the
  // window. `code` is the connect result + 100 (kind 1 only).
  void Report(ErrReportKind kind, int code, int page, int window);
  // Handles message 0x52C as posted by the workers. UI thread.
  void OnErrReportMessage(platform::WPARAM wParam, platform::LPARAM lParam);

  // The whole report as 8-bit text, paragraphs ending in "\r\n\r\n".
  const std::string& ReportText() const { return report_; }

  // platform::Window: nothing is presented here.
  void Present(const platform::Picture&) override {}
  platform::Rect ClientRect() const override { return {0, 0, width(), height()}; }

 protected:
  void OnMessageQueued() override { pump_.Schedule(); }

 private:
  void Append(const std::string& paragraph);
  std::string Paragraph(ErrReportKind kind, int code, const CCameraInfo* slot, int page,
                        int window) const;

  const CKorvelSkin& skin_;
  CPageInfo (&pages_)[5];
  QtMessagePump pump_;
  QPlainTextEdit* edit_ = nullptr;
  std::string report_;
};
