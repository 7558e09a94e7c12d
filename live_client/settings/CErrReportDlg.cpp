#include "live_client/settings/CErrReportDlg.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <mutex>

#include "common/TraceMessage.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelLogin.h"
#include "live_client/core/LoginInfo.h"
#include "live_client/skin/KorvelSkin.h"
#include "live_client/skin/SkinApply.h"
#include "common/qt/SystemText.h"
#include "live_client/skin/TextFormat.h"

namespace {

// Where the dialog opens and its size, in pixels of the screen.
constexpr int kReportLeft = 200;
constexpr int kReportTop = 270;
constexpr int kReportWidth = 520;
constexpr int kReportHeight = 300;
// A loss report waits this long when the camera table is busy with a connect.
constexpr int kLossRetryMs = 50;

const char* FormatKey(ErrReportKind kind) {
  switch (kind) {
    case ErrReportKind::Connect: return "IDS_CONNECT_ERRREPORT";
    case ErrReportKind::Disconnect: return "IDS_DISCONNECT_ERRREPORT";
    case ErrReportKind::StartRecord: return "IDS_STARTREC_ERRREPORT";
    case ErrReportKind::StopRecord: return "IDS_STOPREC_ERRREPORT";
    case ErrReportKind::ConnectionLost: return "IDS_CONNLOST_ERRREPORT";
    case ErrReportKind::None: break;
  }
  return nullptr;
}

}  // namespace

const char* ConnectResultName(int code) {
  switch (code) {
    case 98: return "DOMAIN NAME RESOVE FAILED";
    case 99: return "EXIST CONNECTION";
    case 100: return "SUCCESS";
    case 101: return "OVER TIME";
    case 104: return "USER INFO ERROR";
    case 109: return "NO VIDEO SOURCE";
    default: return "";
  }
}

CErrReportDlg::CErrReportDlg(const CKorvelSkin& skin, CPageInfo (&pages)[kPageCount],
                             QWidget* parent)
    : QDialog(parent, Qt::Dialog), skin_(skin), pages_(pages), pump_(*this) {
  setObjectName(QStringLiteral("CErrReportDlg"));
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  edit_ = new QPlainTextEdit(this);
  edit_->setObjectName(QStringLiteral("EDIT_REPORT"));
  edit_->setReadOnly(true);
  layout->addWidget(edit_);
  auto* close = new QPushButton(QStringLiteral("STC_OK"), this);
  close->setObjectName(QStringLiteral("BTN_ERRREPORT_OK"));
  layout->addWidget(close, 0, Qt::AlignRight);
  connect(close, &QPushButton::clicked, this, &QWidget::hide);

  setWindowTitle(FromSystemText(skin_.Text("IDS_ERRREPORTDLG_CAPTION")));
  RelabelControls(this, skin_);
  setGeometry(kReportLeft, kReportTop, kReportWidth, kReportHeight);
  SetMessageHandler([this](const platform::Message& message) -> platform::LRESULT {
    if (message.message == korvel::WM_KORVEL_ERRREPORT)
      OnErrReportMessage(message.wParam, message.lParam);
    return 0;
  });
}

CErrReportDlg::~CErrReportDlg() {
  pump_.Detach();
  CloseWindow();
}

std::string CErrReportDlg::Paragraph(ErrReportKind kind, int code, const CCameraInfo* slot,
                                     int page, int window) const {
  const char* key = FormatKey(kind);
  if (!key) return {};
  const std::string format = skin_.Text(key);
  const std::string camera = slot ? slot->strCamDesc : std::string();
  const std::string server = slot ? slot->strSvrDesc : std::string();
  if (kind == ErrReportKind::Connect) {
    TraceMessage("----------------------  nRet: %d  ", code);
    // A camera without a media service is told in the operator's language; the other
    // reasons keep their fixed names.
    const std::string reason = code == kConnectNoMediaService + 100
                                   ? skin_.Text("IDS_CONNECT_NO_MEDIA")
                                   : std::string(ConnectResultName(code));
    return FormatText(format, {page + 1, window + 1, camera, server, reason});
  }
  return FormatText(format, {page + 1, window + 1, camera, server});
}

void CErrReportDlg::Report(ErrReportKind kind, int code, int page, int window) {
  if (page < 0 || page >= kPageCount || window < 0 || window >= kSlotsPerPage) {
    TraceMessage("[KORVEL] - error report for page %d window %d ignored", page, window);
    return;
  }
  // The descriptions are written only by the settings sheet on this thread, so they are read
  // without the slot's lock, which a worker may hold for a whole connect.
  const CCameraInfo& slot = pages_[page].camera[window];
  const std::string paragraph = Paragraph(kind, code, &slot, page, window);
  Append(paragraph);
}

void CErrReportDlg::OnErrReportMessage(platform::WPARAM wParam, platform::LPARAM lParam) {
  const auto kind = static_cast<ErrReportKind>(wParam & 0xFFFF);
  const int code = static_cast<int>((wParam >> 16) & 0xFFFF);
  if (kind != ErrReportKind::ConnectionLost) {
    Report(kind, code, static_cast<int>(lParam & 0xFFFF), static_cast<int>((lParam >> 16) & 0xFFFF));
    return;
  }

  // A lost connection names its login record, which a worker may have removed since the
  // handler posted: only a record still in the login table is read.
  if (!g_csCameraTable.TryEnter()) {
    // A worker holds the table for a connect that can take seconds; ask again shortly rather
    // than stall the user interface.
    QTimer::singleShot(kLossRetryMs, this, [this, wParam, lParam] { OnErrReportMessage(wParam, lParam); });
    return;
  }
  const auto* login = reinterpret_cast<const CLoginInfo*>(lParam);
  const CCameraInfo* first = nullptr;
  bool known = false;
  for (const auto& record : g_LoginTable) {
    if (record.get() != login) continue;
    known = true;
    std::lock_guard<platform::CriticalSection> guard(record->lock);
    for (CCameraInfo* slot : record->pCamera) {
      if (slot) {
        first = slot;
        break;
      }
    }
    break;
  }
  g_csCameraTable.Leave();
  if (!known) {
    TraceMessage("[KORVEL] - connection lost of a login no longer in the table");
    return;
  }
  for (int p = 0; p < kPageCount; ++p) {
    for (int w = 0; w < kSlotsPerPage; ++w) {
      if (&pages_[p].camera[w] == first) {
        Report(ErrReportKind::ConnectionLost, 0, p, w);
        return;
      }
    }
  }
  // No slot uses the login any more: the paragraph still tells of the loss.
  Append(Paragraph(ErrReportKind::ConnectionLost, 0, nullptr, 0, 0));
}

void CErrReportDlg::Append(const std::string& paragraph) {
  show();
  raise();
  report_ += paragraph;
  report_ += "\r\n\r\n";
  // The edit shows line ends as Qt knows them; the report keeps them as written.
  QString shown = FromSystemText(paragraph);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QTextCursor cursor = edit_->textCursor();
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(shown + QStringLiteral("\n\n"));
  edit_->setTextCursor(cursor);
  edit_->ensureCursorVisible();
}
