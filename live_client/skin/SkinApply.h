#pragma once

// What a dialog does with the theme and language once its controls exist. Controls are found
// by their placeholder: the objectName for placement and skinning, the text for relabelling.
// User-interface thread only.

class QDialog;
class QHBoxLayout;
class QLabel;
class QWidget;
class CKorvelSkin;
class CWzdToolTipCtrl;

// Every child (at any depth) whose text begins with "STC_" gets the language text of that key
// from "STC_STRING". A missing key shows the reader's message and leaves the placeholder.
// Labels, buttons and group boxes carry texts. Returns the number of controls relabelled.
int RelabelControls(QWidget* parent, const CKorvelSkin& skin);

// A settings dialog's button row: OK (the default button, "IDOK") accepts and Cancel
// ("IDCANCEL") rejects; both carry their placeholders for RelabelControls. The caller places
// the row in its layout.
QHBoxLayout* MakeOkCancelRow(QDialog* dialog);

// Moves every named child of the main dialog (objectName beginning "BTN_", or one of the
// main-dialog controls of MainControls.h) to its theme section's POSITION; each "BTN_" button
// loads its pictures from its section's BMPNAME, text buttons get their "TBTN_TEXT" caption,
// labels their TEXTCOLOR and TEXTPOS, PTZ labels their texts and the disk bar its two pictures.
// Stops at the first failure (a button that cannot be placed also traces
// "BTN:SET POSTION FAIL") and returns false.
bool PlaceAndSkinControls(QWidget* dialog, const CKorvelSkin& skin);

// Shows the skin's "Logo.jpg" in `logo`; false (after the loader's message) when it is missing.
bool ShowLogo(QLabel* logo, const CKorvelSkin& skin);

// Registers the tooltip of every main-dialog control that has a tooltip key. Returns the
// number registered.
int AddMainTooltips(CWzdToolTipCtrl& tooltips, QWidget* dialog, const CKorvelSkin& skin);
