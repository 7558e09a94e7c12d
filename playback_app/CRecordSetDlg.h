#pragma once

// The record-set dialog of client mode: which recorder's local recordings a search means
// (address, port, device type).

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QLabel;

namespace lumaro {

inline constexpr const char* kDeviceTypeNames[4] = {"DOGWOOD", "CEDAR", "BIRCH", "ALDER"};

class CRecordSetDlg : public QDialog {
  Q_OBJECT
 public:
  // `languageFile` gives the captions ("" shows "INVLID USER INTERFACE THEME").
  CRecordSetDlg(const std::vector<std::string>& addresses, int currentAddress, int deviceType,
                const std::string& languageFile, QWidget* parent);

  // Results after OK.
  std::string Address() const { return m_strAddress; }
  int Port() const { return m_nPort; }
  int DeviceType() const { return m_nDeviceType; }
  int CurrentAddress() const { return m_nCurrentAddress; }

  // Validates the fields; on success closes with OK, otherwise shows why and stays open.
  void accept() override;

 private:
  void OnDeviceTypeChanged(int type);

  QComboBox* m_cmbAddress = nullptr;
  QLineEdit* m_editPort = nullptr;
  QComboBox* m_cmbDeviceType = nullptr;
  std::string m_strAddress = "127.0.0.1";
  int m_nPort = 8630;
  int m_nDeviceType = 3;
  int m_nCurrentAddress = 0;
};

// Port for a device type: 8670 for types 0 and 1, 8630 for type 2, 8000 for type 3.
int DefaultPortForDevice(int deviceType);

}  // namespace lumaro
