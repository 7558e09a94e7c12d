#include "tests/live_client/skin/SkinTestSupport.h"

#include <cstdlib>

#include "platform/MessageBox.h"

namespace skin_test {

QApplication& App() {
  static int argc = 1;
  static char name[] = "korvel-skin-test";
  static char* argv[] = {name, nullptr};
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

std::string ProgramFolder() {
  const char* build = std::getenv("SUITE_BUILD_DIR");
  return std::string(build ? build : "..") + "/bin";
}

std::vector<std::string> ShownTexts() {
  std::vector<std::string> texts;
  for (const platform::MessageBoxRequest& box : platform::ShownMessageBoxes()) texts.push_back(box.text);
  return texts;
}

}  // namespace skin_test
