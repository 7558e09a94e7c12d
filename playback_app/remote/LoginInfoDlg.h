#pragma once

// The login dialog of remote search: the record-set dialog's address (with the history),
// port and device type, plus the user name and password a recorder asks for. The device type
// chooses the port (8670 for types 0 and 1, 8630 for 2, 8000 for 3); a Vantor device (type 3)
// takes neither port nor credentials, so those fields are disabled for it.

#include <string>
#include <vector>

#include "playback_app/CRecordSetDlg.h"

class QLineEdit;

namespace lumaro {

class LoginInfoDlg : public CRecordSetDlg {
  Q_OBJECT
 public:
  LoginInfoDlg(const std::vector<std::string>& addresses, int currentAddress, int deviceType,
               const std::string& languageFile, QWidget* parent);

  // Results after OK (8-bit text).
  const std::string& User() const { return m_strUser; }
  const std::string& Password() const { return m_strPassword; }

  void accept() override;

 private:
  void ApplyDeviceType(int type);

  QLineEdit* m_editUser = nullptr;
  QLineEdit* m_editPassword = nullptr;
  std::string m_strUser = "admin";
  std::string m_strPassword;
};

}  // namespace lumaro
