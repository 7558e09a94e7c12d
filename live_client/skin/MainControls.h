#pragma once

// The main dialog's themed controls: command id, placeholder name and tooltip key. The
// placeholder is the control's objectName and its initial text; the theme has one section of
// that name giving its POSITION (and, for buttons, BMPNAME). The dialog creates its controls
// from this table; the theme files and the skin generator cover every entry.

#include <span>

enum class MainControlKind {
  None = 0,
  PictureButton,  // CBmpButton, no caption
  TextButton,     // CBmpButton with a caption from section "TBTN_TEXT" of the language file
  CheckButton,    // CCheckButton (auto paging)
  PtzButton,      // PTZ pad button, pictures from the theme like a CBmpButton
  Label,          // MHollowStatic relabelled from "STC_STRING"
  Logo,           // picture control showing "Logo.jpg"
  Tree,           // the camera tree
  Progress,       // MBmpProgress, the disk-usage bar
};

struct MainControl {
  int id;                   // dialog control identifier (0 for controls without a command)
  const char* name;         // placeholder text, objectName and theme section
  MainControlKind kind;
  const char* tipKey;       // key of section "TIP_STRING", or nullptr
};

// Every themed control of the main dialog, in creation order.
std::span<const MainControl> MainDialogControls();

// The entry of `name`, or nullptr.
const MainControl* FindMainControl(const char* name);
