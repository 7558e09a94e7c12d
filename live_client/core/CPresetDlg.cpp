#include "live_client/core/CPresetDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "common/qt/SystemText.h"
#include "live_client/core/PtzCodes.h"
#include "live_client/skin/KorvelSkin.h"
#include "live_client/skin/SkinApply.h"

namespace {

// Preset numbers the pad offers: what cameras commonly keep.
constexpr int kFirstPreset = 1;
constexpr int kLastPreset = 255;

}  // namespace

CPresetDlg::CPresetDlg(const CKorvelSkin& skin, Sender send, QWidget* parent)
    : QDialog(parent, Qt::Dialog), send_(std::move(send)) {
  setObjectName(QStringLiteral("CPresetDlg"));
  setModal(false);
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QStringLiteral("STC_PRESET_NUMBER"), this), 0, 0);
  number_ = new QSpinBox(this);
  number_->setObjectName(QStringLiteral("SPIN_PRESET_NUMBER"));
  number_->setRange(kFirstPreset, kLastPreset);
  grid->addWidget(number_, 0, 1, 1, 2);
  struct Command {
    const char* name;
    const char* label;
    int code;
  };
  static constexpr Command kCommands[] = {
      {"BTN_PRESET_SET", "STC_PRESET_SET", kPtzPresetAdd},
      {"BTN_PRESET_CLEAR", "STC_PRESET_CLEAR", kPtzPresetClear},
      {"BTN_PRESET_GOTO", "STC_PRESET_GOTO", kPtzPresetGoto},
  };
  int column = 0;
  for (const Command& command : kCommands) {
    auto* button = new QPushButton(QString::fromLatin1(command.label), this);
    button->setObjectName(QString::fromLatin1(command.name));
    button->setAutoDefault(false);
    const int code = command.code;
    connect(button, &QPushButton::clicked, this, [this, code] {
      if (send_) send_(code, Number());
    });
    grid->addWidget(button, 1, column++);
  }
  auto* close = new QPushButton(QStringLiteral("STC_OK"), this);
  close->setObjectName(QStringLiteral("BTN_PRESET_CLOSE"));
  connect(close, &QPushButton::clicked, this, &QWidget::hide);
  grid->addWidget(close, 2, 2);
  setWindowTitle(FromSystemText(skin.Text("IDS_PRESETDLG_CAPTION")));
  RelabelControls(this, skin);
}

int CPresetDlg::Number() const { return number_->value(); }
