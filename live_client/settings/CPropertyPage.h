#pragma once

// One page of the settings sheet. A page builds its controls in its constructor with
// placeholder texts ("STC_..."); OnInitDialog relabels them from the language file and gives
// the page its caption, then fills in the values. OnApply writes the values back; it returns
// false (after telling the operator why) when a field holds a value it cannot take, and the
// sheet then stays open on that page. User-interface thread only.

#include <QString>
#include <QWidget>
#include <string>

class CKorvelSkin;

class CPropertyPage : public QWidget {
  Q_OBJECT

 public:
  // `captionKey`: language key of the page's caption. `skin` outlives the page; `owner` owns
  // the message boxes the page shows (a platform window handle, may be null).
  CPropertyPage(const CKorvelSkin& skin, const char* captionKey, void* owner,
                QWidget* parent = nullptr);

  // Relabels the controls and sets the caption. Without a language chosen it shows
  // "INVLID USER INTERFACE THEME" and fails. Runs once; later calls return the first result.
  bool InitPage();
  bool IsInitialised() const { return initialised_; }
  virtual bool OnApply();
  // Caption shown in the sheet's tree and above the page.
  QString Caption() const { return caption_; }

  void SetModified(bool modified = true);
  bool IsModified() const { return modified_; }

 signals:
  void modifiedChanged(bool modified);

 protected:
  // Fills the controls once they are labelled. The base does nothing.
  virtual bool OnInitDialog() { return true; }
  // Owner of the message boxes the page shows.
  void* MessageOwner() const { return owner_; }

  const CKorvelSkin& skin_;

 private:
  void* owner_;
  std::string captionKey_;
  QString caption_;
  bool initialised_ = false;
  bool initResult_ = false;
  bool modified_ = false;
};

class QLineEdit;

// The name of a field as the operator reads it: the text of the label that stands for it (the
// label whose buddy it is), without a closing colon; "" when no label names it.
QString FieldName(const QLineEdit* field);

// A refusal of what `field` holds, shown as "<field name>: <text>" (the text alone when the
// field has no label); the field then takes the focus with its text selected, so the operator
// sees which value to correct and nothing else typed is touched.
void RefuseField(const CKorvelSkin& skin, QLineEdit* field, const std::string& text, void* owner);

// Reads a whole number from a field as the platform's dialog data exchange does; on text that
// is not a number ("IDS_ENTER_INTEGER"), or outside [minimum, maximum]
// ("IDS_ENTER_INTEGER_RANGE"), refuses the field as RefuseField does and returns false.
bool ExchangeInt(const CKorvelSkin& skin, QLineEdit* field, int minimum, int maximum, int& value,
                 void* owner);
