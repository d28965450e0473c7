// The player with the decrypting filter registered: a real .kuz file opened through the window
// plays (the video renderer's window appears), cancelling the dialog leaves it playing, a second
// open releases it first, and closing while it plays is quiet.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "DirectShowResult.h"
#include "MessageBoxes.h"
#include "PlayerDriver.h"
#include "TestConfig.h"
#include "kuz/Io.h"
#include "kuz/KeyText.h"
#include "kuz/Writer.h"

namespace {

enum : int { Button1 = 101, Button2, Button3, Button4, Edit1, Label1 };

class FileSink final : public kuz::ByteSink {
 public:
  explicit FileSink(const std::wstring& Path) : File(_wfopen(Path.c_str(), L"wb")) {}
  ~FileSink() override {
    if (File) fclose(File);
  }
  kuz::Status Write(std::span<const std::uint8_t> Data) noexcept override {
    return fwrite(Data.data(), 1, Data.size(), File) == Data.size() ? kuz::Success() : kuz::Failure(kuz::Error::WriteFailed);
  }
  FILE* File;
};

// The test clip encrypted with the key the key field starts with, in the prefix's temp folder.
std::wstring SampleKuz() {
  static const std::wstring Path = [] {
    std::vector<std::uint8_t> Plain;
    const std::string Media = std::string(KUZ_WINDOW_MEDIA) + "/clip.avi";
    if (FILE* In = fopen(Media.c_str(), "rb")) {
      std::uint8_t Buffer[65536];
      for (size_t Got; (Got = fread(Buffer, 1, sizeof Buffer, In)) > 0;) Plain.insert(Plain.end(), Buffer, Buffer + Got);
      fclose(In);
    }
    wchar_t Temp[MAX_PATH];
    GetTempPathW(MAX_PATH, Temp);
    const std::wstring Out = std::wstring(Temp) + L"kuz-window-clip.kuz";
    kuz::InputKey Key;
    kuz::StreamWriter Writer;
    {
      FileSink Sink(Out);
      if (Plain.empty() || !Sink.File || !kuz::ParseKeyText("d47e09c3a1f85b2e6c70d9a4e13b8f56", Key).Ok() ||
          !Writer.Start(Sink, Key.Bytes()).Ok() || !Writer.Write(Plain).Ok() || !Writer.Finish().Ok())
        return std::wstring();
    }
    return Out;
  }();
  return Path;
}

struct VideoWindowSearch {
  DWORD Process;
  bool Found;
};

BOOL CALLBACK FindVideoWindow(HWND Window, LPARAM Parameter) {
  auto* Search = reinterpret_cast<VideoWindowSearch*>(Parameter);
  DWORD Process = 0;
  GetWindowThreadProcessId(Window, &Process);
  if (Process == Search->Process && IsWindowVisible(Window) && TextOf(Window) == L"ActiveMovie Window")
    Search->Found = true;
  return TRUE;
}

// The video renderer's own window, which exists while a graph with video is built.
bool VideoWindowShown(const PlayerProcess& Player) {
  VideoWindowSearch Search{Player.ProcessId(), false};
  EnumWindows(FindVideoWindow, reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
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
