#include "tests/live_client/settings/SettingsTestSupport.h"

#include <QApplication>
#include <QTimer>
#include <cstdlib>

#include "platform/MessageBox.h"
#include "tests/live_client/core/KorvelDialogFixture.h"

namespace settings_test {

void SettingsTest::SetUp() {
  korvel_test::App();
  drives_ = std::make_unique<suite::test::TempDriveTable>("CDE", 'C');
  disks_ = std::make_unique<suite::test::FakeDiskSpace>();
  disks_->Set('C', 900, 4000);
  disks_->Set('D', 2048, 8192);
  disks_->Set('E', 100, 1000);
  korvel_test::ResetClientTables();
  platform::ResetMessageBoxes();

  // Under ctest the build folder is given; run by hand, the test sits in <build>/tests.
  const char* build = std::getenv("SUITE_BUILD_DIR");
  const std::string buildDir =
      build ? std::string(build)
            : (QCoreApplication::applicationDirPath() + QStringLiteral("/..")).toStdString();
  skin_.InitThemeList(buildDir + "/bin");
  ASSERT_TRUE(skin_.LoadTheme("Blue", 1));
  ASSERT_TRUE(skin_.LoadLanguageList());
  ASSERT_TRUE(skin_.LoadLanguage("English"));
  platform::ResetMessageBoxes();
}

void SettingsTest::TearDown() {
  platform::ResetMessageBoxes();
  disks_.reset();
  drives_.reset();
}

QString SettingsTest::English(const char* key) const {
  return QString::fromStdString(skin_.Text(key));
}

std::vector<std::string> SettingsTest::Shown() const {
  std::vector<std::string> texts;
  for (const platform::MessageBoxRequest& box : platform::ShownMessageBoxes()) texts.push_back(box.text);
  return texts;
}

void WhenModal(const char* objectName, std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  const QString name = QString::fromLatin1(objectName);
  QObject::connect(timer, &QTimer::timeout, [timer, act, name] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->objectName() == name) {
      timer->stop();
      timer->deleteLater();
      act(modal);
    }
  });
  timer->start();
}

}  // namespace settings_test
