#include "playback_app/remote/LoginInfoDlg.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "platform/Profile.h"
#include "playback_app/SystemText.h"

namespace lumaro {

LoginInfoDlg::LoginInfoDlg(const std::vector<std::string>& addresses, int currentAddress, int deviceType,
                           const std::string& languageFile, QWidget* parent)
    : CRecordSetDlg(addresses, currentAddress, deviceType, languageFile, parent) {
  setObjectName(QStringLiteral("LoginInfoDlg"));
  setWindowTitle(QStringLiteral("LOGIN INFO"));
  m_editUser = new QLineEdit(QString::fromStdString(m_strUser), this);
  m_editUser->setObjectName(QStringLiteral("EDIT_USER"));
  m_editUser->setMaxLength(12);
  m_editPassword = new QLineEdit(this);
  m_editPassword->setObjectName(QStringLiteral("EDIT_PASSWORD"));
  m_editPassword->setMaxLength(12);
  m_editPassword->setEchoMode(QLineEdit::Password);
  auto* userLabel = new QLabel(QStringLiteral("STC_USER"), this);
  auto* passwordLabel = new QLabel(QStringLiteral("STC_PASSWORD"), this);
  // Below the port, above the device type.
  if (auto* form = qobject_cast<QFormLayout*>(layout())) {
    form->insertRow(2, userLabel, m_editUser);
    form->insertRow(3, passwordLabel, m_editPassword);
  }
  if (auto* type = findChild<QComboBox*>(QStringLiteral("CMB_DEVICE_TYPE"))) {
    connect(type, &QComboBox::activated, this, &LoginInfoDlg::ApplyDeviceType);
    ApplyDeviceType(type->currentIndex());
  }
  if (languageFile.empty()) return;  // the record-set dialog has said so
  for (QLabel* label : {userLabel, passwordLabel}) {
    const std::string text = platform::ReadProfileString(languageFile, "STC_STRING", ToSystemText(label->text()));
    if (!text.empty()) label->setText(FromSystemText(text));
  }
  const std::string caption = platform::ReadProfileString(languageFile, "STC_STRING", "STC_DIALOG");
  if (!caption.empty()) setWindowTitle(FromSystemText(caption));
}

void LoginInfoDlg::ApplyDeviceType(int type) {
  if (auto* port = findChild<QLineEdit*>(QStringLiteral("EDIT_PORT"))) {
    port->setText(QString::number(PortFor(type)));
    port->setEnabled(type != 3);
  }
  m_editUser->setEnabled(type != 3);
  m_editPassword->setEnabled(type != 3);
}

void LoginInfoDlg::accept() {
  m_strUser = ToSystemText(m_editUser->text());
  m_strPassword = ToSystemText(m_editPassword->text());
  CRecordSetDlg::accept();
}

}  // namespace lumaro
