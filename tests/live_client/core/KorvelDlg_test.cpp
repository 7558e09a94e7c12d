// The main dialog as the operator meets it: start-up results, layouts, pages, the tree, the
// status line and the exit.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QRegularExpression>
#include <QTreeWidget>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "device_sdk/Glimmet/Glimmet.h"
#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/LoginInfo.h"
#include "live_client/core/PageInfo.h"
#include "live_client/settings/CTaskbarNotifier.h"
#include "live_client/settings/KorvelSettings.h"
#include "live_client/skin/MBmpProgress.h"
#include "live_client/skin/MHollowStatic.h"
#include "common/qt/SystemText.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Sync.h"
#include "tests/live_client/core/KorvelDialogFixture.h"

namespace fs = std::filesystem;
using namespace korvel;

namespace korvel_test {
namespace {

// Writes a Korvel.cfg with slot 2 of page 0 and slot 0 of page 4 assigned, the recording drive
// D:\ and a mask naming only the first listed drive.
void WriteConfiguration(const std::string& clientFolder) {
  CCameraInfo& front = g_PageInfo[0].camera[2];
  front.strAddr = "10.0.0.5";
  front.strSvrDesc = "Lobby DVR";
  front.strCamDesc = "Door";
  CCameraInfo& back = g_PageInfo[4].camera[0];
  back.strAddr = "10.0.0.9";
  back.strSvrDesc = "Yard";
  back.strCamDesc = "\xB4\xF3\xC3\xC5";  // GBK "大门"
  CKorvelSettings settings;
  settings.m_strRecDrive = "D:\\";
  settings.m_nRecDriveMask = 1;
  ASSERT_TRUE(SaveConfigToFile(clientFolder, g_PageInfo, settings));
  ResetClientTables();
}

// Serves the UI thread until `condition` holds; false when `timeout_ms` passed first (the
// QTRY macros only report to a QTest run, so a timed-out wait would pass silently here).
template <typename Condition>
bool WaitUntil(Condition condition, int timeout_ms) {
  return QTest::qWaitFor(condition, timeout_ms);
}

QTreeWidget* Tree(CKorvelDlg& dialog) { return dialog.findChild<QTreeWidget*>("TREE_CONFIG"); }

// A worker command that holds its window busy until released.
class GatedLink : public KorvelLiveLink {
 public:
  platform::Event entered{platform::EventReset::Manual, false};
  platform::Event release{platform::EventReset::Manual, false};
  std::atomic<int> disconnectAll{0};
  std::atomic<bool> workersRunningAtDisconnect{false};
  void RunCommand(int, ConnectCommand) override {
    entered.Set();
    platform::WaitForOne(&release, 10000);
  }
  bool StopPreview(int, int) override { return true; }
  bool Reconnect(int, int) override { return true; }
  void DisconnectAll() override { ++disconnectAll; }
  void Ptz(platform::WPARAM, platform::LPARAM) override {}
};

TEST_F(KorvelDialogTest, InitialisationShowsConfiguredGridTreeAndRenderPorts) {
  WriteConfiguration(ClientWindows());
  ASSERT_TRUE(OpenDialog());

  EXPECT_EQ(dialog_->windowTitle(), English("IDS_MIN_CAPTION"));
  EXPECT_EQ(dialog_->geometry(), QRect(0, 0, 1024, 768));
  EXPECT_EQ(g_LoginTable.size(), 126u);
  // The drives found are D and E; the file's mask replaces the fresh one.
  EXPECT_EQ(dialog_->m_strDiskLst, (std::vector<std::string>{"D:\\", "E:\\"}));
  EXPECT_EQ(dialog_->m_nRecDriveMask, 1);

  // All 25 windows shown at side 5 inside the theme's grid area, window 0 selected.
  EXPECT_EQ(ShownWindows().size(), 25u);
  EXPECT_EQ(g_nCurWnd, 0);
  const QRect grid(8, 30, 848, 646);
  for (int i = 0; i < 25; ++i) {
    EXPECT_TRUE(grid.contains(VideoWindow(i)->geometry())) << i;
    EXPECT_EQ(VideoWindow(i)->size(), QSize(848 / 5, 646 / 5)) << i;
  }
  EXPECT_EQ(VideoWindow(2)->TitleLabel()->text(), QString("Lobby DVR      Door"));
  EXPECT_EQ(VideoWindow(3)->TitleLabel()->text(), English("IDS_WINDOW_NUM").replace("%d", "4"));

  // Tree: page root, 25 slot items, images by slot state.
  QTreeWidget* tree = Tree(*dialog_);
  ASSERT_NE(tree, nullptr);
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* root = tree->topLevelItem(0);
  EXPECT_EQ(root->text(0), QString(English("IDS_PAGE_DISPLAY")).replace("%d", "1"));
  ASSERT_EQ(root->childCount(), 25);
  EXPECT_TRUE(root->child(2)->text(0).contains("10.0.0.5"));
  EXPECT_EQ(root->child(2)->data(0, Qt::UserRole + 1).toInt(), kTreeImageAssigned);
  EXPECT_EQ(root->child(0)->data(0, Qt::UserRole + 1).toInt(), kTreeImageUnassigned);
  EXPECT_FALSE(root->child(2)->icon(0).isNull());

  // No window records yet: the record button shows disabled, the stop button is hidden.
  EXPECT_TRUE(Control("BTN_RECORD")->isVisible());
  EXPECT_FALSE(Control("BTN_RECORD")->isEnabled());
  EXPECT_FALSE(Control("BTN_STOPRECORD")->isVisible());

  // Each window's render port draws into that window's surface.
  // Until then a surface shows the idle green; afterwards the picture (a mid grey here).
  CVideoStatic* surface = VideoWindow(7)->Surface();
  const QPoint middle(surface->width() / 2, surface->height() / 2);
  EXPECT_EQ(surface->grab().toImage().pixelColor(middle), QColor(0x28, 0x80, 0x35));
  std::vector<unsigned char> picture(352 * 288, 160);
  picture.resize(352 * 288 * 3 / 2, 128);
  const unsigned before = surface->PresentCount();
  EXPECT_EQ(GL_DisplayImg(7, picture.data(), 352, 288), GL_OK);
  EXPECT_EQ(surface->PresentCount(), before + 1);
  EXPECT_EQ(VideoWindow(8)->Surface()->PresentCount(), 0u);
  ASSERT_TRUE(WaitUntil([&] { return surface->grab().toImage().pixelColor(middle) != QColor(0x28, 0x80, 0x35); }, 5000));
  const QColor shown = surface->grab().toImage().pixelColor(middle);
  EXPECT_NEAR(shown.red(), shown.green(), 8);
  EXPECT_NEAR(shown.blue(), shown.green(), 8);
}

TEST_F(KorvelDialogTest, LayoutButtonsAndMenuCommandsShowSquaresOfWindows) {
  ASSERT_TRUE(OpenDialog());
  const QRect grid(8, 30, 848, 646);
  struct Case {
    const char* button;
    int menu;
    int side;
  };
  for (const Case& c : {Case{"BTN_SINGLE", ID_MENU_LAYOUT_1, 1}, Case{"BTN_FOUR", ID_MENU_LAYOUT_4, 2},
                        Case{"BTN_NINE", ID_MENU_LAYOUT_9, 3}, Case{"BTN_SIXTEEN", ID_MENU_LAYOUT_16, 4},
                        Case{"BTN_TWENTYFIVE", ID_MENU_LAYOUT_25, 5}}) {
    SCOPED_TRACE(c.button);
    Click("BTN_TWENTYFIVE");
    Click(c.button);
    std::vector<int> shown = ShownWindows();
    ASSERT_EQ(static_cast<int>(shown.size()), c.side * c.side);
    EXPECT_EQ(VideoWindow(shown.front())->geometry(),
              QRect(grid.left(), grid.top(), grid.width() / c.side, grid.height() / c.side));
    EXPECT_EQ(dialog_->m_nLayout, c.side);

    // The context menu's command does the same.
    Click("BTN_TWENTYFIVE");
    QAction* action = dialog_->findChild<QAction*>(QStringLiteral("Menu%1").arg(c.menu));
    ASSERT_NE(action, nullptr);
    action->trigger();
    EXPECT_EQ(static_cast<int>(ShownWindows().size()), c.side * c.side);
  }
}

TEST_F(KorvelDialogTest, ScrollingByScreenfulsKeepsTheLastScreenfulFullAndWraps) {
  ASSERT_TRUE(OpenDialog());
  CWndManage& grid = *dialog_->WndManage();

  // Side 4 with window 20 selected shows 9..24, the last full screenful.
  QTest::mouseClick(VideoWindow(20)->Surface(), Qt::LeftButton);
  EXPECT_EQ(g_nCurWnd, 20);
  Click("BTN_SIXTEEN");
  EXPECT_EQ(grid.nFirst, 9);
  EXPECT_EQ(ShownWindows().front(), 9);
  EXPECT_EQ(ShownWindows().back(), 24);
  // Page down from there passes the end and wraps to the first screenful.
  Click("BTN_PAGEDOWN");
  EXPECT_EQ(grid.nFirst, 0);
  EXPECT_EQ(g_nCurWnd, 0);
  EXPECT_EQ(ShownWindows().back(), 15);
  // Page down from 0 selects 16; the screenful then starts at 9.
  Click("BTN_PAGEDOWN");
  EXPECT_EQ(g_nCurWnd, 16);
  EXPECT_EQ(grid.nFirst, 9);

  // Side 2 starting at window 4: page up goes to 0 and selects window 0.
  Click("BTN_TWENTYFIVE");
  QTest::mouseClick(VideoWindow(4)->Surface(), Qt::LeftButton);
  Click("BTN_FOUR");
  EXPECT_EQ(ShownWindows(), (std::vector<int>{4, 5, 6, 7}));
  Click("BTN_PAGEUP");
  EXPECT_EQ(ShownWindows(), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(g_nCurWnd, 0);
  // Page up at the start stays there.
  Click("BTN_PAGEUP");
  EXPECT_EQ(grid.nFirst, 0);

  // Side 5 always shows everything, whichever window is selected.
  QTest::mouseClick(VideoWindow(3)->Surface(), Qt::LeftButton);
  Click("BTN_TWENTYFIVE");
  EXPECT_EQ(ShownWindows().size(), 25u);
  EXPECT_EQ(grid.GetCellRect(24).isEmpty(), false);
  Click("BTN_SINGLE");
  EXPECT_EQ(ShownWindows(), std::vector<int>{3});
  EXPECT_TRUE(grid.GetCellRect(4).isEmpty());
}

TEST_F(KorvelDialogTest, DoubleClickTogglesOneWindowAndRightClickFillsTheScreen) {
  ASSERT_TRUE(OpenDialog());
  Click("BTN_SIXTEEN");
  QTest::mouseDClick(VideoWindow(5)->Surface(), Qt::LeftButton);
  EXPECT_EQ(ShownWindows(), std::vector<int>{5});
  EXPECT_EQ(VideoWindow(5)->geometry(), QRect(8, 30, 848, 646));
  QTest::mouseDClick(VideoWindow(5)->Surface(), Qt::LeftButton);
  EXPECT_EQ(ShownWindows().size(), 16u);
  EXPECT_EQ(dialog_->m_nLayout, 4);

  // Right click selects the window and goes full screen: cells divide 1025 x 770 and every
  // other control hides.
  QTest::mouseClick(VideoWindow(6)->Surface(), Qt::RightButton);
  EXPECT_EQ(g_nCurWnd, 6);
  EXPECT_EQ(dialog_->m_bFullScreen, 1);
  EXPECT_EQ(VideoWindow(ShownWindows().front())->geometry(), QRect(0, 0, 1025 / 4, 770 / 4));
  EXPECT_FALSE(Control("BTN_SINGLE")->isVisible());
  EXPECT_FALSE(Control("TREE_CONFIG")->isVisible());
  EXPECT_FALSE(Control("STC_USEDISK")->isVisible());
  // Esc leaves full screen and asks nothing; the program goes on.
  platform::ResetMessageBoxes();
  QTest::keyClick(dialog_.get(), Qt::Key_Escape);
  EXPECT_EQ(dialog_->m_bFullScreen, 0);
  EXPECT_TRUE(platform::ShownMessageBoxes().empty());
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_TRUE(Control("TREE_CONFIG")->isVisible());
  QTest::mouseClick(VideoWindow(6)->Surface(), Qt::RightButton);
  EXPECT_EQ(dialog_->m_bFullScreen, 1);
  QTest::mouseClick(VideoWindow(6)->Surface(), Qt::RightButton);
  EXPECT_EQ(dialog_->m_bFullScreen, 0);
  EXPECT_TRUE(Control("BTN_SINGLE")->isVisible());
  EXPECT_TRUE(Control("BTN_RECORD")->isVisible());
  EXPECT_FALSE(Control("BTN_STOPRECORD")->isVisible());
  EXPECT_TRUE(QRect(8, 30, 848, 646).contains(VideoWindow(6)->geometry()));
}

// Notes the commands the workers are given.
class CommandLog : public KorvelLiveLink {
 public:
  std::atomic<int> window{-1};
  std::atomic<int> command{-1};
  platform::Event ran{platform::EventReset::Manual, false};
  void RunCommand(int w, ConnectCommand c) override {
    window = w;
    command = static_cast<int>(c);
    ran.Set();
  }
  bool StopPreview(int, int) override { return true; }
  bool Reconnect(int, int) override { return true; }
  void DisconnectAll() override {}
  void Ptz(platform::WPARAM, platform::LPARAM) override {}
};

TEST_F(KorvelDialogTest, TreeRightClickOpensTheWindowMenuOnThatWindow) {
  WriteConfiguration(ClientWindows());
  auto link = std::make_shared<CommandLog>();
  dialog_ = std::make_unique<CKorvelDlg>(ClientWindows());
  dialog_->SetLiveLink(link);
  ASSERT_TRUE(OpenDialog());
  auto* menu = dialog_->findChild<QMenu*>(QStringLiteral("ContextMenu"));
  ASSERT_NE(menu, nullptr);
  QTreeWidget* tree = Tree(*dialog_);
  QTreeWidgetItem* entry = tree->topLevelItem(0)->child(2);
  tree->scrollToItem(entry);
  const QPoint at = tree->visualItemRect(entry).center();

  // The right button on the entry of window 3 selects that window and opens the menu there;
  // nothing goes full screen.
  QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, at);
  QContextMenuEvent click(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
  QApplication::sendEvent(tree->viewport(), &click);
  EXPECT_EQ(g_nCurWnd, 2);
  ASSERT_TRUE(menu->isVisible());
  EXPECT_EQ(dialog_->m_bFullScreen, 0);

  // Its Connect entry connects that window.
  QAction* connectEntry = dialog_->findChild<QAction*>(QStringLiteral("Menu%1").arg(ID_MENU_CONNECT));
  ASSERT_NE(connectEntry, nullptr);
  EXPECT_TRUE(menu->actions().contains(connectEntry));
  menu->hide();
  connectEntry->trigger();
  ASSERT_EQ(platform::WaitForOne(&link->ran, 5000), platform::WAIT_OBJECT_0);
  EXPECT_EQ(link->window.load(), 2);
  EXPECT_EQ(link->command.load(), static_cast<int>(ConnectCommand::Connect));

  // On the page's own entry the menu opens too and the selected window stays.
  const QPoint rootAt = tree->visualItemRect(tree->topLevelItem(0)).center();
  QContextMenuEvent onRoot(QContextMenuEvent::Mouse, rootAt, tree->viewport()->mapToGlobal(rootAt));
  QApplication::sendEvent(tree->viewport(), &onRoot);
  EXPECT_TRUE(menu->isVisible());
  EXPECT_EQ(g_nCurWnd, 2);
  menu->hide();

  // In a video window the right button still means full screen and opens no menu.
  QTest::mouseClick(VideoWindow(4)->Surface(), Qt::RightButton);
  EXPECT_EQ(dialog_->m_bFullScreen, 1);
  EXPECT_FALSE(menu->isVisible());
}

TEST_F(KorvelDialogTest, WindowStyleTakesTheStatusStripAway) {
  ASSERT_TRUE(OpenDialog());
  CVideoDlg* window = VideoWindow(0);
  const int framedSurface = window->Surface()->height();
  EXPECT_TRUE(window->TitleLabel()->isVisible());
  Click("BTN_WINDOWSTYLE");
  EXPECT_EQ(dialog_->m_bFrameStyle, 0);
  EXPECT_FALSE(window->TitleLabel()->isVisible());
  EXPECT_EQ(window->Surface()->height(), window->height() - 3);
  EXPECT_GT(window->Surface()->height(), framedSurface);
  Click("BTN_WINDOWSTYLE");
  EXPECT_TRUE(window->TitleLabel()->isVisible());
}

TEST_F(KorvelDialogTest, DisplayPagesTurnWithWrapAndRetitleWindowsAndTree) {
  WriteConfiguration(ClientWindows());
  ASSERT_TRUE(OpenDialog());
  MHollowStatic* caption = Child<MHollowStatic>("STC_PAGEINFO");
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->text(), QString(English("IDS_PAGE_DISPLAY")).replace("%d", "1"));

  Click("BTN_PAGELEFT");  // from page 0 backwards: page 4
  EXPECT_EQ(dialog_->m_nCurPage, 4);
  EXPECT_EQ(caption->text(), QString(English("IDS_PAGE_DISPLAY")).replace("%d", "5"));
  EXPECT_EQ(Tree(*dialog_)->topLevelItem(0)->text(0), caption->text());
  EXPECT_TRUE(Tree(*dialog_)->topLevelItem(0)->child(0)->text(0).contains("10.0.0.9"));
  // Window 0 shows page 4's slot, with its GBK description readable.
  EXPECT_EQ(VideoWindow(0)->TitleLabel()->text(), QString::fromUtf8("Yard      大门"));
  EXPECT_EQ(VideoWindow(2)->TitleLabel()->text(), QString(English("IDS_WINDOW_NUM")).replace("%d", "3"));

  Click("BTN_PAGERIGHT");  // and forwards from 4: page 0
  EXPECT_EQ(dialog_->m_nCurPage, 0);
  EXPECT_EQ(VideoWindow(2)->TitleLabel()->text(), QString("Lobby DVR      Door"));

  // With the auto-page button pressed the layout stays as it is, but the windows still name
  // the slots of the page they now show.
  Click("BTN_AUTOPAGE");
  ASSERT_EQ(dialog_->m_btAutoPage, 1);
  Click("BTN_PAGELEFT");
  EXPECT_EQ(VideoWindow(0)->TitleLabel()->text(), QString::fromUtf8("Yard      大门"));
  EXPECT_EQ(VideoWindow(2)->TitleLabel()->text(), QString(English("IDS_WINDOW_NUM")).replace("%d", "3"));
}

TEST_F(KorvelDialogTest, PageChangeKeepsRecordingWindowsAndReconnectsOnlyTriedOnes) {
  struct CountingLink : GatedLink {
    std::vector<std::pair<int, int>> stopped, reconnected;
    bool StopPreview(int p, int w) override { stopped.emplace_back(p, w); return true; }
    bool Reconnect(int p, int w) override { reconnected.emplace_back(p, w); return true; }
  };
  auto link = std::make_shared<CountingLink>();
  dialog_ = std::make_unique<CKorvelDlg>(ClientWindows());
  dialog_->SetLiveLink(link);
  ASSERT_TRUE(OpenDialog());
  auto assign = [](int p, int w) -> CCameraInfo& {
    CCameraInfo& slot = g_PageInfo[p].camera[w];
    slot.strAddr = "10.0.0." + std::to_string(p * 25 + w + 1);
    return slot;
  };
  assign(0, 1).bConnected = 1;                    // idle: stopped
  CCameraInfo& recording = assign(0, 2);          // recording: kept
  recording.bConnected = 1;
  recording.nRecKind = 1;
  assign(0, 3).bConnected = 1;
  g_PageInfo[0].camera[3].bSchedOn = 1;           // schedule armed: kept
  CCameraInfo& tried = assign(1, 4);              // tried, unconnected: reconnected
  tried.bTried = 1;
  assign(1, 5);                                   // never tried: left alone
  CCameraInfo& lost = assign(1, 6);               // lost: left alone
  lost.bTried = 1;
  lost.nLostFlag = 1;
  CCameraInfo& background = assign(1, 7);         // recording in the background
  background.bTried = background.bConnected = 1;
  background.nRecKind = 2;

  Click("BTN_PAGERIGHT");
  EXPECT_EQ(link->stopped, (std::vector<std::pair<int, int>>{{0, 1}}));
  EXPECT_EQ(link->reconnected, (std::vector<std::pair<int, int>>{{1, 4}}));
  EXPECT_TRUE(VideoWindow(7)->IsRecordingMarked());
  EXPECT_FALSE(VideoWindow(2)->IsRecordingMarked());
  QTreeWidgetItem* root = Tree(*dialog_)->topLevelItem(0);
  ASSERT_TRUE(WaitUntil([&] { return (root->child(7)->data(0, Qt::UserRole + 1).toInt()) == (kTreeImageConnected); }, 5000));
  EXPECT_EQ(root->child(5)->data(0, Qt::UserRole + 1).toInt(), kTreeImageAssigned);
  EXPECT_EQ(root->child(6)->data(0, Qt::UserRole + 1).toInt(), kTreeImageFailed);
}

TEST_F(KorvelDialogTest, WorkerMessagesReachTreeAndRecordButtonsOnTheUiThread) {
  ASSERT_TRUE(OpenDialog());
  QTreeWidgetItem* item = Tree(*dialog_)->topLevelItem(0)->child(0);
  std::thread worker([this] {
    platform::PostMessage(dialog_->Handle(), WM_KORVEL_TREEIMAGE, 0, kTreeImagePending);
    dialog_->SetRecStatus(0, kRecButtonsCanStop);
  });
  worker.join();
  ASSERT_TRUE(WaitUntil([&] { return (item->data(0, Qt::UserRole + 1).toInt()) == (kTreeImagePending); }, 5000));
  ASSERT_TRUE(WaitUntil([&] { return Control("BTN_STOPRECORD")->isVisible(); }, 5000));
  EXPECT_TRUE(Control("BTN_STOPRECORD")->isEnabled());
  EXPECT_FALSE(Control("BTN_RECORD")->isVisible());

  // Another window's state waits until it is selected.
  platform::PostMessage(dialog_->Handle(), WM_KORVEL_RECSTATUS, 4, kRecButtonsCanStart);
  ASSERT_TRUE(WaitUntil([&] { return (dialog_->RecStatus(4)) == (kRecButtonsCanStart); }, 5000));
  EXPECT_FALSE(Control("BTN_RECORD")->isVisible());
  // Selecting it in the tree applies its state and moves the highlighted frame.
  QTreeWidget* tree = Tree(*dialog_);
  QTreeWidgetItem* item4 = tree->topLevelItem(0)->child(4);
  tree->scrollToItem(item4);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item4).center());
  EXPECT_EQ(g_nCurWnd, 4);
  EXPECT_EQ(g_nPrevWnd, 0);
  EXPECT_TRUE(Control("BTN_RECORD")->isVisible());
  EXPECT_TRUE(Control("BTN_RECORD")->isEnabled());
  EXPECT_FALSE(Control("BTN_STOPRECORD")->isVisible());
  EXPECT_EQ(VideoWindow(4)->grab().toImage().pixelColor(0, 0), QColor(0x00, 0xFF, 0xFF));
  EXPECT_EQ(VideoWindow(0)->grab().toImage().pixelColor(0, 0), QColor(0x8C, 0xAA, 0x96));

  // Window status: a slot assigned meanwhile gets its title on 0x914.
  g_PageInfo[0].camera[9].strAddr = "10.1.1.1";
  g_PageInfo[0].camera[9].strSvrDesc = "Gate";
  platform::PostMessage(dialog_->Handle(), WM_KORVEL_WNDSTATUS, 9, 0);
  ASSERT_TRUE(WaitUntil([&] { return (VideoWindow(9)->TitleLabel()->text()) == (QString("Gate      ")); }, 5000));

  // Record marks blink: shown three ticks, hidden the fourth.
  std::thread recorder([this] { dialog_->SetRecordMark(0, 9, 1); });
  recorder.join();
  ASSERT_TRUE(WaitUntil([&] { return VideoWindow(9)->IsRecordingMarked(); }, 5000));
  std::vector<bool> visible;
  for (int tick = 0; tick < 4; ++tick) {
    platform::SendMessage(dialog_->Handle(), platform::WM_TIMER, TIMER_BLINK, 0);
    visible.push_back(VideoWindow(9)->RecordMark()->isVisible());
  }
  EXPECT_EQ(visible, (std::vector<bool>{true, true, true, false}));
}

TEST_F(KorvelDialogTest, StatusLineShowsRunningTimeAndRecordingDisk) {
  WriteConfiguration(ClientWindows());
  // The drive watchdog would choose drives itself; here the test sets them.
  dialog_ = std::make_unique<CKorvelDlg>(ClientWindows());
  dialog_->SetMaintenanceThreadFactory({});
  ASSERT_TRUE(OpenDialog());
  MHollowStatic* days = Child<MHollowStatic>("STC_RUNDAYS");
  MHollowStatic* clock = Child<MHollowStatic>("STC_CLOCK");
  MHollowStatic* disk = Child<MHollowStatic>("STC_USEDISK");
  MBmpProgress* bar = Child<MBmpProgress>("STC_PROGRESS");
  ASSERT_TRUE(days && clock && disk && bar);

  EXPECT_EQ(days->text(), English("IDS_DISP_RUN") + "0" + English("IDS_DISP_DAY"));
  EXPECT_TRUE(QRegularExpression("^00:00:0\\d$").match(clock->text()).hasMatch()) << clock->text().toStdString();
  EXPECT_EQ(disk->text(), "D:\\VIDEO(" + English("IDS_DISK_FREE") + "2048M)");
  EXPECT_EQ(disk->TextColor(), QColor(255, 255, 255));
  EXPECT_EQ(bar->GetPos(), 75);

  // Space running out: the text turns red; no drive left: the GBK notice, readable.
  disks_->Set('D', 1024, 8192);
  dialog_->m_bNoDiskSpace = 1;
  platform::SendMessage(dialog_->Handle(), platform::WM_TIMER, TIMER_STATUS, 0);
  EXPECT_EQ(disk->text(), "D:\\VIDEO(" + English("IDS_DISK_FREE") + "1024M)");
  EXPECT_EQ(disk->TextColor(), QColor(255, 0, 0));
  EXPECT_EQ(bar->GetPos(), 88);
  dialog_->m_strRecDrive.clear();
  platform::SendMessage(dialog_->Handle(), platform::WM_TIMER, TIMER_STATUS, 0);
  EXPECT_EQ(disk->text(), QString::fromUtf8("全部磁盘空间满"));

  // The timer itself refreshes it once a second.
  dialog_->m_strRecDrive = "E:\\";
  ASSERT_TRUE(WaitUntil([&] { return (disk->text()) == ("E:\\VIDEO(" + English("IDS_DISK_FREE") + "100M)"); }, 3000));
}

TEST_F(KorvelDialogTest, EnterNeverClosesAndExitNeedsAYes) {
  ASSERT_TRUE(OpenDialog());
  QTest::keyClick(dialog_.get(), Qt::Key_Return);
  QTest::keyClick(dialog_.get(), Qt::Key_Enter);
  QTest::keyClick(dialog_.get(), Qt::Key_F1);
  EXPECT_TRUE(dialog_->isVisible());

  platform::ResetMessageBoxes();
  platform::ScriptMessageBoxAnswers({platform::IDNO});
  QTest::keyClick(dialog_.get(), Qt::Key_Escape);
  EXPECT_TRUE(dialog_->isVisible());
  auto boxes = platform::ShownMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(FromSystemText(boxes[0].text), English("IDS_QUEST_EXIT"));
  EXPECT_EQ(boxes[0].type & platform::MB_TYPEMASK, platform::MB_YESNO);

  platform::ScriptMessageBoxAnswers({platform::IDYES});
  Click("BTN_QUIT");
  ASSERT_TRUE(WaitUntil([&] { return !dialog_->isVisible(); }, 5000));
  EXPECT_EQ(dialog_->result(), QDialog::Rejected);
}

TEST_F(KorvelDialogTest, ExitWaitsForABusyWorkerWithoutBlockingTheUi) {
  auto link = std::make_shared<GatedLink>();
  dialog_ = std::make_unique<CKorvelDlg>(ClientWindows());
  dialog_->SetLiveLink(link);
  ASSERT_TRUE(OpenDialog());

  QTest::mouseClick(VideoWindow(3)->Surface(), Qt::LeftButton);
  dialog_->findChild<QAction*>(QStringLiteral("Menu%1").arg(ID_MENU_CONNECT))->trigger();
  ASSERT_EQ(platform::WaitForOne(&link->entered, 5000), platform::WAIT_OBJECT_0);
  EXPECT_FALSE(dialog_->IdleEvent(3)->IsSignalled());

  platform::ScriptMessageBoxAnswers({platform::IDYES});
  Click("BTN_EXIT");
  EXPECT_TRUE(dialog_->IsExitWaiting());
  // Several retries of timer 300 pass; the dialog stays and keeps serving messages.
  QTest::qWait(1200);
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_EQ(link->disconnectAll.load(), 0);
  platform::PostMessage(dialog_->Handle(), WM_KORVEL_TREEIMAGE, 3, kTreeImagePending);
  ASSERT_TRUE(WaitUntil([&] { return (Tree(*dialog_)->topLevelItem(0)->child(3)->data(0, Qt::UserRole + 1).toInt()) == (kTreeImagePending); }, 5000));

  link->release.Set();
  ASSERT_TRUE(WaitUntil([&] { return !dialog_->isVisible(); }, 3000));
  EXPECT_EQ(link->disconnectAll.load(), 1);
  EXPECT_EQ(dialog_->result(), QDialog::Rejected);
}

TEST_F(KorvelDialogTest, TeardownSavesTheConfigurationAndEmptiesTheLoginTable) {
  ASSERT_TRUE(OpenDialog());
  g_PageInfo[2].camera[11].strAddr = "192.168.7.7";
  platform::ScriptMessageBoxAnswers({platform::IDYES});
  Click("BTN_EXIT");
  ASSERT_TRUE(WaitUntil([&] { return !dialog_->isVisible(); }, 5000));
  dialog_->PostNcDestroy();
  EXPECT_TRUE(g_LoginTable.empty());
  EXPECT_EQ(g_bClosing.load(), 1);

  ResetClientTables();
  CKorvelSettings settings;
  ASSERT_EQ(LoadConfigFile(ClientWindows(), g_PageInfo, settings), 1);
  EXPECT_EQ(g_PageInfo[2].camera[11].strAddr, "192.168.7.7");
}

TEST_F(KorvelDialogTest, SnapshotFolderAndPlaybackStartTheirProgramsWithTheirCommandLines) {
  // A stand-in for the playback program records its arguments; the folder opener is recorded
  // in place of starting a file manager.
  const std::string log = ClientHost() + "/started.txt";
  {
    const std::string script = ClientHost() + "/Lumaro";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"Lumaro $*\" >> '" << log << "'\n";
    fs::permissions(script, fs::perms::owner_all);
  }
  std::vector<std::pair<std::string, std::vector<std::string>>> opened;
  SetProgramLauncher([&](const std::string& program, const std::vector<std::string>& arguments) {
    opened.emplace_back(program, arguments);
    return true;
  });
  fs::create_directories(drives_->Root('C') + "/Pic/10.0.0.5/01");
  std::ofstream(drives_->Root('C') + "/Pic/10.0.0.5/01/snap.jpg") << "x";
  ASSERT_TRUE(OpenDialog());

  static const char kMissing[] = "C:\\Pic\\none\\gone.jpg";
  platform::SendMessage(dialog_->Handle(), WM_KORVEL_OPENSNAPDIR,
                        reinterpret_cast<platform::WPARAM>(kMissing), 0);
  static const char kSnap[] = "C:\\Pic\\10.0.0.5\\01\\snap.jpg";
  platform::SendMessage(dialog_->Handle(), WM_KORVEL_OPENSNAPDIR,
                        reinterpret_cast<platform::WPARAM>(kSnap), 0);
  Click("BTN_PLAYBACK");

  auto contents = [&] {
    std::ifstream in(log);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  ASSERT_TRUE(WaitUntil([&] { return contents().find("Lumaro") != std::string::npos; }, 5000));
  EXPECT_NE(contents().find("Lumaro -pri=4294967295 -s=0\n"), std::string::npos) << contents();
  ASSERT_EQ(opened.size(), 1u) << "the missing picture opens nothing";
  EXPECT_EQ(opened[0].first, "xdg-open");
  EXPECT_EQ(opened[0].second, std::vector<std::string>{drives_->Root('C') + "/Pic/10.0.0.5/01"});
  SetProgramLauncher({});
}

TEST_F(KorvelDialogTest, MenuButtonTipsAndTheSoundButtonSpeakTheChosenLanguage) {
  {
    std::ofstream setting(ClientHost() + "/Setting.ini", std::ios::trunc);
    setting << "[Setting]\r\nLanguage=Chinese\r\nKORVELSKIN=Blue\r\n";
  }
  ASSERT_TRUE(OpenDialog());
  const std::string chinese = ClientHost() + "/Language/Korvel/Language.Chinese";
  const auto text = [&](const char* section, const char* key) {
    return FromSystemText(platform::ReadProfileString(chinese, section, key));
  };

  // Every entry of the window menu in the language chosen, none left in English.
  int entries = 0;
  for (QAction* action : dialog_->findChild<QMenu*>(QStringLiteral("ContextMenu"))->actions()) {
    if (action->isSeparator()) continue;
    ++entries;
    EXPECT_FALSE(action->text().isEmpty());
    EXPECT_FALSE(action->text().contains(QRegularExpression(QStringLiteral("[A-Za-z]{3}"))))
        << action->text().toStdString();
  }
  EXPECT_EQ(entries, 15);
  EXPECT_EQ(dialog_->findChild<QAction*>(QStringLiteral("Menu%1").arg(ID_MENU_CONNECT))->text(),
            text("STC_STRING", "IDS_MENU_CONNECT"));

  // Buttons that had no tip have one now.
  for (const char* button : {"BTN_AUTOPAGE", "BTN_WINDOWSTYLE", "BTN_DISCONNECTALL", "BTN_PTZ_UP",
                             "BTN_ZOOM_IN", "BTN_IRIS_OPEN", "BTN_BRUSH_ON", "BTN_PTZ_LIGHT"}) {
    const std::string key = "IDS_TIP_" + std::string(button + 4);
    EXPECT_EQ(Control(button)->toolTip(), text("TIP_STRING", key.c_str())) << button;
    EXPECT_FALSE(Control(button)->toolTip().isEmpty()) << button;
  }

  // The sound button says whether sound is on, and looks pressed while it is off.
  auto* mute = qobject_cast<QAbstractButton*>(Control("BTN_MUTE"));
  ASSERT_NE(mute, nullptr);
  EXPECT_TRUE(mute->toolTip().contains(text("TIP_STRING", "IDS_TIP_SOUND_ON")));
  EXPECT_FALSE(mute->isChecked());
  Click("BTN_MUTE");
  EXPECT_EQ(g_bMute.load(), 1);
  EXPECT_TRUE(mute->isChecked());
  EXPECT_TRUE(mute->toolTip().contains(text("TIP_STRING", "IDS_TIP_SOUND_OFF")));
  EXPECT_TRUE(mute->toolTip().startsWith(text("TIP_STRING", "IDS_TIP_MUTE")));
  Click("BTN_MUTE");
  EXPECT_EQ(g_bMute.load(), 0);
  EXPECT_FALSE(mute->isChecked());
  EXPECT_TRUE(mute->toolTip().contains(text("TIP_STRING", "IDS_TIP_SOUND_ON")));
}

TEST_F(KorvelDialogTest, ASnapshotFolderOutsideTheDriveTableIsMeasuredOnItsOwnFileSystem) {
  char pattern[] = "/tmp/korvel-snaps-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string host = pattern;
  ASSERT_TRUE(OpenDialog());
  // Browse stores a host folder in this form; a folder below it that does not exist yet is
  // measured where it will be made.
  dialog_->m_strSnapPath = platform::ToWindowsPath(host) + "\\shots";
  disks_->Set('C', 19, 4000);  // the drives have no bearing on it
  disks_->SetFolder(host, 240 * 1024, 480 * 1024);
  platform::ResetMessageBoxes();
  dialog_->OnCommand(ID_MENU_SNAP);
  for (const auto& box : platform::ShownMessageBoxes())
    EXPECT_NE(QString::fromStdString(box.text), English("IDS_SNAP_NOSPACE"));
  CTaskbarNotifier* notifier = FindNotifier(dialog_.get());
  ASSERT_NE(notifier, nullptr);
  EXPECT_NE(notifier->Text().find(host + "/shots/"), std::string::npos)
      << "the notice names the folder outside the drives: " << notifier->Text();

  // That file system being full refuses the snapshot as a full drive does.
  disks_->SetFolder(host, 19, 480 * 1024);
  platform::ResetMessageBoxes();
  dialog_->OnCommand(ID_MENU_SNAP);
  ASSERT_EQ(platform::ShownMessageBoxes().size(), 1u);
  EXPECT_EQ(QString::fromStdString(platform::ShownMessageBoxes()[0].text), English("IDS_SNAP_NOSPACE"));
  fs::remove_all(host);
}

TEST_F(KorvelDialogTest, TheRecordMarkIsFifteenPixelsHighAndTwentyFiveWide) {
  ASSERT_TRUE(OpenDialog());
  const QFont font = VideoWindow(4)->RecordMark()->font();
  EXPECT_EQ(font.pixelSize(), 15);
  EXPECT_EQ(font.weight(), QFont::Normal);
  // Whatever face stands in for the mark's, its characters come out 25 pixels wide on average.
  EXPECT_NEAR(QFontMetrics(font).averageCharWidth(), 25, 3);
}

TEST_F(KorvelDialogTest, MissingThemeEndsTheDialogAtOnce) {
  fs::remove_all(ClientHost() + "/UI_Skin");
  dialog_ = std::make_unique<CKorvelDlg>(ClientWindows());
  EXPECT_FALSE(dialog_->OnInitDialog());
  EXPECT_FALSE(dialog_->isVisible());
  bool reported = false;
  for (const auto& box : platform::ShownMessageBoxes())
    reported = reported || box.text.find("Blue1024,768Theme.ini") != std::string::npos;
  EXPECT_TRUE(reported);
}

}  // namespace
}  // namespace korvel_test
