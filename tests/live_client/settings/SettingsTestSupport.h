#pragma once

// What the settings, notifier and error-report tests share: the language and theme of this
// build, drives C, D and E with injected sizes, fresh client tables and the message boxes
// shown since the test began.

#include <gtest/gtest.h>

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "live_client/skin/KorvelSkin.h"
#include "tests/support/FakeDiskSpace.h"
#include "tests/support/TempDriveTable.h"

namespace settings_test {

// Runs `act` with the modal dialog named `objectName` once it is open (started before the
// call that opens it, as that call only returns when the dialog closes).
void WhenModal(const char* objectName, std::function<void(QWidget*)> act);

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The English text of `key` in "STC_STRING", as the operator reads it.
  QString English(const char* key) const;
  // Texts of the message boxes shown so far.
  std::vector<std::string> Shown() const;

  CKorvelSkin skin_;
  std::unique_ptr<suite::test::TempDriveTable> drives_;
  std::unique_ptr<suite::test::FakeDiskSpace> disks_;
};

}  // namespace settings_test
