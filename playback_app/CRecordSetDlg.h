#pragma once

// The record-set dialog of client mode: which recorder's local recordings a search means
// (address, port, device type).

#include <QDialog>
#include <array>
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
  // The port offered per device type (0 for the type's default). Offering shows the port of
  // the current type; after OK, the accepted port is kept for its type.
  void OfferPorts(const std::array<int, 4>& ports);
  const std::array<int, 4>& Ports() const { return m_ports; }

  // Validates the fields; on success closes with OK, otherwise shows why and stays open.
  void accept() override;

 private:
  void OnDeviceTypeChanged(int type);

 protected:
  // The port shown for `type`: the one kept for it, else the type's default.
  int PortFor(int type) const;

  QComboBox* m_cmbAddress = nullptr;
  QLineEdit* m_editPort = nullptr;
  QComboBox* m_cmbDeviceType = nullptr;
  std::string m_strAddress = "127.0.0.1";
  int m_nPort = 8630;
  int m_nDeviceType = 3;
  int m_nCurrentAddress = 0;
  std::array<int, 4> m_ports{};
};

// Port for a device type: 8670 for types 0 and 1, 8630 for type 2, 8000 for type 3.
int DefaultPortForDevice(int deviceType);

}  // namespace lumaro
