#pragma once

// What the main dialog asks of the settings folder: the settings sheet behind its settings
// button, and the pop-up notifier and error report it owns. Each is one call, so the dialog
// only names them. User-interface thread only.

#include <functional>
#include <string>
#include <vector>

#include "live_client/core/KorvelConfig.h"
#include "live_client/core/PageInfo.h"
#include "platform/Sync.h"
#include "platform/Window.h"

class CKorvelDlg;
class CKorvelSkin;
class CPropertyPage;
class CTreePropSheet;
class CTaskbarNotifier;
class CErrReportDlg;
class QWidget;

// The schedule page, made by the recording-schedule code of the client: (skin, owner of its
// message boxes) -> a page the sheet takes over. Without a factory the sheet has two pages.
using SchedulePageFactory = std::function<CPropertyPage*(const CKorvelSkin& skin, void* owner)>;
void SetSchedulePageFactory(SchedulePageFactory factory);

// The three pages in the order page assignment, schedule, disk management, with the tree's
// images, caption and empty-page text; not yet shown. The caller owns the sheet.
CTreePropSheet* BuildSettingsSheet(const CKorvelSkin& skin, CPageInfo (&pages)[kPageCount],
                                   CKorvelSettings& settings,
                                   const std::vector<std::string>& diskList, void* owner,
                                   platform::CriticalSection* settingsLock, QWidget* parent);

// Settings button: runs the sheet modally, then saves "Korvel.cfg" and refreshes the video
// grid and the camera tree, however the sheet was closed (camera edits are stored at once).
// Returns the sheet's result.
int RunKorvelSettings(CKorvelDlg& dialog);

// Creates the error report (hidden until its first paragraph) and the notifier (skin
// "TaskBarNotify_MSN.bmp", 9 pt text in blue inside (10, 40, width - 10, height - 25)) as
// children of the dialog. Once only.
void CreateKorvelPopups(CKorvelDlg& dialog);
// The dialog's notifier and error report; null before CreateKorvelPopups.
CTaskbarNotifier* FindNotifier(QWidget* dialog);
CErrReportDlg* FindErrReport(QWidget* dialog);
// Snapshot result in the dialog's notifier, captioned "Snap" (in 500 ms, kept 3000 ms, out in
// 500 ms): the saved file's path, drawn as a link the operator can click to open its folder;
// or the text of "IDS_SNAP_FAIL" with the path, drawn plainly. `path` is the stored (drive
// letter) form; the notifier shows where the file is on this computer, the host path.
void NotifySnapshotResult(CKorvelDlg& dialog, bool saved, const std::string& path);

// Starts an outside program without waiting for it: (program, arguments) -> started. An empty
// function restores the default, a detached process; tests put a recorder in its place.
using ProgramLauncher =
    std::function<bool(const std::string& program, const std::vector<std::string>& arguments)>;
void SetProgramLauncher(ProgramLauncher launcher);
// A click on the snapshot notice: opens the folder holding the picture `path` (the notice's
// text, a host path; a drive-letter path is mapped first) in the desktop's file manager with "xdg-open <folder>". A text that is no
// existing file (a failure notice) opens nothing. True when the opener was started.
bool OpenSnapshotFolder(const std::string& path);
// Passes message 0x52C that reached the main dialog on to its error report.
void ForwardErrReport(CKorvelDlg& dialog, const platform::Message& message);
