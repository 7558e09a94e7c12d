// The pop-up notifier and the error report as the operator meets them.

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QPlainTextEdit>
#include <QTest>
#include <cstring>

#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/LoginInfo.h"
#include "live_client/settings/CErrReportDlg.h"
#include "live_client/settings/CTaskbarNotifier.h"
#include "platform/Window.h"
#include "tests/live_client/settings/SettingsTestSupport.h"
#include "tests/support/TempFolder.h"

namespace {

using settings_test::SettingsTest;
using State = CTaskbarNotifier::State;

const QRect kScreen(0, 0, 1024, 768);

class NotifierTest : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    owner_ = PlatformCreateMemoryWindow(64, 64);
    SetWorkArea(QRect(0, 0, 1024, 728));  // taskbar at the bottom, 40 pixels high
    notifier_ = std::make_unique<CTaskbarNotifier>(nullptr, owner_);
    ASSERT_TRUE(notifier_->SetSkin(skin_.PicturePath("TaskBarNotify_MSN.bmp")));
    notifier_->SetTextFont("MS San Serif", 90);
    notifier_->SetTextColor(0xC80000, 0xC80000);
    notifier_->SetTextRect(QRect(10, 40, notifier_->width() - 20, notifier_->height() - 65));
  }
  void TearDown() override {
    notifier_.reset();
    PlatformDestroyWindow(owner_);
    CTaskbarNotifier::SetDesktopProvider({});
    SettingsTest::TearDown();
  }
  static void SetWorkArea(QRect work) {
    CTaskbarNotifier::SetDesktopProvider([work] { return CTaskbarNotifier::Desktop{kScreen, work}; });
  }
  platform::Window* Owner() const { return static_cast<platform::Window*>(owner_); }

  void* owner_ = nullptr;
  std::unique_ptr<CTaskbarNotifier> notifier_;
};

TEST_F(NotifierTest, SlidesInFromTheTaskbarEdgeStaysAndSlidesBack) {
  // The generated skin gives the window its size.
  EXPECT_EQ(notifier_->size(), QSize(230, 130));

  notifier_->Show("Snap", "C:\\Pic\\10.0.0.5\\01\\20100525-080000.JPG", 130, 300, 130, 10);
  EXPECT_EQ(notifier_->SlideEdge(), Qt::BottomEdge);
  EXPECT_EQ(notifier_->AnimationState(), State::Appearing);
  // Starts just below the work area, at its right end; 13 steps of 10 ms.
  EXPECT_GE(notifier_->y(), 728 - 10);
  EXPECT_EQ(notifier_->x(), 1024 - 230);
  EXPECT_EQ(notifier_->AppearIntervalMs(), 10);
  EXPECT_TRUE(notifier_->isVisible());

  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier_->AnimationState() == (State::Showing); }, 2000));
  EXPECT_EQ(notifier_->pos(), QPoint(1024 - 230, 728 - 130));
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier_->AnimationState() == (State::Hiding); }, 2000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier_->AnimationState() == State::Hidden; }, 2000));
  EXPECT_FALSE(notifier_->isVisible());
  EXPECT_GE(notifier_->y(), 728);
}

TEST_F(NotifierTest, TheTaskbarEdgeComesFromTheWorkArea) {
  struct Case {
    QRect work;
    Qt::Edge edge;
    QPoint shown;
  } cases[] = {
      {QRect(0, 30, 1024, 738), Qt::TopEdge, QPoint(1024 - 230, 30)},
      {QRect(60, 0, 964, 768), Qt::LeftEdge, QPoint(60, 768 - 130)},
      {QRect(0, 0, 964, 768), Qt::RightEdge, QPoint(964 - 230, 768 - 130)},
      {kScreen, Qt::BottomEdge, QPoint(1024 - 230, 768 - 130)},  // hidden taskbar
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.edge);
    SetWorkArea(c.work);
    notifier_->Show("Snap", "text", 50, 5000, 50, 23);
    const QPoint start = notifier_->pos();
    EXPECT_FALSE(c.work.contains(QRect(start, notifier_->size())));
    EXPECT_EQ(notifier_->SlideEdge(), c.edge);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier_->AnimationState() == (State::Showing); }, 2000));
    EXPECT_EQ(notifier_->pos(), c.shown);
    notifier_->Hide();
  }
}

TEST_F(NotifierTest, ASecondTextWhileShownReplacesItAndRestartsTheStay) {
  notifier_->Show("Snap", "first", 20, 400, 20, 130);
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier_->AnimationState() == (State::Showing); }, 2000));
  QTest::qWait(250);
  notifier_->SetTextStyle(0);
  notifier_->Show("Snap", "second", 20, 400, 20, 130);
  EXPECT_EQ(notifier_->Text(), "second");
  // Without the restart it would be leaving 400 ms after the first show.
  QTest::qWait(250);
  EXPECT_EQ(notifier_->AnimationState(), State::Showing);
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier_->AnimationState() == (State::Hidden); }, 2000));

  // Shown again while it slides away: back in full view for a new stay.
  notifier_->Show("Snap", "third", 20, 200, 1300, 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier_->AnimationState() == State::Hiding; }, 2000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier_->y() > 728 - 130 + 3; }, 2000));
  notifier_->Show("Snap", "fourth", 20, 200, 1300, 1);
  EXPECT_EQ(notifier_->AnimationState(), State::Showing);
  EXPECT_EQ(notifier_->pos(), QPoint(1024 - 230, 728 - 130));
  EXPECT_EQ(notifier_->Text(), "fourth");
}

TEST_F(NotifierTest, LeftReleasePostsItsTextAndRightPressHidesIt) {
  const std::string path = "C:\\Pic\\10.0.0.5\\01\\20100525-080000.JPG";
  notifier_->SetTextStyle(kNotifierTextHighlight);
  notifier_->Show("Snap", path, 20, 5000, 20, 130);
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier_->AnimationState() == (State::Showing); }, 2000));

  QTest::mouseClick(notifier_.get(), Qt::LeftButton, {}, QPoint(100, 60));
  platform::Message posted;
  ASSERT_TRUE(Owner()->PumpOneMessage(std::chrono::milliseconds(1000), &posted));
  EXPECT_EQ(posted.message, korvel::WM_KORVEL_OPENSNAPDIR);
  EXPECT_EQ(posted.lParam, 0);
  const char* text = reinterpret_cast<const char*>(posted.wParam);
  // The text handed out stays put when the notifier shows something else before the owner
  // reads it.
  notifier_->Show("Snap", std::string(2000, 'x'), 20, 5000, 20, 130);
  EXPECT_STREQ(text, path.c_str());

  QTest::mousePress(notifier_.get(), Qt::RightButton, {}, QPoint(100, 60));
  EXPECT_EQ(notifier_->AnimationState(), State::Hidden);
  EXPECT_FALSE(notifier_->isVisible());
  EXPECT_EQ(Owner()->QueuedMessageCount(), 0u);
}

TEST_F(NotifierTest, HoverHighlightsTheTextAndShowsTheHandCursor) {
  notifier_->Show("Snap", "C:\\Pic\\a.JPG", 20, 5000, 20, 130);
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier_->AnimationState() == (State::Showing); }, 2000));
  const QImage normal = notifier_->grab().toImage();

  QEnterEvent enter(QPointF(50, 50), QPointF(50, 50), QPointF(50, 50));
  QApplication::sendEvent(notifier_.get(), &enter);
  EXPECT_TRUE(notifier_->IsMouseOver());
  EXPECT_EQ(notifier_->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_NE(notifier_->grab().toImage(), normal);

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(notifier_.get(), &leave);
  EXPECT_FALSE(notifier_->IsMouseOver());
  EXPECT_EQ(notifier_->grab().toImage(), normal);
}

TEST_F(NotifierTest, TheTransparentColourIsCutOutOfTheWindow) {
  suite::test::TempFolder folder;
  QImage picture(40, 20, QImage::Format_RGB32);
  picture.fill(QColor(255, 0, 255));
  picture.setPixelColor(20, 10, Qt::white);
  const std::string path = folder.path() + "/shape.bmp";
  ASSERT_TRUE(picture.save(QString::fromStdString(path), "BMP"));
  ASSERT_TRUE(notifier_->SetSkin(path, 0xFF00FF));
  EXPECT_EQ(notifier_->size(), QSize(40, 20));
  EXPECT_TRUE(notifier_->mask().contains(QPoint(20, 10)));
  EXPECT_FALSE(notifier_->mask().contains(QPoint(0, 0)));
}

// --- Error report -------------------------------------------------------------------------

class ErrReportTest : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    CCameraInfo& slot = g_PageInfo[1].camera[4];
    slot.strCamDesc = "Gate";
    slot.strSvrDesc = "North DVR";
    slot.strAddr = "10.0.0.5";
    report_ = std::make_unique<CErrReportDlg>(skin_, g_PageInfo);
  }
  void TearDown() override {
    report_.reset();
    g_LoginTable.clear();
    SettingsTest::TearDown();
  }
  // Posts 0x52C as a worker does and waits until the report has it.
  void Post(platform::WPARAM wParam, platform::LPARAM lParam) {
    const std::size_t before = report_->ReportText().size();
    ASSERT_TRUE(platform::PostMessage(report_->Handle(), korvel::WM_KORVEL_ERRREPORT, wParam, lParam));
    ASSERT_TRUE(QTest::qWaitFor([&] { return report_->ReportText().size() > before; }, 2000));
  }
  std::string Expected(const char* key, const char* name = nullptr) const {
    std::string text = skin_.Text(key);
    const auto replace = [&text](const std::string& value) {
      const std::size_t at = text.find_first_of('%');
      text.replace(at, 2, value);
    };
    replace("2");
    replace("5");
    replace("Gate");
    replace("North DVR");
    if (name) replace(name);
    return text + "\r\n\r\n";
  }

  std::unique_ptr<CErrReportDlg> report_;
};

TEST_F(ErrReportTest, ParagraphsByEventKindAccumulate) {
  EXPECT_FALSE(report_->isVisible());
  EXPECT_EQ(report_->windowTitle(), English("IDS_ERRREPORTDLG_CAPTION"));
  EXPECT_EQ(report_->geometry(), QRect(200, 270, 520, 300));

  const platform::LPARAM where = 4 * 65536 + 1;  // window 4 of page 1
  std::string expected;
  Post((4 + 100) * 65536 + 1, where);  // login refused with code 4
  expected += Expected("IDS_CONNECT_ERRREPORT", "USER INFO ERROR");
  EXPECT_EQ(report_->ReportText(), expected);
  EXPECT_TRUE(report_->isVisible());

  Post((2 + 100) * 65536 + 1, where);  // a code without a name
  expected += Expected("IDS_CONNECT_ERRREPORT", "");
  Post((-2 + 100) * 65536 + 1, where);
  expected += Expected("IDS_CONNECT_ERRREPORT", "DOMAIN NAME RESOVE FAILED");
  Post(2, where);
  expected += Expected("IDS_DISCONNECT_ERRREPORT");
  Post(3, where);
  expected += Expected("IDS_STARTREC_ERRREPORT");
  Post(4, where);
  expected += Expected("IDS_STOPREC_ERRREPORT");
  EXPECT_EQ(report_->ReportText(), expected);

  // Hiding the window keeps what it holds; the next report adds to it.
  report_->hide();
  Post((1 + 100) * 65536 + 1, where);
  expected += Expected("IDS_CONNECT_ERRREPORT", "OVER TIME");
  EXPECT_EQ(report_->ReportText(), expected);
  const QString shown = report_->findChild<QPlainTextEdit*>("EDIT_REPORT")->toPlainText();
  EXPECT_EQ(shown.count(QStringLiteral("Gate")), 7);
  EXPECT_TRUE(shown.contains(QStringLiteral("USER INFO ERROR\n\n")));

  // A camera without a media service is told in the operator's language.
  Post((50 + 100) * 65536 + 1, where);
  expected += Expected("IDS_CONNECT_ERRREPORT", skin_.Text("IDS_CONNECT_NO_MEDIA").c_str());
  EXPECT_EQ(report_->ReportText(), expected);
  EXPECT_FALSE(skin_.Text("IDS_CONNECT_NO_MEDIA").empty());

  EXPECT_STREQ(ConnectResultName(99), "EXIST CONNECTION");
  EXPECT_STREQ(ConnectResultName(100), "SUCCESS");
  EXPECT_STREQ(ConnectResultName(109), "NO VIDEO SOURCE");
  EXPECT_STREQ(ConnectResultName(102), "");
}

TEST_F(ErrReportTest, ALostConnectionNamesTheFirstWindowOfItsLogin) {
  auto login = std::make_unique<CLoginInfo>();
  login->strAddr = "10.0.0.5";
  login->pCamera[6] = &g_PageInfo[1].camera[4];
  CLoginInfo* record = login.get();
  g_LoginTable.push_back(std::move(login));

  Post(5, reinterpret_cast<platform::LPARAM>(record));
  EXPECT_EQ(report_->ReportText(), Expected("IDS_CONNLOST_ERRREPORT"));

  // A record that left the table before the report came is not read.
  g_LoginTable.clear();
  ASSERT_TRUE(platform::PostMessage(report_->Handle(), korvel::WM_KORVEL_ERRREPORT, 5,
                                    reinterpret_cast<platform::LPARAM>(record)));
  QTest::qWait(100);
  EXPECT_EQ(report_->ReportText(), Expected("IDS_CONNLOST_ERRREPORT"));

  // Out-of-range windows are traced, not reported.
  ASSERT_TRUE(platform::PostMessage(report_->Handle(), korvel::WM_KORVEL_ERRREPORT, 3, 99 * 65536 + 7));
  QTest::qWait(100);
  EXPECT_EQ(report_->ReportText(), Expected("IDS_CONNLOST_ERRREPORT"));
}

}  // namespace
