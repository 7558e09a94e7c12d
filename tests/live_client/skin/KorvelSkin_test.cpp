// Themes and language texts: the readers and their messages, the loading steps, relabelling,
// placement and skinning, against small fixture files and against the shipped "Blue" themes.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTreeWidget>
#include <fstream>
#include <memory>
#include <string>

#include "live_client/skin/CBmpButton.h"
#include "live_client/skin/CCheckButton.h"
#include "live_client/skin/CEnBitmap.h"
#include "live_client/skin/CWzdToolTipCtrl.h"
#include "live_client/skin/KorvelSkin.h"
#include "live_client/skin/MBmpProgress.h"
#include "live_client/skin/MHollowStatic.h"
#include "live_client/skin/MainControls.h"
#include "live_client/skin/SkinApply.h"
#include "live_client/skin/TextFormat.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/TimeText.h"
#include "tests/live_client/skin/SkinTestSupport.h"
#include "tests/support/TempFolder.h"

namespace {

using skin_test::ShownTexts;

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class SkinFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    skin_test::App();
    platform::ResetMessageBoxes();
    CEnBitmap::ForgetReportedFailures();
    platform::CreateFolderTree(folder_ / "UI_Skin/Korvel/Grey1024,768Theme");
    platform::CreateFolderTree(folder_ / "Language/Korvel");
  }
  std::string ThemeFile() const { return folder_ / "UI_Skin/Korvel/Grey1024,768Theme/Grey1024,768Theme.ini"; }
  std::string LanguageFile() const { return folder_ / "Language/Korvel/Language.Test"; }

  // A theme with everything LoadTheme reads, plus `extra` sections.
  void WriteTheme(const std::string& extra) {
    WriteText(ThemeFile(),
              "[ENG]\nThemeName=Grey\n[THEMECOLOR]\nBKCOLOR=1, 2, 3\nTEXTCOLOR=200, 201, 202\n"
              "[VideoWindow]\nVideoWindowRect=8, 30, 856, 676\nPOSITION_X=8\nPOSITION_Y=30\n"
              "POSITION_CX=848\nPOSITION_CY=646\n"
              "[IDB_BITMAP_BACK_TOP]\nBMPNAME=T\nPOSITION_X=0\nPOSITION_Y=0\nPOSITION_CX=10\nPOSITION_CY=10\n"
              "[IDB_BITMAP_BACK_BOTTOM]\nBMPNAME=B\nPOSITION_X=0\nPOSITION_Y=0\nPOSITION_CX=10\nPOSITION_CY=10\n"
              "[IDB_BITMAP_BACK_LEFT]\nBMPNAME=L\nPOSITION_X=0\nPOSITION_Y=0\nPOSITION_CX=10\nPOSITION_CY=10\n"
              "[IDB_BITMAP_BACK_RIGHT]\nBMPNAME=R\nPOSITION_X=0\nPOSITION_Y=0\nPOSITION_CX=10\nPOSITION_CY=10\n"
              "[STC_PROGRESS]\nSTC_PROGRESS_BACK=PB\nSTC_PROGRESS_PROGRESS=PF\n" + extra);
    for (const char* name : {"T", "B", "L", "R"}) {
      QImage picture(10, 10, QImage::Format_RGB32);
      picture.fill(Qt::blue);
      picture.save(QString::fromStdString(folder_ / ("UI_Skin/Korvel/Grey1024,768Theme/" + std::string(name) + ".jpg")), "JPG");
    }
  }

  // A language file (GBK) with everything LoadLanguage reads, plus `extra` lines of STC_STRING.
  void WriteLanguage(const std::string& extraUtf8) {
    WriteText(LanguageFile(),
              platform::Utf8ToGbk("[General]\nLanCaption=测试\n[TBTN_TEXT]\nBTN_CONFIG=设置\n"
                                  "BTN_PLAYBACK=Play\nBTN_RECORD=Rec\nBTN_STOPRECORD=Stop\nBTN_SNAP=Snap\n"
                                  "[TIP_STRING]\nIDS_TIP_SNAP=Take a picture\n"
                                  "[STC_STRING]\nIDS_STATIC_ZOOM=变倍\nIDS_STATIC_FOCUS=Focus\n"
                                  "IDS_STATIC_IRIS=Iris\nIDS_STATIC_BRUSH=Wiper\nIDS_STATIC_POWER=PTZ\n"
                                  "IDS_STATIC_SERLIGHT=Light\n" + extraUtf8));
  }

  bool LoadAll(CKorvelSkin& skin, const std::string& skinName = "Grey", int resolution = 1) {
    skin.InitThemeList(folder_.path());
    return skin.LoadTheme(skinName, resolution) && skin.LoadLanguageList() && skin.LoadLanguage("Test");
  }

  suite::test::TempFolder folder_{"korvel-skin"};
};

TEST_F(SkinFixture, MissingLanguageKeyShowsOneMessageAndLeavesThePlaceholder) {
  WriteTheme("");
  WriteLanguage("STC_ADDR=地址\n");
  CKorvelSkin skin;
  ASSERT_TRUE(LoadAll(skin));
  EXPECT_TRUE(ShownTexts().empty());

  QWidget page;
  auto* known = new QLabel("STC_ADDR", &page);
  auto* missing = new QLabel("STC_PORT2", &page);
  auto* plain = new QPushButton("OK", &page);
  EXPECT_EQ(RelabelControls(&page, skin), 1);
  EXPECT_EQ(known->text(), QString::fromUtf8("地址"));
  EXPECT_EQ(missing->text(), "STC_PORT2");
  EXPECT_EQ(plain->text(), "OK");
  const std::vector<std::string> shown = ShownTexts();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "ReadConfigString - [SEC: STC_STRING - KEY:STC_PORT2] : [PATH: " +
                          skin.LanguageFile() + "] : READ CFG STRING FAIL.");
}

TEST_F(SkinFixture, NumericMarker10000CountsAsMissing) {
  WriteTheme("[BTN_SNAP]\nBMPNAME=Snap\nPOSITION_X=5\nPOSITION_Y=6\nPOSITION_CX=10000\nPOSITION_CY=20\n"
             "[NUMBERS]\nGOOD=9999\nMARK=10000\n[STC_PAGEINFO]\nTEXTPOS_X=10000\nTEXTPOS_Y=3\n");
  const std::string theme = ThemeFile();
  int value = -1;
  EXPECT_TRUE(ReadConfigInt("NUMBERS", "GOOD", theme, value));
  EXPECT_EQ(value, 9999);
  EXPECT_FALSE(ReadConfigInt("NUMBERS", "MARK", theme, value));
  EXPECT_EQ(value, 9999);
  SkinRect rect{1, 2, 3, 4};
  EXPECT_FALSE(ReadPostion("BTN_SNAP", "POSITION", theme, rect));
  EXPECT_EQ(rect, (SkinRect{1, 2, 3, 4}));
  SkinPoint point{7, 7};
  EXPECT_FALSE(ReadTextPos("STC_PAGEINFO", "TEXTPOS", theme, point));
  std::string text = "old";
  EXPECT_FALSE(ReadConfigString("NUMBERS", "NONE", theme, text));
  EXPECT_EQ(text, "old");

  const std::vector<std::string> shown = ShownTexts();
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0], "ReadConfigInt - [SEC: NUMBERS - KEY:MARK] : [PATH: " + theme + "] : READ CFG INT FAIL");
  EXPECT_EQ(shown[1], "ReadPostion - [SEC: BTN_SNAP - KEY:POSITION_CX] : [PATH: " + theme + "] : READ POS FAIL");
  EXPECT_EQ(shown[2], "ReadTextPos - [SEC: STC_PAGEINFO - KEY:TEXTPOS_X] : [PATH: " + theme +
                          "] : READ TEXT POS FAIL");
  EXPECT_EQ(shown[3], "ReadConfigString - [SEC: NUMBERS - KEY:NONE] : [PATH: " + theme +
                          "] : READ CFG STRING FAIL.");

  // The same marker makes the placement of the dialog fail and leaves the button where it was.
  WriteLanguage("");
  CKorvelSkin skin;
  ASSERT_TRUE(LoadAll(skin));
  QWidget dialog;
  auto* snap = new CBmpButton(&dialog, 1163);
  snap->setObjectName("BTN_SNAP");
  snap->setGeometry(1, 1, 2, 2);
  EXPECT_FALSE(PlaceAndSkinControls(&dialog, skin));
  EXPECT_EQ(snap->geometry(), QRect(1, 1, 2, 2));
}

TEST_F(SkinFixture, LoadingStepsFormPathsAndReportTheirFailures) {
  WriteTheme("");
  WriteLanguage("");
  CKorvelSkin skin;
  skin.InitThemeList(folder_.path());
  ASSERT_EQ(skin.ThemeNames().size(), 1u);
  EXPECT_EQ(skin.ThemeNames()[0], "Grey");

  // Class 0 fails without a word; an empty skin name shows the invalid-theme text.
  EXPECT_FALSE(skin.LoadTheme("Grey", 0));
  EXPECT_TRUE(ShownTexts().empty());
  EXPECT_FALSE(skin.LoadTheme("", 1));
  EXPECT_EQ(ShownTexts().size(), 1u);

  ASSERT_TRUE(skin.LoadTheme("Grey", 1));
  EXPECT_EQ(skin.SkinFolder(), folder_.path() + "\\UI_Skin\\Korvel\\Grey1024,768Theme\\");
  EXPECT_EQ(skin.VideoPosition(), (SkinRect{8, 30, 848, 646}));
  EXPECT_EQ(skin.VideoWindowRect()[2], 856);
  EXPECT_EQ(skin.TextColor(), (SkinColor{200, 201, 202}));
  EXPECT_TRUE(skin.BordersLoaded());
  EXPECT_EQ(skin.ProgressFillPath(), skin.SkinFolder() + "PF.jpg");

  ASSERT_TRUE(skin.LoadLanguageList());
  ASSERT_EQ(skin.Languages().size(), 1u);
  EXPECT_EQ(skin.Languages()[0].name, "Test");
  EXPECT_EQ(skin.Languages()[0].caption, platform::Utf8ToGbk("测试"));

  platform::ResetMessageBoxes();
  EXPECT_FALSE(skin.LoadLanguage(""));
  EXPECT_EQ(ShownTexts(), std::vector<std::string>{"Language name is empty."});
  ASSERT_TRUE(skin.LoadLanguage("Test"));
  EXPECT_EQ(skin.ButtonCaption("BTN_CONFIG"), platform::Utf8ToGbk("设置"));
  EXPECT_EQ(skin.PtzLabel("STC_ZOOM"), platform::Utf8ToGbk("变倍"));

  // A missing border picture is reported once and the theme still loads; the dialog then erases
  // its background the ordinary way.
  platform::DeleteFile(skin.SkinFolder() + "L.jpg");
  platform::ResetMessageBoxes();
  ASSERT_TRUE(skin.LoadTheme("Grey", 1));
  EXPECT_FALSE(skin.BordersLoaded());
  EXPECT_EQ(ShownTexts(), std::vector<std::string>{"LOAD IMAGE FAIL. [PATH]: " + skin.SkinFolder() + "L.jpg"});
  ASSERT_TRUE(skin.LoadTheme("Grey", 1));
  EXPECT_EQ(ShownTexts().size(), 1u);

  // A language without the button captions fails its step.
  WriteText(LanguageFile(), "[General]\nLanCaption=x\n");
  platform::ResetMessageBoxes();
  EXPECT_FALSE(skin.LoadLanguage("Test"));
  EXPECT_EQ(ShownTexts().size(), 1u);
}

TEST(ShippedThemes, BlueAtClassTwoLoadsThe1440By900ThemeFile) {
  skin_test::App();
  platform::ResetMessageBoxes();
  CKorvelSkin skin;
  skin.InitThemeList(skin_test::ProgramFolder());
  EXPECT_EQ(skin.ThemeNames(), (std::vector<std::string>{"Blue", "Blue"}));
  ASSERT_TRUE(skin.LoadTheme("Blue", 2));
  EXPECT_EQ(skin.ThemeFile(), skin_test::ProgramFolder() +
                                  "\\UI_Skin\\Korvel\\Blue1440,900Theme\\Blue1440,900Theme.ini");
  EXPECT_TRUE(platform::Exists(skin.ThemeFile()));
  EXPECT_EQ(skin.VideoPosition().cx, 1216);
  EXPECT_TRUE(skin.BordersLoaded());
  EXPECT_EQ(skin.Border(BorderSide::Top).image.width(), 1440);
  EXPECT_TRUE(ShownTexts().empty());
}

// The main dialog's controls built from the control table, as the dialog builds them.
std::unique_ptr<QWidget> MakeMainControls(QSize size) {
  auto dialog = std::make_unique<QWidget>();
  dialog->resize(size);
  for (const MainControl& control : MainDialogControls()) {
    QWidget* widget = nullptr;
    switch (control.kind) {
      case MainControlKind::CheckButton: widget = new CCheckButton(dialog.get(), control.id); break;
      case MainControlKind::PictureButton:
      case MainControlKind::TextButton:
      case MainControlKind::PtzButton: widget = new CBmpButton(dialog.get(), control.id); break;
      case MainControlKind::Label: widget = new MHollowStatic(dialog.get()); break;
      case MainControlKind::Logo: widget = new QLabel(dialog.get()); break;
      case MainControlKind::Tree: widget = new QTreeWidget(dialog.get()); break;
      case MainControlKind::Progress: widget = new MBmpProgress(dialog.get()); break;
      case MainControlKind::None: break;
    }
    if (!widget) {
      ADD_FAILURE() << "no widget kind for " << control.name;
      continue;
    }
    widget->setObjectName(QString::fromLatin1(control.name));
    if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(QString::fromLatin1(control.name));
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) button->setText(QString::fromLatin1(control.name));
  }
  return dialog;
}

TEST(ShippedThemes, EveryControlOfBothThemesIsPlacedSkinnedAndLabelledInBothLanguages) {
  skin_test::App();
  for (int resolution : {1, 2}) {
    for (const char* language : {"English", "Chinese"}) {
      SCOPED_TRACE(std::string(language) + " at class " + std::to_string(resolution));
      platform::ResetMessageBoxes();
      CKorvelSkin skin;
      skin.InitThemeList(skin_test::ProgramFolder());
      ASSERT_TRUE(skin.LoadTheme("Blue", resolution));
      ASSERT_TRUE(skin.LoadLanguageList());
      ASSERT_TRUE(skin.LoadLanguage(language));
      const QSize screen = resolution == 1 ? QSize(1024, 768) : QSize(1440, 900);
      std::unique_ptr<QWidget> dialog = MakeMainControls(screen);
      ASSERT_TRUE(PlaceAndSkinControls(dialog.get(), skin));
      RelabelControls(dialog.get(), skin);
      CWzdToolTipCtrl tooltips;
      int withTips = 0;
      for (const MainControl& control : MainDialogControls()) withTips += control.tipKey ? 1 : 0;
      EXPECT_EQ(AddMainTooltips(tooltips, dialog.get(), skin), withTips);
      ASSERT_TRUE(ShowLogo(dialog->findChild<QLabel*>("STC_LOGO"), skin));
      EXPECT_EQ(ShownTexts(), std::vector<std::string>{});

      const QRect screenRect(QPoint(0, 0), screen);
      for (const MainControl& control : MainDialogControls()) {
        QWidget* widget = dialog->findChild<QWidget*>(QString::fromLatin1(control.name));
        EXPECT_TRUE(screenRect.contains(widget->geometry())) << control.name;
        EXPECT_FALSE(widget->geometry().intersects(QRect(QPoint(skin.VideoPosition().x, skin.VideoPosition().y),
                                                         QSize(skin.VideoPosition().cx, skin.VideoPosition().cy))))
            << control.name << " covers the video grid";
        if (auto* button = qobject_cast<CBmpButton*>(widget)) {
          for (ButtonFace face : {ButtonFace::Normal, ButtonFace::Hover, ButtonFace::Pressed, ButtonFace::Disabled})
            EXPECT_TRUE(button->HasFace(face)) << control.name;
          EXPECT_FALSE(button->text().startsWith("BTN_") && control.kind == MainControlKind::TextButton)
              << control.name;
        }
        if (auto* label = qobject_cast<MHollowStatic*>(widget)) {
          EXPECT_FALSE(label->text().startsWith("STC_")) << control.name;
        }
      }
      if (std::string(language) == "Chinese") {
        EXPECT_EQ(dialog->findChild<CBmpButton*>("BTN_RECORD")->text(), QString::fromUtf8("开始录像"));
        EXPECT_EQ(dialog->findChild<MHollowStatic*>("STC_ZOOM")->text(), QString::fromUtf8("变倍"));
      }
      // A picture for people checking the look: build/korvel-skin-<class>-<language>.png.
      QImage shot(screen, QImage::Format_RGB32);
      QPainter painter(&shot);
      for (int side = 0; side < 4; ++side) {
        const BorderPicture& border = skin.Border(static_cast<BorderSide>(side));
        painter.drawImage(QPoint(border.position.x, border.position.y), border.image);
      }
      painter.fillRect(QRect(skin.VideoPosition().x, skin.VideoPosition().y, skin.VideoPosition().cx,
                             skin.VideoPosition().cy), QColor(0x39, 0x41, 0x63));
      painter.end();
      dialog->setAttribute(Qt::WA_DontShowOnScreen);
      dialog->show();
      for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->render(&shot, child->pos(), QRegion(), QWidget::DrawChildren);
      shot.save(QString::fromStdString(skin_test::ProgramFolder() + "/../korvel-skin-" +
                                       std::to_string(resolution) + "-" + language + ".png"));
    }
  }
}

TEST(LanguageTexts, FormattingNeverTrustsTheConversionsOfATranslation) {
  EXPECT_EQ(FormatText("Window %d", {12}), "Window 12");
  EXPECT_EQ(FormatText("%s channel %d (error %d)", {std::string("10.0.0.5"), 3, -7}), "10.0.0.5 channel 3 (error -7)");
  EXPECT_EQ(FormatText("%02d:%02d", {5, 7}), "05:07");
  EXPECT_EQ(FormatText("%s and %d", {4, std::string("x")}), "4 and 0");
  EXPECT_EQ(FormatText("%d %s %d", {1}), "1  ");
  EXPECT_EQ(FormatText("100%% %n %p done", {1}), "100% %n %p done");
  EXPECT_EQ(FormatText("%", {}), "%");
  // Widths and precisions no window can show are written as they stand, at once: a damaged
  // file asking for a billion characters must cost neither seconds nor a gigabyte.
  EXPECT_EQ(FormatText("[%5d|%-4s|%.2s]", {7, std::string("ab"), std::string("xyz")}), "[    7|ab  |xy]");
  EXPECT_EQ(FormatText("%100d", {1}).size(), 100u);
  EXPECT_EQ(FormatText("%999999999s!", {std::string("x")}), "%999999999s!");
  EXPECT_EQ(FormatText("%.999999999d %d", {1, 2}), "%.999999999d 1");
  EXPECT_EQ(FormatText("%0101d", {3}), "%0101d");
}

}  // namespace
