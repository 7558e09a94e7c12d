#include "live_client/settings/CCameraSetDlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <QSignalBlocker>
#include <QTreeWidget>
#include <chrono>

#include "camera_link/Camlink.h"
#include "common/TraceMessage.h"
#include "live_client/core/KorvelConfig.h"
#include "live_client/core/KorvelGlobals.h"
#include "live_client/settings/CDiscoveryListDlg.h"
#include "live_client/settings/CPropertyPage.h"
#include "live_client/skin/KorvelSkin.h"
#include "live_client/skin/SkinApply.h"
#include "common/qt/SystemText.h"
#include "platform/MessageBox.h"

namespace {
// Widest texts the slot's fields take; the configuration file stores each as one line.
constexpr int kTextFieldLength = 100;
// The discovery target's longest text, as "Setting.ini" keeps it.
constexpr int kDiscoveryTargetLength = 255;
// How long a search waits for answers: the list is up within three seconds of the press.
constexpr int kSearchWaitMs = 2500;
// Cameras one search lists at most.
constexpr int kSearchMaxCameras = 64;
// The RTSP port a camera found by a search gets when the slot names none of its own.
constexpr int kDefaultRtspPort = 554;
}  // namespace

CCameraSetDlg::CCameraSetDlg(const CKorvelSkin& skin, CPageInfo (&pages)[kPageCount], int page,
                             int window, void* owner, QWidget* parent)
    : QDialog(parent), skin_(skin), pages_(pages), page_(page), window_(window), owner_(owner) {
  setObjectName(QStringLiteral("CCameraSetDlg"));
  auto* grid = new QGridLayout(this);
  int row = 0;
  // Shown only when the slot is in use: why nothing can be changed, and how to free it.
  inUseNote_ = new QLabel(this);
  inUseNote_->setObjectName(QStringLiteral("NOTE_INCONNECT"));
  inUseNote_->setWordWrap(true);
  inUseNote_->setStyleSheet(QStringLiteral("color: #a00000;"));
  inUseNote_->hide();
  grid->addWidget(inUseNote_, row++, 0, 1, 2);
  camDesc_ = AddField("STC_CAMDESC", "EDIT_CAMDESC", row++);
  svrDesc_ = AddField("STC_SVRDESC", "EDIT_SVRDESC", row++);
  addr_ = AddField("STC_ADDR", "EDIT_ADDR", row++);
  port_ = AddField("STC_PORT", "EDIT_PORT", row++);
  port2_ = AddField("STC_PORT2", "EDIT_PORT2", row++);
  channel_ = AddField("STC_CHANNEL", "EDIT_CHANNEL", row++);
  user_ = AddField("STC_USER", "EDIT_USER", row++);
  password_ = AddField("STC_PASSWORD", "EDIT_PASSWORD", row++);
  password_->setEchoMode(QLineEdit::Password);
  auto* typeLabel = new QLabel(QStringLiteral("STC_DEVTYPE"), this);
  type_ = new QComboBox(this);
  typeLabel->setBuddy(type_);
  type_->setObjectName(QStringLiteral("COMBO_DEVTYPE"));
  for (const DeviceType& type : kDeviceTypes) type_->addItem(QString::fromLatin1(type.name));
  grid->addWidget(typeLabel, row, 0);
  grid->addWidget(type_, row++, 1);

  // Finding network cameras: where the probe goes, and the button that sends it.
  auto* searchLabel = new QLabel(QStringLiteral("STC_DISCOVERY"), this);
  discoveryTarget_ = new QLineEdit(this);
  discoveryTarget_->setObjectName(QStringLiteral("EDIT_DISCOVERY"));
  discoveryTarget_->setMaxLength(kDiscoveryTargetLength);
  discoveryTarget_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^\\r\\n]*")), discoveryTarget_));
  discoveryTarget_->setText(FromSystemText(ReadDiscoveryTarget(skin_.ClientFolder())));
  searchLabel->setBuddy(discoveryTarget_);
  search_ = new QPushButton(QStringLiteral("STC_SEARCH"), this);
  search_->setObjectName(QStringLiteral("BTN_SEARCH"));
  search_->setAutoDefault(false);
  auto* searchRow = new QHBoxLayout;
  searchRow->addWidget(discoveryTarget_, 1);
  searchRow->addWidget(search_);
  grid->addWidget(searchLabel, row, 0);
  grid->addLayout(searchRow, row++, 1);
  connect(search_, &QPushButton::clicked, this, &CCameraSetDlg::StartSearch);

  grid->addLayout(MakeOkCancelRow(this), row, 0, 1, 2);

  setWindowTitle(FromSystemText(skin_.Text("IDS_CAMERASETDLG_CAPTION")));
  RelabelControls(this, skin_);
  Load();
  if (SlotInUse()) ShowInUse();
  // Connected after loading, so the stored port is not replaced by the type's default.
  connect(type_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0 && index < kKindCount) port_->setText(QString::number(kDeviceTypes[index].defaultPort));
    // A network camera's second port is its services port, which it may not have: none until
    // the operator names one (a recorder's 9008 there would be asked for services).
    if (index == kKindCamera) port2_->setText(QStringLiteral("0"));
  });
  // A camera's whole address pasted into the address field is split into the fields.
  connect(addr_, &QLineEdit::editingFinished, this, &CCameraSetDlg::SplitPastedCameraAddress);
}

CCameraSetDlg::~CCameraSetDlg() {
  if (!searchThread_.joinable()) return;
  // The worker may not have begun its probe yet, and a cancel only ends probes that run:
  // cancelled again until the worker is through.
  while (!searchFinished_->load()) {
    CMLCancelDiscover();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  searchThread_.join();
}

void CCameraSetDlg::done(int result) {
  // A search still running would come back to a closed dialog: it ends now.
  if (searchThread_.joinable()) CMLCancelDiscover();
  QDialog::done(result);
}

void CCameraSetDlg::StartSearch() {
  if (readOnly_ || searchThread_.joinable()) return;
  const std::string target = ToSystemText(discoveryTarget_->text().trimmed());
  search_->setEnabled(false);
  search_->setText(FromSystemText(skin_.Text("IDS_DISCOVERY_RUNNING")));
  TraceMessage("[KORVEL] - camera search sent to \"%s\"", target.c_str());
  searchFinished_ = std::make_shared<std::atomic<bool>>(false);
  searchThread_ = std::thread([this, target, finished = searchFinished_] {
    std::vector<CML_DISCOVERED> cameras(kSearchMaxCameras);
    int count = 0;
    const int result =
        CMLDiscover(target.c_str(), 0, kSearchWaitMs, cameras.data(), kSearchMaxCameras, &count);
    cameras.resize(static_cast<size_t>(result == CML_OK ? count : 0));
    // The dialog outlives this thread (its destructor joins it), so the answer can be posted
    // to it; the toolkit drops the posting if the dialog is gone by the time it is handled.
    QMetaObject::invokeMethod(
        this, [this, result, cameras = std::move(cameras)]() mutable { SearchDone(result, std::move(cameras)); },
        Qt::QueuedConnection);
    finished->store(true);
  });
}

void CCameraSetDlg::SearchDone(int result, std::vector<CML_DISCOVERED> cameras) {
  if (searchThread_.joinable()) searchThread_.join();
  search_->setText(FromSystemText(skin_.Text("STC_SEARCH")));
  search_->setEnabled(!readOnly_);
  TraceMessage("[KORVEL] - camera search: result %d, %zu cameras", result, cameras.size());
  if (result == CML_ERR_CANCELLED || !isVisible()) return;
  if (result == CML_ERR_PARAMETER) {
    RefuseField(skin_, discoveryTarget_, skin_.Text("IDS_DISCOVERY_BADTARGET"), owner_);
    return;
  }
  // A target that could be used is the one offered next time.
  const std::string target = ToSystemText(discoveryTarget_->text().trimmed());
  if (target != ReadDiscoveryTarget(skin_.ClientFolder())) WriteDiscoveryTarget(skin_.ClientFolder(), target);
  if (result != CML_OK) {
    skin_.ShowMessage("IDS_DISCOVERY_FAILED", platform::MB_OK, owner_);
    return;
  }
  if (cameras.empty()) {
    skin_.ShowMessage("IDS_DISCOVERY_NONE", platform::MB_OK, owner_);
    return;
  }
  CDiscoveryListDlg list(skin_, std::move(cameras), this);
  if (list.exec() != QDialog::Accepted || list.Chosen() < 0) return;
  FillFromSearch(list.Camera(list.Chosen()));
}

void CCameraSetDlg::FillFromSearch(const CML_DISCOVERED& camera) {
  QSignalBlocker keepPort(type_);  // the type's default port must not replace a port set before
  const bool wasCamera = type_->currentIndex() == kKindCamera;
  type_->setCurrentIndex(kKindCamera);
  addr_->setText(QString::fromUtf8(camera.szAddress));
  port2_->setText(QString::number(camera.wOnvifPort));
  bool isNumber = false;
  const int port = port_->text().toInt(&isNumber);
  if (!wasCamera || !isNumber || port <= 0) port_->setText(QString::number(kDefaultRtspPort));
  if (camDesc_->text().isEmpty()) camDesc_->setText(QString::fromUtf8(camera.szName));
  // The operator types the password next.
  password_->setFocus();
  password_->selectAll();
  TraceMessage("[KORVEL] - camera of page %d window %d filled from the search: %s, services port %d",
               page_ + 1, window_ + 1, camera.szAddress, camera.wOnvifPort);
}

QLineEdit* CCameraSetDlg::AddField(const char* label, const char* name, int row) {
  auto* grid = static_cast<QGridLayout*>(layout());
  auto* text = new QLabel(QString::fromLatin1(label), this);
  auto* field = new QLineEdit(this);
  field->setObjectName(QString::fromLatin1(name));
  field->setMaxLength(kTextFieldLength);
  // A line end would split the slot's record in the configuration file.
  field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^\\r\\n]*")), field));
  text->setBuddy(field);  // names the field in the messages about it
  grid->addWidget(text, row, 0);
  grid->addWidget(field, row, 1);
  return field;
}

void CCameraSetDlg::Load() {
  const CCameraInfo& slot = pages_[page_].camera[window_];
  camDesc_->setText(FromSystemText(slot.strCamDesc));
  svrDesc_->setText(FromSystemText(slot.strSvrDesc));
  addr_->setText(FromSystemText(slot.strAddr));
  port_->setText(QString::number(slot.nPort));
  port2_->setText(QString::number(slot.nPort2));
  channel_->setText(QString::number(slot.nChannel));
  user_->setText(FromSystemText(slot.strUser));
  password_->setText(FromSystemText(slot.strPassword));
  type_->setCurrentIndex(slot.nKind >= 0 && slot.nKind < kKindCount ? slot.nKind : -1);
}

void CCameraSetDlg::SplitPastedCameraAddress() {
  const QString text = addr_->text().trimmed();
  if (!text.startsWith(QStringLiteral("rtsp://"), Qt::CaseInsensitive)) return;
  CML_CONNECT_INFO parts{};
  if (CMLSplitUrl(ToSystemText(text).c_str(), &parts) != CML_OK) return;
  QSignalBlocker keepPort(type_);  // the type's default port must not replace the pasted one
  if (type_->currentIndex() != kKindCamera) port2_->setText(QStringLiteral("0"));  // RTSP only
  type_->setCurrentIndex(kKindCamera);
  addr_->setText(FromSystemText(parts.szHost));
  port_->setText(QString::number(parts.wPort));
  if (parts.szUser[0] != '\0') {
    user_->setText(FromSystemText(parts.szUser));
    password_->setText(FromSystemText(parts.szPassword));
  }
}

bool CCameraSetDlg::ExistsElsewhere(const std::string& address, int port, int channel) const {
  for (int p = 0; p < kPageCount; ++p) {
    for (int w = 0; w < kSlotsPerPage; ++w) {
      if (p == page_ && w == window_) continue;
      const CCameraInfo& other = pages_[p].camera[w];
      if (other.strAddr == address && other.nPort == port && other.nChannel == channel)
        return true;
    }
  }
  return false;
}

bool CCameraSetDlg::SlotInUse() {
  CCameraInfo& slot = pages_[page_].camera[window_];
  if (!slot.lock.TryEnter()) return true;
  const bool inUse = slot.bTried == 1 || slot.bBusy == 1;
  slot.lock.Leave();
  return inUse;
}

void CCameraSetDlg::ShowInUse() {
  readOnly_ = true;
  for (QLineEdit* field : {camDesc_, svrDesc_, addr_, port_, port2_, channel_, user_, password_})
    field->setReadOnly(true);
  type_->setEnabled(false);
  discoveryTarget_->setReadOnly(true);
  search_->setEnabled(false);  // a search would fill the fields
  std::string note = skin_.Text("IDS_CAMERA_INUSE_NOTE");
  if (note.empty()) note = skin_.Text("IDS_CANTCHANGE_INCONNECT");
  const std::string howTo = skin_.Text("IDS_CAMERA_INUSE_HOWTO");
  if (!howTo.empty()) note += "\n" + howTo;
  inUseNote_->setText(FromSystemText(note));
  inUseNote_->show();
  TraceMessage("[KORVEL] - camera of page %d window %d is in use: shown read-only", page_ + 1,
               window_ + 1);
}

void CCameraSetDlg::accept() {
  if (readOnly_) {
    // Nothing could be changed; OK only closes.
    reject();
    return;
  }
  int port = 0, port2 = 0, channel = 0;
  if (!ExchangeInt(skin_, port_, -2147483647 - 1, 2147483647, port, owner_) ||
      !ExchangeInt(skin_, port2_, -2147483647 - 1, 2147483647, port2, owner_) ||
      !ExchangeInt(skin_, channel_, -2147483647 - 1, 2147483647, channel, owner_))
    return;

  // Each refusal leaves the dialog open with what was typed; the refused field is named and
  // focused.
  if (port < 0 || port > 9999) {
    RefuseField(skin_, port_, skin_.Text("IDS_INVALID_PORT"), owner_);
    return;
  }
  if (port2 < 0 || port2 > 9999) {
    RefuseField(skin_, port2_, skin_.Text("IDS_INVALID_PORT"), owner_);
    return;
  }
  if (channel < 0 || channel > 24) {
    RefuseField(skin_, channel_, skin_.Text("IDS_INVALID_CHANNEL"), owner_);
    return;
  }
  CCameraInfo& slot = pages_[page_].camera[window_];
  if (!slot.lock.TryEnter()) {
    skin_.ShowMessage("IDS_CANTCHANGE_INCONNECT", platform::MB_OK, owner_);
    ShowInUse();
    return;
  }
  if (slot.bTried == 1 || slot.bBusy == 1) {
    slot.lock.Leave();
    skin_.ShowMessage("IDS_CANTCHANGE_INCONNECT", platform::MB_OK, owner_);
    ShowInUse();
    return;
  }
  const std::string address = ToSystemText(addr_->text());
  if (!address.empty() && ExistsElsewhere(address, port, channel)) {
    slot.lock.Leave();
    skin_.ShowMessage("IDS_CAMERA_EXIST", platform::MB_OK, owner_);
    return;
  }
  slot.strCamDesc = ToSystemText(camDesc_->text());
  slot.strSvrDesc = ToSystemText(svrDesc_->text());
  slot.strAddr = address;
  slot.nPort = port;
  slot.nPort2 = port2;
  slot.nChannel = channel;
  slot.strUser = ToSystemText(user_->text());
  slot.strPassword = ToSystemText(password_->text());
  if (type_->currentIndex() >= 0) slot.nKind = type_->currentIndex();
  slot.lock.Leave();
  SetSlotProfileText(page_, window_, std::string());  // named again by the next login
  stored_ = true;
  TraceMessage("[KORVEL] - camera of page %d window %d set to %s:%d channel %d", page_ + 1,
               window_ + 1, address.c_str(), port, channel);
  QDialog::accept();
}
