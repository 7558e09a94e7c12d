#pragma once

// A main dialog in a client folder of its own: the program's data files copied below a
// temporary drive C, drives D and E with injected sizes, a 1024 x 768 screen, and message
// boxes answered by script. Each test gets fresh tables.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <filesystem>
#include <memory>
#include <string>

#include "live_client/core/CKorvelDlg.h"
#include "platform/Display.h"
#include "tests/support/FakeDiskSpace.h"
#include "tests/support/TempDriveTable.h"

namespace korvel_test {

// The QApplication every GUI test needs; made on first use and kept for the process.
QApplication& App();

class FixedDisplay : public platform::DisplayProvider {
 public:
  FixedDisplay(platform::DisplayMode current, std::vector<platform::DisplayMode> modes)
      : current_(current), modes_(std::move(modes)) {}
  platform::DisplayMode CurrentMode() override { return current_; }
  std::vector<platform::DisplayMode> Modes() override { return modes_; }

 private:
  platform::DisplayMode current_;
  std::vector<platform::DisplayMode> modes_;
};

// Puts the page table, the login table and the selection back to a fresh start.
void ResetClientTables();

class KorvelDialogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Host and Windows form of the client folder.
  std::string ClientHost() const { return drives_->Root('C') + "/Korvel"; }
  std::string ClientWindows() const { return "C:\\Korvel"; }
  // A language text of the English file, as the operator reads it.
  QString English(const char* key) const;
  // Makes and initialises the dialog; shows it. False when initialisation failed.
  bool OpenDialog();

  // The named child of the dialog.
  template <typename T>
  T* Child(const QString& name) const {
    return dialog_->findChild<T*>(name);
  }
  QWidget* Control(const char* name) const { return Child<QWidget>(QString::fromLatin1(name)); }
  void Click(const char* name);
  CVideoDlg* VideoWindow(int i) const { return dialog_->WndManage()->Window(i); }
  // Indexes of the video windows shown now.
  std::vector<int> ShownWindows() const;

  std::unique_ptr<suite::test::TempDriveTable> drives_;
  std::unique_ptr<suite::test::FakeDiskSpace> disks_;
  std::shared_ptr<platform::DisplayProvider> previousDisplay_;
  std::unique_ptr<CKorvelDlg> dialog_;
};

}  // namespace korvel_test
