#include "playback_app/CRecordSetDlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "playback_app/SystemText.h"

namespace lumaro {

int DefaultPortForDevice(int deviceType) {
  switch (deviceType) {
    case 0:
    case 1: return 8670;
    case 2: return 8630;
    default: return 8000;
  }
}

CRecordSetDlg::CRecordSetDlg(const std::vector<std::string>& addresses, int currentAddress,
                             int deviceType, const std::string& languageFile, QWidget* parent)
    : QDialog(parent), m_nDeviceType(deviceType), m_nCurrentAddress(currentAddress) {
  setObjectName(QStringLiteral("CRecordSetDlg"));
  setWindowTitle(QStringLiteral("KORVEL CLIENT RECORD SET"));

  auto* form = new QFormLayout(this);
  auto* addressLabel = new QLabel(QStringLiteral("STC_SERVER_ADDR"), this);
  auto* portLabel = new QLabel(QStringLiteral("STC_SERVER_PORT"), this);
  auto* typeLabel = new QLabel(QStringLiteral("STC_DEVICE_TYPE"), this);
  m_cmbAddress = new QComboBox(this);
  m_cmbAddress->setObjectName(QStringLiteral("CMB_ADDRESS"));
  m_cmbAddress->setEditable(true);
  for (const std::string& address : addresses) m_cmbAddress->addItem(FromSystemText(address));
  if (addresses.empty()) m_cmbAddress->setEditText(QStringLiteral("127.0.0.1"));
  else if (currentAddress >= 0 && currentAddress < static_cast<int>(addresses.size()))
    m_cmbAddress->setCurrentIndex(currentAddress);
  else m_cmbAddress->setEditText(QStringLiteral("127.0.0.1"));
  // The port of the device type shown, not one of another type.
  m_nPort = DefaultPortForDevice(deviceType >= 0 && deviceType < 4 ? deviceType : 3);
  m_editPort = new QLineEdit(QString::number(m_nPort), this);
  m_editPort->setObjectName(QStringLiteral("EDIT_PORT"));
  m_editPort->setMaxLength(10);
  m_cmbDeviceType = new QComboBox(this);
  m_cmbDeviceType->setObjectName(QStringLiteral("CMB_DEVICE_TYPE"));
  for (const char* name : kDeviceTypeNames) m_cmbDeviceType->addItem(QString::fromLatin1(name));
  m_cmbDeviceType->setCurrentIndex(deviceType >= 0 && deviceType < 4 ? deviceType : 3);
  connect(m_cmbDeviceType, &QComboBox::activated, this, &CRecordSetDlg::OnDeviceTypeChanged);
  connect(m_cmbAddress, &QComboBox::activated, this, [this](int index) { m_nCurrentAddress = index; });
  form->addRow(addressLabel, m_cmbAddress);
  form->addRow(portLabel, m_editPort);
  form->addRow(typeLabel, m_cmbDeviceType);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setObjectName(QStringLiteral("BUTTONS"));
  connect(buttons, &QDialogButtonBox::accepted, this, &CRecordSetDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CRecordSetDlg::reject);
  form->addRow(buttons);

  if (languageFile.empty()) {
    platform::MessageBox(nullptr, "INVLID USER INTERFACE THEME", "Lumaro", platform::MB_OK);
    return;
  }
  // Captions of the labels and the dialog come from the language file, keyed by their
  // template captions.
  for (QLabel* label : {addressLabel, portLabel, typeLabel}) {
    const std::string key = ToSystemText(label->text());
    const std::string text = platform::ReadProfileString(languageFile, "STC_STRING", key);
    if (!text.empty()) label->setText(FromSystemText(text));
  }
  const std::string caption = platform::ReadProfileString(languageFile, "STC_STRING", "STC_DIALOG_CLIENT_RECORD");
  if (!caption.empty()) setWindowTitle(FromSystemText(caption));
}

int CRecordSetDlg::PortFor(int type) const {
  if (type < 0 || type >= 4) return DefaultPortForDevice(type);
  const int kept = m_ports[static_cast<std::size_t>(type)];
  return kept > 0 ? kept : DefaultPortForDevice(type);
}

void CRecordSetDlg::OfferPorts(const std::array<int, 4>& ports) {
  m_ports = ports;
  m_editPort->setText(QString::number(PortFor(m_cmbDeviceType->currentIndex())));
}

void CRecordSetDlg::OnDeviceTypeChanged(int type) {
  m_nDeviceType = type;
  m_editPort->setText(QString::number(PortFor(type)));
}

void CRecordSetDlg::accept() {
  const std::string port = ToSystemText(m_editPort->text());
  bool digits = !port.empty();
  for (char c : port) digits = digits && c >= '0' && c <= '9';
  if (!digits) {
    platform::MessageBox(this, "INVLID PORT\xA3\xBAIT SHOULD BE A INTEGER", "Lumaro", platform::MB_OK);
    return;
  }
  const long value = port.size() > 5 ? 100000 : std::stol(port);
  if (value < 0 || value > 8999) {
    platform::MessageBox(this, "INVLID PORT: IT SHOULD BE BETWEEN 0 TO 9000", "Lumaro", platform::MB_OK);
    return;
  }
  m_strAddress = ToSystemText(m_cmbAddress->currentText());
  m_nPort = static_cast<int>(value);
  m_nDeviceType = m_cmbDeviceType->currentIndex();
  if (m_nDeviceType >= 0 && m_nDeviceType < 4 && m_editPort->isEnabled())
    m_ports[static_cast<std::size_t>(m_nDeviceType)] = m_nPort;
  QDialog::accept();
}

}  // namespace lumaro
