#include "live_client/skin/SkinApply.h"

#include <string>

#include <QAbstractButton>
#include <QDialog>
#include <QHBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

#include "common/TraceMessage.h"
#include "live_client/skin/CBmpButton.h"
#include "live_client/skin/CEnBitmap.h"
#include "live_client/skin/CFlatCheck.h"
#include "live_client/skin/CWzdToolTipCtrl.h"
#include "live_client/skin/KorvelSkin.h"
#include "live_client/skin/MBmpProgress.h"
#include "live_client/skin/MHollowStatic.h"
#include "live_client/skin/MainControls.h"
#include "common/qt/SystemText.h"

namespace {

bool IsPlaceholder(const QString& text) { return text.startsWith(QLatin1String("STC_")); }

bool Relabel(const CKorvelSkin& skin, const QString& placeholder, QString& result) {
  std::string text;
  if (!skin.ReadText("STC_STRING", placeholder.toStdString(), text)) return false;
  result = FromSystemText(text);
  return true;
}

bool SkinLabel(MHollowStatic* label, const std::string& section, const CKorvelSkin& skin) {
  std::string colorText;
  if (!ReadConfigString(section, "TEXTCOLOR", skin.ThemeFile(), colorText)) return false;
  SkinColor color;
  if (!ParseColorText(colorText, color)) {
    TraceMessage("[KORVEL] - TEXTCOLOR of %s is not three numbers: %s", section.c_str(),
                 colorText.c_str());
    return false;
  }
  label->SetTextColor(QColor(color.red, color.green, color.blue));
  SkinPoint position;
  if (!ReadTextPos(section, "TEXTPOS", skin.ThemeFile(), position)) return false;
  label->SetTextPos(position.x, position.y);
  return true;
}

}  // namespace

QHBoxLayout* MakeOkCancelRow(QDialog* dialog) {
  auto* ok = new QPushButton(QStringLiteral("STC_OK"), dialog);
  ok->setObjectName(QStringLiteral("IDOK"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("STC_CANCEL"), dialog);
  cancel->setObjectName(QStringLiteral("IDCANCEL"));
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(ok);
  row->addWidget(cancel);
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  return row;
}

int RelabelControls(QWidget* parent, const CKorvelSkin& skin) {
  int relabelled = 0;
  for (QWidget* child : parent->findChildren<QWidget*>()) {
    QString text;
    if (auto* label = qobject_cast<QLabel*>(child); label && IsPlaceholder(label->text())) {
      if (Relabel(skin, label->text(), text)) {
        label->setText(text);
        ++relabelled;
      }
    } else if (auto* button = qobject_cast<QAbstractButton*>(child);
               button && IsPlaceholder(button->text())) {
      if (Relabel(skin, button->text(), text)) {
        button->setText(text);
        ++relabelled;
      }
    } else if (auto* group = qobject_cast<QGroupBox*>(child); group && IsPlaceholder(group->title())) {
      if (Relabel(skin, group->title(), text)) {
        group->setTitle(text);
        ++relabelled;
      }
    }
  }
  return relabelled;
}

bool PlaceAndSkinControls(QWidget* dialog, const CKorvelSkin& skin) {
  const std::string& theme = skin.ThemeFile();
  for (QWidget* child : dialog->findChildren<QWidget*>()) {
    const std::string name = child->objectName().toStdString();
    const bool isButton = name.rfind("BTN_", 0) == 0;
    const MainControl* control = FindMainControl(name.c_str());
    if (!isButton && !control) continue;

    SkinRect position;
    if (!ReadPostion(name, "POSITION", theme, position)) {
      if (isButton) TraceMessage("BTN:SET POSTION FAIL");
      return false;
    }
    child->setGeometry(position.x, position.y, position.cx, position.cy);

    if (isButton) {
      std::string bitmap;
      if (!ReadConfigString(name, "BMPNAME", theme, bitmap)) return false;
      if (auto* button = qobject_cast<CBmpButton*>(child)) {
        button->LoadBitmaps(skin.SkinFolder(), bitmap);
        const std::string caption = skin.ButtonCaption(name);
        if (!caption.empty()) {
          button->setText(FromSystemText(caption));
          button->SetCaptionIndent(position.cy * 3 / 4);
        }
      } else if (auto* check = qobject_cast<CFlatCheck*>(child)) {
        check->LoadBitmaps(skin.SkinFolder(), bitmap);
      }
      continue;
    }
    if (auto* label = qobject_cast<MHollowStatic*>(child)) {
      if (!SkinLabel(label, name, skin)) return false;
      const std::string ptzText = skin.PtzLabel(name);
      if (!ptzText.empty()) label->SetSystemText(ptzText);
    } else if (auto* bar = qobject_cast<MBmpProgress*>(child)) {
      bar->LoadBitmaps(skin.ProgressBackPath(), skin.ProgressFillPath());
    }
  }
  return true;
}

bool ShowLogo(QLabel* logo, const CKorvelSkin& skin) {
  CEnBitmap picture;
  if (!logo || !picture.LoadImage(skin.PicturePath("Logo.jpg"))) return false;
  logo->setPixmap(QPixmap::fromImage(picture.Image()));
  return true;
}

int AddMainTooltips(CWzdToolTipCtrl& tooltips, QWidget* dialog, const CKorvelSkin& skin) {
  int added = 0;
  for (const MainControl& control : MainDialogControls()) {
    if (!control.tipKey) continue;
    QWidget* widget = dialog->findChild<QWidget*>(QString::fromLatin1(control.name));
    if (widget && tooltips.AddTool(widget, control.tipKey, skin)) ++added;
  }
  return added;
}
