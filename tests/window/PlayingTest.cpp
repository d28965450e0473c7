// The player with the decrypting filter registered: a real .kuz file opened through the window
// plays (the video renderer's window appears), cancelling the dialog leaves it playing, a second
// open releases it first, and closing while it plays is quiet.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "DirectShowResult.h"
#include "MessageBoxes.h"
#include "PlayerDriver.h"
#include "SampleMedia.h"
#include "TestConfig.h"

namespace {

enum : int { Button1 = 101, Button2, Button3, Button4, Edit1, Label1 };

// The test clip encrypted with the key the key field starts with, in the prefix's temp folder.
std::wstring SampleKuz() {
  static const std::wstring Path = WriteSampleKuz(std::string(KUZ_WINDOW_MEDIA) + "/clip.avi", L"kuz-window-clip.kuz");
  return Path;
}

class PlayingTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!Config().FilterRegistered) GTEST_SKIP() << "needs the decrypting filter registered";
    ASSERT_FALSE(SampleKuz().empty());
    ASSERT_TRUE(Player.Started());
  }

  void Open(const std::wstring& Name) {
    Player.Click(Button1);
    HWND Dialog = Player.WaitForDialog();
    ASSERT_NE(Dialog, nullptr);
    AcceptOpenDialog(Dialog, Name);
  }

  void OpenAndPlay() {
    Open(SampleKuz());
    ASSERT_TRUE(WaitUntil([&] { return VideoWindowShown(Player); }, 15000)) << "no video";
    EXPECT_TRUE(Player.Dialogs().empty()) << "a message while opening a good file";
  }

  PlayerProcess Player{Config().Player};
};

TEST_F(PlayingTest, OpensAndPlaysARealFileAndTheCommandsSteerIt) {
  OpenAndPlay();
  for (int Id : {Button3, Button2, Button4, Button2, Button3, Button4}) {
    EXPECT_TRUE(Player.ClickAndWait(Id)) << Id;
    EXPECT_TRUE(Player.Dialogs().empty()) << Id;
  }
  EXPECT_TRUE(VideoWindowShown(Player)) << "stopping keeps the graph";
  EXPECT_EQ(Player.CloseAndWait(), 0u);
}

TEST_F(PlayingTest, CancellingTheDialogLeavesThePlayingGraphAlone) {
  OpenAndPlay();
  Player.Click(Button1);
  HWND Dialog = Player.WaitForDialog();
  ASSERT_NE(Dialog, nullptr);
  PostMessageW(Dialog, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(Player.WaitForNoDialog());
  Sleep(500);
  EXPECT_TRUE(VideoWindowShown(Player));
  EXPECT_TRUE(Player.Dialogs().empty());
  EXPECT_EQ(Player.CloseAndWait(), 0u);
}

TEST_F(PlayingTest, ASecondOpenReleasesThePlayingGraphFirst) {
  OpenAndPlay();
  Open(L"C:\\no such folder\\missing.kuz");
  ASSERT_TRUE(WaitUntil([&] { return Player.Dialogs().size() == 1 && !VideoWindowShown(Player); }));
  const MessageBoxView Box = ReadMessageBox(Player.Dialogs().front());
  const HRESULT Code = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  const std::string Expected = ResultMessage(ResultText(Code), Code);
  EXPECT_EQ(Box.Text, std::wstring(Expected.begin(), Expected.end()));
  PostMessageW(Player.Dialogs().front(), WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(Player.WaitForNoDialog());
  // And the next open builds from nothing again.
  OpenAndPlay();
  EXPECT_EQ(Player.CloseAndWait(), 0u);
}

TEST_F(PlayingTest, ClosingWhilePlayingEndsQuietly) {
  OpenAndPlay();
  EXPECT_EQ(Player.CloseAndWait(), 0u) << "the process ends without a message";
}

}  // namespace
