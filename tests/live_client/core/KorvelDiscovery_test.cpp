// The camera editor's Search in the real main dialog (offscreen): probes go only to the
// loopback addresses of the search target a test sets (each test its own), answered by the
// test device (onvif_sim, with the test camera camera_sim behind it) or by a stand-in with
// hostile answers. A found camera, given its password, shows its video.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "live_client/core/KorvelConfig.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/core/KorvelIds.h"
#include "live_client/core/KorvelPreview.h"
#include "live_client/settings/CCameraSetDlg.h"
#include "live_client/settings/CDiscoveryListDlg.h"
#include "live_client/settings/CPageSet.h"
#include "live_client/settings/CTreePropSheet.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "tests/camera_link/ProbeResponder.h"
#include "tests/live_client/core/KorvelSimulatorFixture.h"

using namespace korvel;

namespace korvel_test {
namespace {

// Runs `act` once `ready` holds, polling from the event loop (so it also runs inside the
// nested loop of a modal dialog).
void WhenReady(std::function<bool()> ready, std::function<void()> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, ready, act] {
    if (!ready()) return;
    timer->stop();
    timer->deleteLater();
    act();
  });
  timer->start();
}

void WhenModal(const char* name, std::function<void(QWidget*)> act) {
  const QString wanted = QString::fromLatin1(name);
  WhenReady(
      [wanted] {
        QWidget* modal = QApplication::activeModalWidget();
        return modal && modal->objectName() == wanted;
      },
      [act] { act(QApplication::activeModalWidget()); });
}

QLineEdit* Field(QWidget* dialog, const char* name) {
  return dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
}

void Press(QWidget* dialog, const char* name) {
  QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
}

class KorvelDiscoveryTest : public KorvelSimulatorTest {
 protected:
  bool StartServices(const std::string& address, const std::string& streams, const std::string& name,
                     const std::string& model) {
    return KorvelSimulatorTest::StartServices(address, streams, {"--name", name, "--model", model}) != nullptr;
  }
  bool OpenEmpty() { return OpenWithSlots({}, CKorvelSettings{}); }
  std::vector<std::string> Shown() const {
    std::vector<std::string> texts;
    for (const platform::MessageBoxRequest& box : platform::ShownMessageBoxes()) texts.push_back(box.text);
    return texts;
  }
  std::string Text(const char* key) const { return dialog_->Skin().Text(key); }
  bool TreeConnected(int w) const {
    return TreeItem(w)->data(0, Qt::UserRole + 1).toInt() == kTreeImageConnected;
  }

};

TEST_F(KorvelDiscoveryTest, SearchListsBothCamerasAndTheOneChosenShowsItsVideoWithItsPassword) {
  ASSERT_TRUE(StartCameraWithProfiles("127.0.0.229"));
  ASSERT_TRUE(StartServices("127.0.0.225", "127.0.0.229", "Front Door", "SIM-100"));
  ASSERT_TRUE(StartServices("127.0.0.226", "127.0.0.229", "Gate", "SIM-200"));
  // The target is the client's setting: the editor offers what "Setting.ini" keeps.
  ASSERT_TRUE(WriteDiscoveryTarget(ClientWindows(), "127.0.0.226, 127.0.0.225"));
  ASSERT_TRUE(OpenEmpty());

  QString offered, runningText;
  bool runningEnabled = true, pressReturnedAtOnce = false, secondPressIgnored = false;
  qint64 listedAfterMs = -1;
  QStringList rows;
  QString chosenPort2, chosenPort, chosenAddress;
  int chosenKind = -1;
  bool passwordFocused = false;
  QElapsedTimer sinceSearch;
  WhenModal("CTreePropSheet", [&](QWidget* modal) {
    auto* sheet = static_cast<CTreePropSheet*>(modal);
    auto* page = static_cast<CPageSet*>(sheet->GetPage(0));
    WhenModal("CCameraSetDlg", [&](QWidget* camera) {
      auto* editor = static_cast<CCameraSetDlg*>(camera);
      offered = Field(camera, "EDIT_DISCOVERY")->text();
      Field(camera, "EDIT_PORT")->setText(QStringLiteral("8670"));  // another kind's port
      WhenModal("CDiscoveryListDlg", [&, camera](QWidget* found) {
        listedAfterMs = sinceSearch.elapsed();
        auto* list = found->findChild<QTreeWidget*>(QStringLiteral("LIST_DISCOVERY"));
        for (int r = 0; r < list->topLevelItemCount(); ++r) {
          QTreeWidgetItem* item = list->topLevelItem(r);
          rows << item->text(0) + "|" + item->text(1) + "|" + item->text(2);
          if (item->text(0).startsWith(QStringLiteral("127.0.0.225"))) list->setCurrentItem(item);
        }
        Press(found, "IDOK");
        // Back in the editor once the list has closed and the choice is in the fields.
        WhenReady([camera] { return QApplication::activeModalWidget() == camera &&
                                    Field(camera, "EDIT_PORT2")->text() == QStringLiteral("8080"); },
                  [&, camera] {
                    chosenAddress = Field(camera, "EDIT_ADDR")->text();
                    chosenPort = Field(camera, "EDIT_PORT")->text();
                    chosenPort2 = Field(camera, "EDIT_PORT2")->text();
                    chosenKind = camera->findChild<QComboBox*>(QStringLiteral("COMBO_DEVTYPE"))->currentIndex();
                    passwordFocused = camera->focusWidget() == Field(camera, "EDIT_PASSWORD");
                    // What the operator types: user, password, and the small profile.
                    Field(camera, "EDIT_USER")->setText(QStringLiteral("admin"));
                    Field(camera, "EDIT_PASSWORD")->setText(QStringLiteral("s3cret"));
                    Field(camera, "EDIT_CHANNEL")->setText(QStringLiteral("1"));
                    Press(camera, "IDOK");
                  });
      });
      auto* search = camera->findChild<QPushButton*>(QStringLiteral("BTN_SEARCH"));
      sinceSearch.start();
      Press(camera, "BTN_SEARCH");
      pressReturnedAtOnce = sinceSearch.elapsed() < 500;  // the probe waits on the worker
      runningText = search->text();
      runningEnabled = search->isEnabled();
      Press(camera, "BTN_SEARCH");  // a disabled button takes no second press
      secondPressIgnored = editor->Searching();
    });
    page->EditWindow(0);
    Press(sheet, "IDOK");
  });
  Click("BTN_CONFIG");

  EXPECT_EQ(offered, QStringLiteral("127.0.0.226, 127.0.0.225"));
  EXPECT_TRUE(pressReturnedAtOnce);
  EXPECT_EQ(runningText.toStdString(), Text("IDS_DISCOVERY_RUNNING"));
  EXPECT_FALSE(runningEnabled);
  EXPECT_TRUE(secondPressIgnored);
  EXPECT_GE(listedAfterMs, 0);
  EXPECT_LT(listedAfterMs, 3000);
  rows.sort();
  EXPECT_EQ(rows, QStringList({"127.0.0.225:8080|SIM-100|Front Door", "127.0.0.226:8080|SIM-200|Gate"}));
  for (auto& device : services_) EXPECT_EQ(device->CountLines("answered a probe"), 1);
  EXPECT_EQ(chosenKind, kKindCamera);
  EXPECT_EQ(chosenAddress, QStringLiteral("127.0.0.225"));
  EXPECT_EQ(chosenPort2, QStringLiteral("8080"));
  EXPECT_EQ(chosenPort, QStringLiteral("554"));  // the other kind's port is not a camera's
  EXPECT_TRUE(passwordFocused);

  const CCameraInfo& slot = g_PageInfo[0].camera[0];
  EXPECT_EQ(slot.nKind, kKindCamera);
  EXPECT_EQ(slot.strAddr, "127.0.0.225");
  EXPECT_EQ(slot.nPort2, kServicesPort);
  EXPECT_EQ(slot.strCamDesc, "Front Door");  // an empty description takes the camera's name

  // Connected from the tree, the camera found shows its moving pictures.
  emit dialog_->findChild<QTreeWidget*>("TREE_CONFIG")->itemDoubleClicked(TreeItem(0), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return TreeConnected(0); }, 15000));
  EXPECT_EQ(LoadPreviewMediaInfo(0).nWidth, 640);
  CVideoStatic* surface = VideoWindow(0)->Surface();
  const unsigned start = surface->PresentCount();
  EXPECT_TRUE(QTest::qWaitFor([&] { return surface->PresentCount() > start + 5; }, 10000));
}

TEST_F(KorvelDiscoveryTest, NoAnswerBadTargetAndHostileAnswersAreReportedNeverCrash) {
  ASSERT_TRUE(OpenEmpty());
  // A fresh client offers the local group (never searched here); the texts of the editor
  // exist in both languages.
  {
    CCameraSetDlg editor(dialog_->Skin(), g_PageInfo, 0, 1, nullptr);
    EXPECT_EQ(Field(&editor, "EDIT_DISCOVERY")->text(), QString::fromLatin1(kDefaultDiscoveryTarget));
    EXPECT_EQ(editor.findChild<QPushButton*>("BTN_SEARCH")->text().toStdString(), Text("STC_SEARCH"));
  }
  for (const char* language : {"English", "Chinese"})
    for (const char* key : {"STC_DISCOVERY", "STC_SEARCH", "IDS_DISCOVERY_RUNNING", "IDS_DISCOVERY_CAPTION",
                            "IDS_DISCOVERY_MODEL", "IDS_DISCOVERY_NAME", "IDS_DISCOVERY_NONE",
                            "IDS_DISCOVERY_BADTARGET", "IDS_DISCOVERY_FAILED"})
      EXPECT_FALSE(platform::ReadProfileString(ClientHost() + "/Language/Korvel/Language." + language,
                                               "STC_STRING", key)
                       .empty())
          << language << " " << key;

  const KorvelChoice before = ReadSettingIni(ClientWindows());
  const std::string languageBefore = before.language, skinBefore = before.skin;
  auto editor = std::make_unique<CCameraSetDlg>(dialog_->Skin(), g_PageInfo, 0, 1, nullptr);
  editor->show();
  auto* search = editor->findChild<QPushButton*>("BTN_SEARCH");
  auto* target = Field(editor.get(), "EDIT_DISCOVERY");

  // Nobody at the target: the no-answer message within the wait, the target kept.
  target->setText(QStringLiteral("127.0.0.227"));
  QElapsedTimer clock;
  clock.start();
  QTest::mouseClick(search, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Shown().empty(); }, 5000));
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_EQ(Shown(), std::vector<std::string>{Text("IDS_DISCOVERY_NONE")});
  EXPECT_TRUE(search->isEnabled());
  EXPECT_EQ(search->text().toStdString(), Text("STC_SEARCH"));
  EXPECT_EQ(ReadDiscoveryTarget(ClientWindows()), "127.0.0.227");
  // Only the new key is written: the language and skin choice read as before.
  EXPECT_EQ(ReadSettingIni(ClientWindows()).language, languageBefore);
  EXPECT_EQ(ReadSettingIni(ClientWindows()).skin, skinBefore);

  // A target that is no address is refused, named, and not kept.
  platform::ResetMessageBoxes();
  target->setText(QStringLiteral("127.0.0.227 camera.example"));
  QTest::mouseClick(search, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Shown().empty(); }, 5000));
  EXPECT_EQ(Shown(), std::vector<std::string>{Text("STC_DISCOVERY") + ": " + Text("IDS_DISCOVERY_BADTARGET")});
  EXPECT_EQ(editor->focusWidget(), target);
  EXPECT_EQ(ReadDiscoveryTarget(ClientWindows()), "127.0.0.227");

  // Noise, strangers' answers and unusable addresses are skipped; the one camera that
  // answered properly is listed.
  using testsupport::ProbeResponder;
  ProbeResponder responder(
      "127.0.0.228",
      {std::string(300, '\xff'), "<e:Envelope><e:Body>",
       ProbeResponder::Match("urn:uuid:another-probe", "urn:x", "", "http://127.0.0.228:81/x"),
       ProbeResponder::Match("{ID}", "urn:y", "", "ftp://127.0.0.228/x"),
       ProbeResponder::Match("{ID}", "urn:z",
                             "onvif://www.onvif.org/name/Odd%20One onvif://www.onvif.org/hardware/X-1",
                             "http://127.0.0.228:8099/onvif/device_service")});
  ASSERT_TRUE(responder.Bound());
  platform::ResetMessageBoxes();
  QStringList rows;
  WhenModal("CDiscoveryListDlg", [&](QWidget* found) {
    auto* list = found->findChild<QTreeWidget*>(QStringLiteral("LIST_DISCOVERY"));
    for (int r = 0; r < list->topLevelItemCount(); ++r)
      rows << list->topLevelItem(r)->text(0) + "|" + list->topLevelItem(r)->text(1) + "|" +
                  list->topLevelItem(r)->text(2);
    Press(found, "IDCANCEL");  // nothing chosen: the fields stay as they are
  });
  target->setText(QStringLiteral("127.0.0.228"));
  Field(editor.get(), "EDIT_ADDR")->setText(QStringLiteral("10.0.0.9"));
  QTest::mouseClick(search, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !rows.isEmpty(); }, 5000));
  EXPECT_EQ(rows, QStringList{"127.0.0.228:8099|X-1|Odd One"});
  ASSERT_TRUE(QTest::qWaitFor([&] { return search->isEnabled(); }, 2000));
  EXPECT_EQ(Field(editor.get(), "EDIT_ADDR")->text(), QStringLiteral("10.0.0.9"));
  EXPECT_TRUE(Shown().empty());

  // Closed while a search runs: the editor goes at once, its search with it.
  QTest::mouseClick(search, Qt::LeftButton);
  ASSERT_TRUE(editor->Searching());
  clock.restart();
  editor.reset();
  EXPECT_LT(clock.elapsed(), 500);
  QTest::qWait(50);  // nothing comes back to the editor that is gone
}

}  // namespace
}  // namespace korvel_test
