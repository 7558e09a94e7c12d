// The user documents (README.md, docs/USER_GUIDE.md) against the programs. The documents
// print every name the operator reads on screen in bold (**Record**) and every key in
// <kbd>Esc</kbd>: each bold name must be a text the programs show (a language text of
// either program, or an entry of the live client's window menu), and each key must do in
// the live client what the documents say. A few statements of fact are checked as well.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "live_client/core/CKorvelDlg.h"
#include "live_client/core/CameraInfo.h"
#include "live_client/core/KorvelGlobals.h"
#include "common/qt/SystemText.h"
#include "live_client/storage/MWeek.h"
#include "platform/MessageBox.h"
#include "tests/live_client/core/KorvelDialogFixture.h"

namespace fs = std::filesystem;

namespace korvel_test {
namespace {

struct Document {
  std::string name;
  std::string text;
};

std::string SourceDir() {
  const char* dir = std::getenv("SUITE_SOURCE_DIR");
  return dir ? dir : "";
}

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<Document> Documents() {
  std::vector<Document> documents;
  for (const char* name : {"README.md", "docs/USER_GUIDE.md"})
    documents.push_back({name, ReadWhole(fs::path(SourceDir()) / name)});
  return documents;
}

// The document's prose: fenced code blocks become empty lines (so line numbers stay) and
// inline code spans are dropped, since neither names anything on screen.
std::string Prose(const std::string& markdown) {
  std::istringstream in(markdown);
  std::string line;
  std::string prose;
  bool fenced = false;
  while (std::getline(in, line)) {
    if (line.rfind("```", 0) == 0) {
      fenced = !fenced;
      prose += '\n';
      continue;
    }
    if (!fenced) prose += std::regex_replace(line, std::regex("`[^`]*`"), "");
    prose += '\n';
  }
  return prose;
}

struct Mention {
  std::string text;
  int line;
};

// Every match of group 1 of `pattern`, with its line; bold spans may wrap onto the next line.
std::vector<Mention> Mentions(const std::string& prose, const std::regex& pattern) {
  std::vector<Mention> found;
  for (auto it = std::sregex_iterator(prose.begin(), prose.end(), pattern);
       it != std::sregex_iterator(); ++it) {
    std::string text = (*it)[1].str();
    // A name broken over two lines of the source reads as one with a single blank.
    text = std::regex_replace(text, std::regex("\\s*\\n\\s*"), " ");
    const int line = 1 + static_cast<int>(std::count(prose.begin(), prose.begin() + it->position(), '\n'));
    found.push_back({text, line});
  }
  return found;
}

std::vector<Mention> BoldNames(const std::string& prose) {
  return Mentions(prose, std::regex("\\*\\*([^*]+)\\*\\*"));
}

std::vector<Mention> Keys(const std::string& prose) {
  return Mentions(prose, std::regex("<kbd>([^<]+)</kbd>"));
}

// Every value of a language file (key=value lines outside comments), as shown: with and
// without a trailing "..." (a menu entry's "About Lumaro..." is named "About Lumaro").
void AddLanguageTexts(const fs::path& file, std::set<std::string>& texts) {
  std::istringstream in(ReadWhole(file));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';' || line[0] == '[') continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string value = line.substr(equals + 1);
    if (value.empty()) continue;
    texts.insert(value);
    if (value.size() > 3 && value.compare(value.size() - 3, 3, "...") == 0)
      texts.insert(value.substr(0, value.size() - 3));
  }
}

class UserDocsTest : public KorvelDialogTest {
 protected:
  // The texts the programs show in English: both language files, and the live client's
  // window menu as the running dialog has it.
  std::set<std::string> ProgramTexts() const {
    std::set<std::string> texts;
    for (const char* program : {"Korvel", "Lumaro"})
      AddLanguageTexts(fs::path(SourceDir()) / "data/Language" / program / "Language.English", texts);
    if (auto* menu = dialog_->findChild<QMenu*>(QStringLiteral("ContextMenu")))
      for (QAction* action : menu->actions())
        if (!action->isSeparator()) texts.insert(action->text().remove(QLatin1Char('&')).toStdString());
    return texts;
  }

  QMenu* WindowMenu() const { return dialog_->findChild<QMenu*>(QStringLiteral("ContextMenu")); }
};

TEST_F(UserDocsTest, EveryNameInBoldIsATextTheProgramsShow) {
  ASSERT_TRUE(OpenDialog());
  const std::set<std::string> texts = ProgramTexts();
  // The language files hold the settings pages, the buttons' tooltips and captions.
  ASSERT_TRUE(texts.count("Recording schedule"));
  ASSERT_TRUE(texts.count("Connect")) << "the window menu has no Connect entry";
  int names = 0;
  for (const Document& document : Documents()) {
    ASSERT_FALSE(document.text.empty()) << document.name;
    for (const Mention& name : BoldNames(Prose(document.text))) {
      ++names;
      EXPECT_TRUE(texts.count(name.text))
          << document.name << ":" << name.line << ": \"" << name.text
          << "\" is printed as a name on screen, but neither program shows such a text";
    }
  }
  // The documents do name the controls this way (an empty walk would prove nothing).
  EXPECT_GT(names, 40);
}

TEST_F(UserDocsTest, TheWalkFindsANameThatDoesNotExist) {
  ASSERT_TRUE(OpenDialog());
  const std::set<std::string> texts = ProgramTexts();
  const std::string prose = Prose(
      "Open **Settings**, page **Camera setup**, then\n**Record on\n  schedule**.\n"
      "```\n**Not prose**\n```\nThe `**code**` span.\n");
  std::vector<std::string> unknown;
  for (const Mention& name : BoldNames(prose))
    if (!texts.count(name.text)) unknown.push_back(name.text + "@" + std::to_string(name.line));
  EXPECT_EQ(unknown, std::vector<std::string>{"Camera setup@1"});
}

// Each key the documents name, sent to the live client, does what they say of it there.
TEST_F(UserDocsTest, EveryKeyTheDocumentsNameIsHandled) {
  ASSERT_TRUE(OpenDialog());
  std::map<std::string, std::string> keys;  // key -> where first named
  for (const Document& document : Documents())
    for (const Mention& key : Keys(Prose(document.text)))
      keys.emplace(key.text, document.name + ":" + std::to_string(key.line));
  ASSERT_TRUE(keys.count("Menu"));
  ASSERT_TRUE(keys.count("Esc"));

  for (const auto& [key, where] : keys) {
    SCOPED_TRACE(key + " named at " + where);
    platform::ResetMessageBoxes();
    if (key == "Menu") {
      // The window menu opens from the keyboard.
      QTest::mouseClick(VideoWindow(3)->Surface(), Qt::LeftButton);
      QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : dialog_.get();
      QTest::keyClick(focus, Qt::Key_Menu);
      // The windowing system follows the Menu key with a keyboard context-menu request to the
      // focus widget (the test screen does not, so it is sent here).
      const QPoint inside(2, 2);
      QContextMenuEvent request(QContextMenuEvent::Keyboard, inside, focus->mapToGlobal(inside));
      QApplication::sendEvent(focus, &request);
      EXPECT_TRUE(WindowMenu()->isVisible());
      EXPECT_EQ(g_nCurWnd, 3);
      WindowMenu()->hide();
    } else if (key == "Esc") {
      // In full screen it leaves full screen and asks nothing; outside it asks about exit.
      QTest::mouseClick(VideoWindow(3)->Surface(), Qt::RightButton);
      ASSERT_EQ(dialog_->m_bFullScreen, 1);
      QTest::keyClick(dialog_.get(), Qt::Key_Escape);
      EXPECT_EQ(dialog_->m_bFullScreen, 0);
      EXPECT_TRUE(platform::ShownMessageBoxes().empty());
      platform::ScriptMessageBoxAnswers({platform::IDNO});
      QTest::keyClick(dialog_.get(), Qt::Key_Escape);
      ASSERT_EQ(platform::ShownMessageBoxes().size(), 1u);
      EXPECT_EQ(FromSystemText(platform::ShownMessageBoxes()[0].text),
                English("IDS_QUEST_EXIT"));
      EXPECT_TRUE(dialog_->isVisible());
    } else if (key == "Enter") {
      QTest::keyClick(dialog_.get(), Qt::Key_Return);
      QTest::keyClick(dialog_.get(), Qt::Key_Enter);
      EXPECT_TRUE(dialog_->isVisible());
      EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    } else {
      ADD_FAILURE() << "the documents name a key no check here covers";
    }
  }
}

// "A window that shows no video is plain green", "its 7 x 24 grid starts with all 168 hours
// armed; a right click on the corner **All** clears them".
TEST_F(UserDocsTest, IdleColourAndTheFreshTimetableAreAsDescribed) {
  const std::string guide = Prose(Documents()[1].text);
  std::smatch colour;
  ASSERT_TRUE(std::regex_search(guide, colour, std::regex("shows no video is plain (\\w+)")));
  ASSERT_TRUE(OpenDialog());
  QWidget* surface = VideoWindow(9)->Surface();
  const QColor idle = surface->grab().toImage().pixelColor(surface->width() / 2, surface->height() / 2);
  const std::map<std::string, bool> seen = {
      {"green", idle.green() > idle.red() + 40 && idle.green() > idle.blue() + 40},
      {"black", idle.value() < 40},
      {"blue", idle.blue() > idle.red() + 40 && idle.blue() > idle.green() + 40}};
  ASSERT_TRUE(seen.count(colour[1].str())) << colour[1].str();
  EXPECT_TRUE(seen.at(colour[1].str())) << "an idle window is " << idle.name().toStdString();

  for (const Document& document : Documents())
    EXPECT_NE(Prose(document.text).find("168 hours armed"), std::string::npos) << document.name;
  CCameraInfo fresh;
  MWeek grid;
  grid.resize(500, 160);
  grid.LoadSchedule(fresh.abySchedule);
  grid.LoadDayLabels([this](const std::string& key) { return English(key.c_str()).toStdString(); });
  int armed = 0;
  for (int day = 0; day < 7; ++day)
    for (int hour = 0; hour < 24; ++hour) armed += grid.GetCell(day, hour) ? 1 : 0;
  EXPECT_EQ(armed, 168);
  EXPECT_EQ(fresh.bSchedOn, 0);
  EXPECT_EQ(English("IDS_COL_WEEKALL"), QStringLiteral("All"));
  QTest::mouseClick(&grid, Qt::RightButton, {}, QPoint(2, 2));
  for (int day = 0; day < 7; ++day)
    for (int hour = 0; hour < 24; ++hour) EXPECT_EQ(grid.GetCell(day, hour), 0) << day << " " << hour;
}

}  // namespace
}  // namespace korvel_test
