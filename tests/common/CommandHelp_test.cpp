// --help and --version of the programs: answered only when asked alone, under the name the
// program was started by, with the suite's version.

#include "common/CommandHelp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Answer {
  bool answered;
  std::string output;
};

Answer Ask(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  testing::internal::CaptureStdout();
  const bool answered = suite::AnswerHelpOrVersion(static_cast<int>(arguments.size()), argv.data(),
                                                   "[-pri=FOLDER] [-s=NUMBER]", "Plays recordings.\n");
  return {answered, testing::internal::GetCapturedStdout()};
}

TEST(CommandHelp, AnswersUnderTheCommandNameTheProgramWasStartedBy) {
  const Answer version = Ask({"/usr/bin/lumaro", "--version"});
  EXPECT_TRUE(version.answered);
  EXPECT_EQ(version.output, std::string("lumaro (korvel-suite) ") + SUITE_VERSION + "\n");

  const Answer help = Ask({"lumaro", "--help"});
  EXPECT_TRUE(help.answered);
  EXPECT_EQ(help.output, "Usage: lumaro [-pri=FOLDER] [-s=NUMBER]\nPlays recordings.\n");
}

TEST(CommandHelp, LeavesEveryOtherCommandLineToTheProgram) {
  // The live client starts the playback program with its own two items; a help option among
  // other arguments, a misspelt one or none at all is the program's business too.
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"Lumaro", "-pri=4294967295", "-s=0"},
                                             {"Lumaro"},
                                             {"Lumaro", "--help", "-s=0"},
                                             {"Lumaro", "-help"},
                                             {"Lumaro", "--versions"},
                                             {"Lumaro", ""}}) {
    const Answer answer = Ask(arguments);
    EXPECT_FALSE(answer.answered) << arguments.size() << " arguments, " << arguments.back();
    EXPECT_EQ(answer.output, "");
  }
}

}  // namespace
