// The main dialog's theme, layout, language texts and view mode.

#include <QCalendarWidget>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QTreeWidget>
#include <cstdio>

#include "common/TraceMessage.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "playback_app/ChannelButtons.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/CMyPagesWnd.h"
#include "playback_app/LumaroGlobals.h"
#include "playback_app/SkinControls.h"
#include "playback_app/SystemText.h"
#include "playback_app/TimeStaffWnd.h"
#include "playback_app/VideoPlayerWnd.h"

namespace lumaro {

namespace {

QColor ToColor(const SkinColor& color) { return QColor(color.red, color.green, color.blue); }

// An optional colour of the theme file ("r, g, b"); false when the key is missing or malformed.
bool ThemeColor(const std::string& section, const char* key, const std::string& file, QColor& color) {
  char text[kMaxConfigText + 1] = "";
  platform::GetPrivateProfileString(section.c_str(), key, "", text, sizeof text, file.c_str());
  int red = -1, green = -1, blue = -1;
  if (std::sscanf(text, "%d , %d , %d", &red, &green, &blue) != 3) return false;
  if (red < 0 || red > 255 || green < 0 || green > 255 || blue < 0 || blue > 255) {
    TraceMessage("[LUMARO] - [%s] %s = \"%s\" is no colour; the default is kept.", section.c_str(), key, text);
    return false;
  }
  color = QColor(red, green, blue);
  return true;
}

// Labels and the playback texts that only the TBlack theme places.
constexpr const char* kTBlackOnly[] = {"LABEL_SPEED", "LABEL_FSIZE", "LABEL_STARTTIME", "LABEL_PLAYTIME",
                                       "LABEL_DISK", "STC_CLOCKDATE", "STC_CLOCKTIME", "STC_FILESIZE",
                                       "STC_SINGLEPLAYTIME", "STC_DISK"};

struct TipEntry {
  const char* key;
  int id;
};
constexpr TipEntry kTips[] = {
    {"IDS_TIP_PLAY", idc::kPlay},           {"IDS_TIP_STOP", idc::kStop},
    {"IDS_TIP_PAUSE", idc::kPause},         {"IDS_TIP_SLOW", idc::kSlow},
    {"IDS_TIP_FAST", idc::kFast},           {"IDS_TIP_FRAME_PREV", idc::kFramePrev},
    {"IDS_TIP_FRAME_NEXT", idc::kFrameNext}, {"IDS_TIP_SNAP", idc::kSnap},
    {"IDS_TIP_MUTE", idc::kMute},           {"IDS_TIP_MODE_TIME", idc::kModeTime},
    {"IDS_TIP_MODE_LIST", idc::kModeList},  {"IDS_TIP_SEARCH_START", idc::kSearch},
    {"IDS_TIP_SEARCH_STOP", idc::kSearchStop}, {"IDS_TIP_EXIT", idc::kExit},
    {"IDS_TIP_FILEOPEN", idc::kFileOpen},   {"IDS_TIP_VIDEOWND1", idc::kSplit1},
    {"IDS_TIP_VIDEOWND4", idc::kSplit4},    {"IDS_TIP_VIDEOWND9", idc::kSplit9},
    {"IDS_TIP_VIDEOWND16", idc::kSplit16},  {"IDS_TIP_SLOWALL", idc::kSlowAll},
    {"IDS_TIP_FASTALL", idc::kFastAll},     {"IDS_TIP_SAVEVIDEO", idc::kSaveVideo},
    {"IDS_TIP_PLAYALL", idc::kPlayAll},     {"IDS_TIP_STOPALL", idc::kStopAll},
    {"IDS_TIP_FULLSCREEN", idc::kFullScreen},
};

}  // namespace

std::vector<std::string> CLumaroDlg::ButtonSections() const {
  std::vector<std::string> sections;
  for (const auto& [section, button] : m_buttonsBySection) sections.push_back(section);
  return sections;
}

bool CLumaroDlg::LoadSkin() {
  ThemeData theme;
  if (!LoadTheme(m_strProgramFolder, m_strThemeName, g_nResolution, ButtonSections(), theme)) return false;
  m_theme = std::move(theme);
  m_bThemeLoaded = true;
  for (auto& [section, button] : m_buttonsBySection) button->SetPictures(m_theme.buttons[section]);
  // Channel captions: white, and on the chosen (latched) button the theme's SELTEXTCOLOR, so a
  // chosen channel reads differently from the others.
  QColor channelText(255, 255, 255);
  ThemeColor("FLAT_CHECK_BTN", "TEXTCOLOR", m_theme.file, channelText);
  QColor channelChosen = channelText;
  ThemeColor("FLAT_CHECK_BTN", "SELTEXTCOLOR", m_theme.file, channelChosen);
  for (CPictureButton* button : m_channelButtons) {
    button->SetPictures(m_theme.channelButton);
    button->SetCaptionStyle(SkinPoint{4, 1}, channelText);
    button->SetPressedCaptionColor(channelChosen);
  }
  m_sliderPlay->SetPictures(m_theme.sliderPlay, m_theme.thumbPlay);
  m_sliderVolume->SetPictures(m_theme.sliderVolume, m_theme.thumbVolume);
  for (VideoPlayerWnd* window : m_videoWindows) window->SetBackground(ToColor(m_theme.videoBackground));
  m_pPager->SetFrameColor(ToColor(m_theme.videoFrame));
  QPalette palette = m_wndTimeStaff->palette();
  palette.setColor(QPalette::Window, ToColor(m_theme.timeStaffBackground));
  m_wndTimeStaff->setPalette(palette);
  m_wndTimeStaff->setAutoFillBackground(true);
  m_wndTimeStaff->SetLineWidth(m_theme.lineWidth);
  for (const char* section : {"BTN_SEARCH", "BTN_MODELIST", "BTN_MODETIME"}) {
    SkinPoint offset;
    if (!ReadTextPos(section, "TEXTPOS", m_theme.file, offset)) return false;
    m_buttonsBySection[section]->SetCaptionStyle(offset, ToColor(m_theme.buttonTextColors[section]));
  }
  return true;
}

bool CLumaroDlg::LayoutControls() {
  const std::string& file = m_theme.file;
  const bool tblack = m_strThemeName == "TBlack";
  const bool legend = m_strThemeName != "TYELLOW";

  m_labels["STC_FILENAME"]->hide();
  m_labels["STC_DF"]->hide();
  m_labelDownPercent->hide();
  m_progressDown->hide();
  m_labels["STC_WAITING"]->hide();

  for (const auto& [section, button] : m_buttonsBySection) {
    SkinRect rect;
    if (!ReadPostion(section, "POSITION", file, rect)) {
      platform::MessageBox(Handle(), "BUTTON POS CONFIGURE FAIL", "Lumaro", platform::MB_OK);
      return false;
    }
    button->move(rect.x, rect.y);
  }

  for (const auto& [section, label] : m_labels) {
    bool tblackOnly = false;
    for (const char* only : kTBlackOnly) tblackOnly = tblackOnly || section == only;
    const bool legendLabel = section == "STC_RECMANUAL" || section == "STC_RECAUTO" || section == "STC_RECALARM";
    // TBlack must place the playback labels; another theme places those it gives a position,
    // so the Blue themes show the same speed, size, times, disk and clock.
    const bool placed = platform::GetPrivateProfileInt(section.c_str(), "POSITION_X", kMissingNumber, file.c_str()) !=
                        kMissingNumber;
    if ((tblackOnly && !tblack && !placed) || (legendLabel && !legend)) continue;
    SkinRect rect;
    if (!ReadPostion(section, "POSITION", file, rect)) return false;
    label->setGeometry(rect.x, rect.y, rect.cx, rect.cy);
    SkinPoint offset;
    if (platform::GetPrivateProfileInt(section.c_str(), "TEXTPOS_X", kMissingNumber, file.c_str()) != kMissingNumber) {
      if (!ReadTextPos(section, "TEXTPOS", file, offset)) return false;
      label->SetTextOffset(offset);
    }
  }

  struct Placed {
    const char* section;
    QWidget* widget;
    bool keepSize;  // sliders keep their track picture's size
  };
  const Placed placed[] = {
      {"STC_DOWNPERCENT", m_labelDownPercent, false}, {"CHK_REMOTE", m_chkRemote, false},
      {"CMB_DEVICE_TYPE", m_cmbDeviceType, false},   {"CMB_RECORDTYPE", m_cmbRecordType, false},
      {"CONTROL_CALDATE", m_calendar, false},        {"CONTROL_TIMEFROM", m_timeFrom, false},
      {"CONTROL_TIMETO", m_timeTo, false},           {"LIST_RESULT", m_listResult, false},
      {"LIST_RESULTREMOTE", m_listResultRemote, false}, {"PGS_DOWNFILE", m_progressDown, false},
      {"IDC_SLIDER_PLAY", m_sliderPlay, true},       {"IDC_SLIDER_VOLUME", m_sliderVolume, true},
      {"VideoWindow", m_pPager, false},            {"TimeStaff", m_wndTimeStaff, false},
  };
  for (const Placed& entry : placed) {
    SkinRect rect;
    if (!ReadPostion(entry.section, "POSITION", file, rect)) return false;
    if (entry.keepSize) entry.widget->move(rect.x, rect.y);
    else entry.widget->setGeometry(rect.x, rect.y, rect.cx, rect.cy);
  }
  if (legend) {
    const char* swatches[3] = {"WNDCOLOR_MANUAL", "WNDCOLOR_AUTO", "WNDCOLOR_ALARM"};
    for (int i = 0; i < 3; ++i) {
      SkinRect rect;
      if (!ReadPostion(swatches[i], "POSITION", file, rect)) return false;
      m_colorWnds[static_cast<std::size_t>(i)]->setGeometry(rect.x, rect.y, rect.cx, rect.cy);
    }
  }

  m_bBackPlaced = false;
  for (std::size_t i = 0; i < kBackgroundSections.size(); ++i) {
    const int x = platform::GetPrivateProfileInt(kBackgroundSections[i], "POSITION_X", kMissingNumber, file.c_str());
    const int y = platform::GetPrivateProfileInt(kBackgroundSections[i], "POSITION_Y", kMissingNumber, file.c_str());
    if (x == kMissingNumber || y == kMissingNumber) return true;
    m_backPositions[i] = SkinPoint{x, y};
  }
  m_bBackPlaced = true;
  PlaceChannelButtons();
  ApplyLabelColours();
  update();
  return true;
}

void CLumaroDlg::PlaceChannelButtons() {
  const bool tblack = m_strThemeName == "TBlack";
  // Where a drag over the buttons may start on the background: the theme's DRAG_AREA (left,
  // top, right, bottom); TBlack without one uses the strip beside its four buttons.
  QRect area = tblack ? QRect(QPoint(8, 680), QPoint(410, 752)) : QRect();
  char text[kMaxConfigText + 1] = "";
  platform::GetPrivateProfileString("FLAT_CHECK_BTN", "DRAG_AREA", "", text, sizeof text, m_theme.file.c_str());
  int left = 0, top = 0, right = 0, bottom = 0;
  if (std::sscanf(text, "%d , %d , %d , %d", &left, &top, &right, &bottom) == 4)
    area = QRect(QPoint(left, top), QPoint(right, bottom));
  if (m_pChannelDrag) m_pChannelDrag->SetDragArea(area);
  for (int i = 0; i < kChannels; ++i) {
    CPictureButton* button = m_channelButtons[static_cast<std::size_t>(i)];
    if (tblack) {
      // Four at a time beside the ruler rows, one row (16 pixels) apart.
      const int row = i - m_nFirstChannelShown;
      button->move(m_theme.channelStart.x, m_theme.channelStart.y + row * 16);
      button->setVisible(row >= 0 && row < 4);
    } else {
      button->move(m_theme.channelStart.x + i % 6 * m_theme.channelStep.x,
                   m_theme.channelStart.y + i / 6 * m_theme.channelStep.y);
      button->show();
    }
  }
}

void CLumaroDlg::ApplyLabelColours() {
  // Each theme starts from the fixed colours, so nothing of the previous theme stays.
  for (const auto& [section, label] : m_labels) label->SetTextColor(m_labelDefaultColours[section]);
  if (m_strThemeName != "TBlack") {
    m_labels["STC_PLAYTIME"]->SetTextColor(QColor(0, 0, 255));
    m_labels["STC_DATETIME"]->SetTextColor(QColor(0, 0, 255));
  } else {
    for (const char* section : {"STC_CLOCKDATE", "STC_CLOCKTIME", "STC_SPEED", "STC_FILESIZE", "STC_DATETIME",
                                "STC_SINGLEPLAYTIME", "STC_DISK"})
      m_labels[section]->SetTextColor(QColor(0, 255, 0));
    for (const char* section : {"LABEL_SPEED", "LABEL_FSIZE", "LABEL_STARTTIME", "LABEL_PLAYTIME", "LABEL_DISK"})
      m_labels[section]->SetTextColor(QColor(255, 255, 255));
  }
  // A theme gives a label its own TEXTCOLOR where the fixed colour would not stand out from
  // the theme's background (pure blue on a dark panel cannot be read).
  for (const auto& [section, label] : m_labels) {
    QColor color;
    if (ThemeColor(section, "TEXTCOLOR", m_theme.file, color)) label->SetTextColor(color);
  }
  QColor percent;
  m_labelDownPercent->setPalette(QPalette());
  if (ThemeColor("STC_DOWNPERCENT", "TEXTCOLOR", m_theme.file, percent)) {
    QPalette palette = m_labelDownPercent->palette();
    palette.setColor(QPalette::WindowText, percent);
    m_labelDownPercent->setPalette(palette);
  }
  QFont font = m_labels["STC_CLOCKTIME"]->font();
  font.setPixelSize(23);
  font.setStretch(QFont::SemiCondensed);
  m_labels["STC_CLOCKTIME"]->setFont(font);
}

bool CLumaroDlg::TextOf(const char* section, const char* key, QString& text) {
  std::string value;
  if (!ReadConfigString(section, key, m_strLanguageFile, value)) return false;
  text = FromSystemText(value);
  return true;
}

bool CLumaroDlg::ReadLanguageTexts() {
  m_strLanguageFile = LanguageFile(m_strProgramFolder, m_strLanguage);
  QString text;

  const char* localColumns[] = {"IDS_COLUME_CHANNEL", "IDS_COLUME_TYPE", "IDS_COLUME_TIME", "IDS_COLUME_FILENAME"};
  const int localWidths[] = {40, 40, 65, 350};
  QStringList headers;
  for (const char* key : localColumns) {
    if (!TextOf("TEXT_STRING", key, text)) return false;
    headers << text;
  }
  m_listResult->setHeaderLabels(headers);
  for (int i = 0; i < 4; ++i) m_listResult->setColumnWidth(i, localWidths[i]);
  headers.clear();
  const char* remoteColumns[] = {"IDS_COLUME_CHANNEL", "IDS_COLUME_TYPE", "IDS_COLUME_DATE_TIME"};
  const int remoteWidths[] = {40, 40, 125};
  for (const char* key : remoteColumns) {
    if (!TextOf("TEXT_STRING", key, text)) return false;
    headers << text;
  }
  m_listResultRemote->setHeaderLabels(headers);
  for (int i = 0; i < 3; ++i) m_listResultRemote->setColumnWidth(i, remoteWidths[i]);

  const int recordType = m_cmbRecordType->currentIndex();
  QStringList types;
  for (const char* key : {"IDS_TEXT_TYPE_ALL", "IDS_TEXT_TYPE_MANUAL", "IDS_TEXT_TYPE_AUTO", "IDS_TEXT_TYPE_ALARM"}) {
    if (!TextOf("TEXT_STRING", key, text)) return false;
    types << text;
  }
  m_cmbRecordType->clear();
  m_cmbRecordType->addItems(types);
  m_cmbRecordType->setCurrentIndex(recordType < 0 ? 0 : recordType);
  m_labels["STC_RECMANUAL"]->SetText(types[1]);
  m_labels["STC_RECAUTO"]->SetText(types[2]);
  m_labels["STC_RECALARM"]->SetText(types[3]);

  struct LabelText {
    const char* label;
    const char* section;
    const char* key;
  };
  const LabelText labels[] = {
      {"STC_WAITING", "TEXT_STRING", "IDS_WAITING"},
      {"STC_TIMEFROM", "TEXT_STRING", "IDC_TEXT_TIME_FROM"},
      {"STC_TIMETO", "TEXT_STRING", "IDC_TEXT_TIME_TO"},
      {"STC_RECORDTYPE", "TEXT_STRING", "IDC_TEXT_RECORD_TYPE"},
      {"STC_DEVICE_TYPE", "STC_STRING", "STC_DEVICE_TYPE"},
      {"STC_DF", "STC_STRING", "STC_DF"},
      {"LABEL_SPEED", "LABEL_TEXT", "LABEL_SPEED"},
      {"LABEL_FSIZE", "LABEL_TEXT", "LABEL_FSIZE"},
      {"LABEL_STARTTIME", "LABEL_TEXT", "LABEL_STARTTIME"},
      {"LABEL_PLAYTIME", "LABEL_TEXT", "LABEL_PLAYTIME"},
      {"LABEL_DISK", "LABEL_TEXT", "LABEL_DISK"},
  };
  for (const LabelText& entry : labels) {
    if (!TextOf(entry.section, entry.key, text)) return false;
    m_labels[entry.label]->SetText(text);
  }
  if (!TextOf("TEXT_STRING", "IDC_TEXT_CHECK_REMOTE", text)) return false;
  m_chkRemote->setText(text);
  for (const char* button : {"BTN_MODELIST", "BTN_MODETIME"}) {
    if (!TextOf("TBTN_TEXT", button, text)) return false;
    m_buttonsBySection[button]->setText(text);
  }
  for (const TipEntry& tip : kTips) {
    if (!TextOf("TIP_STRING", tip.key, text)) return false;
    m_buttons[tip.id]->setToolTip(text);
  }
  return true;
}

bool CLumaroDlg::ApplyViewMode() {
  const std::string& file = m_theme.file;
  const bool timeMode = m_viewMode == ViewMode::Time;
  auto show = [&](const char* section, int& value) { return ReadConfigInt(section, "SHOW", file, value); };
  auto widgetOf = [&](const std::string& section) -> QWidget* {
    if (auto it = m_labels.find(section); it != m_labels.end()) return it->second;
    if (auto it = m_buttonsBySection.find(section); it != m_buttonsBySection.end()) return it->second;
    return nullptr;
  };

  m_calendar->setVisible(true);

  const char* legend[] = {"WNDCOLOR_MANUAL", "WNDCOLOR_AUTO", "WNDCOLOR_ALARM",
                          "STC_RECMANUAL", "STC_RECAUTO", "STC_RECALARM"};
  for (int i = 0; i < 6; ++i) {
    int value = 0;
    if (!show(legend[i], value)) return false;
    QWidget* widget = i < 3 ? static_cast<QWidget*>(m_colorWnds[static_cast<std::size_t>(i)]) : widgetOf(legend[i]);
    widget->setVisible(timeMode && value != 0);
  }

  const char* always[] = {"STC_DATETIME", "LABEL_SPEED", "LABEL_FSIZE", "LABEL_STARTTIME", "LABEL_PLAYTIME",
                          "LABEL_DISK", "STC_PLAYTIME", "STC_SPEED", "STC_CLOCKDATE", "STC_CLOCKTIME",
                          "STC_SINGLEPLAYTIME", "STC_FILESIZE", "STC_DISK", "BTN_FILE", "BTN_PLAYALL",
                          "BTN_STOPALL", "BTN_FULLSCREEN", "BTN_SAVEVIDEO"};
  for (const char* section : always) {
    int value = 0;
    if (!show(section, value)) return false;
    widgetOf(section)->setVisible(value != 0);
  }

  const bool remoteControls = !timeMode && IsClientMode();
  m_chkRemote->setVisible(remoteControls);
  m_cmbDeviceType->setVisible(remoteControls);
  // The combo's caption goes with it.
  m_labels["STC_DEVICE_TYPE"]->setVisible(remoteControls);

  for (QWidget* widget : {static_cast<QWidget*>(m_labels["STC_TIMEFROM"]), static_cast<QWidget*>(m_timeFrom),
                          static_cast<QWidget*>(m_labels["STC_TIMETO"]), static_cast<QWidget*>(m_timeTo),
                          static_cast<QWidget*>(m_labels["STC_RECORDTYPE"]), static_cast<QWidget*>(m_cmbRecordType),
                          static_cast<QWidget*>(m_buttons[idc::kSearch])})
    widget->setVisible(!timeMode);
  m_buttons[idc::kSearchStop]->hide();

  m_listResult->setVisible(!timeMode && !m_bRemote);
  m_listResultRemote->setVisible(!timeMode && m_bRemote);

  m_buttons[idc::kModeTime]->setVisible(!IsClientMode());
  m_buttons[idc::kModeList]->setVisible(!IsClientMode());
  m_buttons[idc::kFileOpen]->setEnabled(!timeMode);

  ShowDownloadControls();
  UpdatePlayButtons();
  return true;
}

void CLumaroDlg::OnThemeCommand(int command) {
  const int index = command - kCommandThemeFirst;
  if (index < 0 || index >= static_cast<int>(m_themeList.size())) return;
  if (m_themeList[static_cast<std::size_t>(index)] == m_strThemeName) return;
  const std::string previous = m_strThemeName;
  m_strThemeName = m_themeList[static_cast<std::size_t>(index)];
  if (!LoadSkin()) {
    m_strThemeName = previous;
    return;
  }
  LayoutControls();
  ApplyViewMode();
  update();
}

void CLumaroDlg::OnLanguageCommand(int command) {
  const int index = command - kCommandLanguageFirst;
  if (index < 0 || index >= static_cast<int>(m_languageList.size())) return;
  const std::string previous = m_strLanguage;
  m_strLanguage = m_languageList[static_cast<std::size_t>(index)].name;
  if (!ReadLanguageTexts()) {
    platform::MessageBox(Handle(), "LOAD LANGUAGE RESOURCE FAIL", "Lumaro", platform::MB_OK);
    // The texts of the language in use stay; its file is read again so nothing is half-replaced.
    m_strLanguage = previous;
    ReadLanguageTexts();
    return;
  }
  update();
  for (VideoPlayerWnd* window : m_videoWindows) window->update();
}

}  // namespace lumaro
