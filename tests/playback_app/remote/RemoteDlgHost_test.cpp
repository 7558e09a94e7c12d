// The remote protocol's questions and notices as the operator sees them in the main dialog:
// language texts from the dialog's language file, the answer taken from the box, and the
// download queue left alone when the operator declines.
#include <gtest/gtest.h>

#include "LumaroTestSupport.h"
#include "platform/MessageBox.h"
#include "playback_app/CLumaroDlg.h"
#include "playback_app/VideoPlayerWnd.h"
#include "playback_app/remote/CRemoteDlgHost.h"
#include "tests/support/TempDriveTable.h"

namespace lumaro {
namespace {

TEST(RemoteDlgHost, QuestionsUseTheLanguageTextsAndTheAnswerDecides) {
  lumaro_test::DialogSurroundings surroundings;
  {
    suite::test::TempDriveTable drives("CD", 'C');
    lumaro_test::ProgramFolder folder;
    CLumaroDlg dialog(1, "D:\\Picture\\", folder.path());
    ASSERT_TRUE(dialog.OnInitDialog()) << (platform::ShownMessageBoxes().empty() ? std::string("no box")
                                                                               : platform::ShownMessageBoxes()[0].text);
    CRemoteDlgHost host(dialog);
    CVantorRemote remote(dialog.Handle(), host);

    EXPECT_EQ(host.VideoWindowHandle(5), dialog.VideoWindow(5)->Handle());
    EXPECT_EQ(host.SoundMuted(), dialog.IsMuted());

    platform::ScriptMessageBoxAnswers({platform::IDNO});
    EXPECT_FALSE(remote.QueueDownloads({"a\\b.avi"}));
    EXPECT_TRUE(remote.DownloadQueue().empty());
    EXPECT_TRUE(remote.DownloadIdle());
    platform::ScriptMessageBoxAnswers({platform::IDYES});
    EXPECT_TRUE(remote.QueueDownloads({"a\\b.avi"}));

    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Download the selected recordings?");
    EXPECT_EQ(boxes[0].caption, "Lumaro Recording Playback");
    host.Notify("IDS_CANT_DOWNFILE");
    EXPECT_EQ(platform::ShownMessageBoxes().back().text, "This recording is being played and cannot be downloaded now.");
  }
}

}  // namespace
}  // namespace lumaro
