#include "live_client/settings/KorvelSettings.h"

#include <QPainter>
#include <QProcess>
#include <filesystem>

#include "common/TraceMessage.h"
#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/settings/CErrReportDlg.h"
#include "live_client/settings/CPageDiskManagement.h"
#include "live_client/settings/CPageSet.h"
#include "live_client/settings/CRecordDlg.h"
#include "live_client/settings/CTaskbarNotifier.h"
#include "live_client/settings/CTreePropSheet.h"
#include "live_client/skin/KorvelSkin.h"
#include "live_client/skin/SkinApply.h"
#include "common/qt/SystemText.h"
#include "live_client/skin/TextFormat.h"
#include "platform/Paths.h"

namespace {

constexpr const char kNotifierSkin[] = "TaskBarNotify_MSN.bmp";
constexpr const char kNotifierFont[] = "MS San Serif";
constexpr int kNotifierFontTenths = 90;
constexpr unsigned kNotifierTextColor = 0xC80000;  // COLORREF: blue
// How a snapshot result is shown: slide-in, stay and slide-out times, pixels per step.
constexpr int kSnapAppearMs = 500;
constexpr int kSnapStayMs = 3000;
constexpr int kSnapHideMs = 500;
constexpr int kSnapStep = 1;
// The tree's images: 32 pixels wide, white is transparent.
constexpr int kTreeImageWidth = 32;
constexpr int kTreeImageHeight = 20;
enum TreeImage { kImagePages = 0, kImageSchedule = 1, kImageDisks = 2, kImageCount = 3 };

ProgramLauncher& Launcher() {
  static ProgramLauncher launcher;
  return launcher;
}

bool LaunchDetached(const std::string& program, const std::vector<std::string>& arguments) {
  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  return QProcess::startDetached(QString::fromStdString(program), list);
}

SchedulePageFactory& ScheduleFactory() {
  static SchedulePageFactory factory;
  return factory;
}

// The strip of tree images, one picture per page kind, drawn on white.
QList<QIcon> TreeImages() {
  QImage strip(kTreeImageWidth * kImageCount, kTreeImageHeight, QImage::Format_RGB32);
  strip.fill(Qt::white);
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor ink(32, 72, 128);
  // Pages: a 2 x 2 grid of screens.
  p.setPen(QPen(ink, 1.5));
  p.setBrush(QColor(120, 170, 230));
  for (int i = 0; i < 4; ++i) p.drawRect(QRectF(7 + (i % 2) * 10, 2 + (i / 2) * 8, 8, 6));
  // Schedule: a clock.
  p.setBrush(QColor(250, 220, 120));
  p.drawEllipse(QPointF(kTreeImageWidth + 16, 10), 8, 8);
  p.drawLine(QPointF(kTreeImageWidth + 16, 10), QPointF(kTreeImageWidth + 16, 4.5));
  p.drawLine(QPointF(kTreeImageWidth + 16, 10), QPointF(kTreeImageWidth + 20, 12));
  // Disks: a stack of two drives.
  p.setBrush(QColor(170, 180, 195));
  p.drawRoundedRect(QRectF(2 * kTreeImageWidth + 6, 3, 20, 6), 2, 2);
  p.drawRoundedRect(QRectF(2 * kTreeImageWidth + 6, 11, 20, 6), 2, 2);
  p.setBrush(QColor(60, 200, 90));
  p.drawEllipse(QPointF(2 * kTreeImageWidth + 22, 6), 1.5, 1.5);
  p.drawEllipse(QPointF(2 * kTreeImageWidth + 22, 14), 1.5, 1.5);
  p.end();

  QList<QIcon> images;
  for (int i = 0; i < kImageCount; ++i) {
    QPixmap image = QPixmap::fromImage(
        strip.copy(i * kTreeImageWidth, 0, kTreeImageWidth, kTreeImageHeight));
    image.setMask(image.createMaskFromColor(Qt::white, Qt::MaskInColor));
    images << QIcon(image);
  }
  return images;
}

}  // namespace

void SetSchedulePageFactory(SchedulePageFactory factory) { ScheduleFactory() = std::move(factory); }

CTreePropSheet* BuildSettingsSheet(const CKorvelSkin& skin, CPageInfo (&pages)[kPageCount],
                                   CKorvelSettings& settings,
                                   const std::vector<std::string>& diskList, void* owner,
                                   platform::CriticalSection* settingsLock, QWidget* parent) {
  auto* sheet = new CTreePropSheet(FromSystemText(skin.Text("IDS_PROPERTNAME")), parent);
  RelabelControls(sheet, skin);
  sheet->SetImages(TreeImages(), QSize(kTreeImageWidth, kTreeImageHeight));
  sheet->SetTreeViewMode(true, true, true);
  sheet->SetEmptyPageText(QStringLiteral("Please select a child item of '%1'."));
  sheet->AddPage(new CPageSet(skin, pages, owner), kImagePages);
  if (ScheduleFactory()) {
    if (CPropertyPage* schedule = ScheduleFactory()(skin, owner)) sheet->AddPage(schedule, kImageSchedule);
  }
  sheet->AddPage(new CPageDiskManagement(skin, settings, diskList, owner, settingsLock), kImageDisks);
  return sheet;
}

int RunKorvelSettings(CKorvelDlg& dialog) {
  TraceMessage("[KORVEL] - CKorvelDlg::OnBtnConfig.");
  RegisterSchedulePage(g_PageInfo, ClientRecordingTally());
  std::unique_ptr<CTreePropSheet> sheet(BuildSettingsSheet(
      dialog.Skin(), g_PageInfo, dialog, dialog.m_strDiskLst, dialog.Handle(), &dialog.m_csDialog,
      &dialog));
  const int result = sheet->DoModal();
  sheet.reset();
  SaveConfigToFile(dialog.ClientFolder(), g_PageInfo, dialog);
  if (CWndManage* grid = dialog.WndManage()) grid->DisplayStatus();
  dialog.BuildTree();
  return result;
}

void CreateKorvelPopups(CKorvelDlg& dialog) {
  if (FindErrReport(&dialog)) return;
  new CErrReportDlg(dialog.Skin(), g_PageInfo, &dialog);
  auto* notifier = new CTaskbarNotifier(&dialog, dialog.Handle());
  notifier->SetSkin(dialog.Skin().PicturePath(kNotifierSkin));
  notifier->SetTextFont(kNotifierFont, kNotifierFontTenths);
  notifier->SetTextColor(kNotifierTextColor, kNotifierTextColor);
  notifier->SetTextRect(QRect(QPoint(10, 40), QPoint(notifier->width() - 10 - 1, notifier->height() - 25 - 1)));
}

CTaskbarNotifier* FindNotifier(QWidget* dialog) {
  return dialog ? dialog->findChild<CTaskbarNotifier*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

CErrReportDlg* FindErrReport(QWidget* dialog) {
  return dialog ? dialog->findChild<CErrReportDlg*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void NotifySnapshotResult(CKorvelDlg& dialog, bool saved, const std::string& path) {
  CTaskbarNotifier* notifier = FindNotifier(&dialog);
  if (!notifier) return;
  // The operator looks for the picture on this computer: the host path, not the drive form.
  const std::string hostPath = platform::ToHostPath(path);
  std::string text = hostPath;
  if (!saved) {
    // The failure text names the file when it has a place for it, else the path follows it.
    const std::string failure = dialog.Skin().Text("IDS_SNAP_FAIL");
    text = failure.find('%') != std::string::npos ? FormatText(failure, {hostPath})
                                                   : failure + "\r\n" + hostPath;
  }
  notifier->SetTextStyle(saved ? kNotifierTextHighlight : 0);
  notifier->Show("Snap", text, kSnapAppearMs, kSnapStayMs, kSnapHideMs, kSnapStep);
}

void SetProgramLauncher(ProgramLauncher launcher) { Launcher() = std::move(launcher); }

bool OpenSnapshotFolder(const std::string& path) {
  if (path.empty()) return false;
  // The notice shows host paths; a stored (drive letter) path is taken as well.
  const std::string file = platform::ToHostPath(path);
  std::error_code error;
  if (file.front() != '/' || !std::filesystem::is_regular_file(file, error)) return false;
  const std::string folder = std::filesystem::path(file).parent_path().string();
  const std::string program = "xdg-open";
  TraceMessage("[KORVEL] - opening snapshot folder: %s %s", program.c_str(), folder.c_str());
  const bool started = Launcher() ? Launcher()(program, {folder}) : LaunchDetached(program, {folder});
  if (!started) TraceMessage("[KORVEL] - %s could not be started", program.c_str());
  return started;
}

void ForwardErrReport(CKorvelDlg& dialog, const platform::Message& message) {
  if (CErrReportDlg* report = FindErrReport(&dialog))
    report->OnErrReportMessage(message.wParam, message.lParam);
}
