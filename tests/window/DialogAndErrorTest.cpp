// The player's behaviour through its window: commands before any file, the open dialog,
// a failing open and its message box, the window staying usable, and closing.
#include <windows.h>

#include <dlgs.h>

#include <gtest/gtest.h>

#include "DirectShowResult.h"
#include "MessageBoxes.h"
#include "PlayerDriver.h"
#include "TestConfig.h"

namespace {

enum : int { Button1 = 101, Button2, Button3, Button4, Edit1, Label1 };

// A name whose folder does not exist either: the dialog must accept it as typed.
const std::wstring MissingFile = L"C:\\no such folder\\missing";

class DialogAndErrorTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Player.Started()); }

  // Opens the dialog with the open button; the dialog, or null.
  HWND OpenDialog() {
    Player.Click(Button1);
    HWND Dialog = Player.WaitForDialog();
    EXPECT_NE(Dialog, nullptr) << "no open dialog";
    return Dialog;
  }

  // The message the player shows for a failing open of a missing file.
  static std::string ExpectedMissingFileMessage() {
    // Without the filter the build stops at creating it; with it, at loading the file.
    const HRESULT Code = Config().FilterRegistered ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)
                                                   : REGDB_E_CLASSNOTREG;
    return ResultMessage(ResultText(Code), Code);
  }

  PlayerProcess Player{Config().Player};
};

TEST_F(DialogAndErrorTest, PlayPauseAndStopBeforeAnyOpenShowNothing) {
  for (int Id : {Button2, Button3, Button4, Button2, Button4}) {
    EXPECT_TRUE(Player.ClickAndWait(Id)) << Id;
    EXPECT_TRUE(Player.Dialogs().empty()) << Id;
  }
  Sleep(300);
  EXPECT_TRUE(Player.Dialogs().empty());
  EXPECT_EQ(Player.CloseAndWait(), 0u);
}

TEST_F(DialogAndErrorTest, OpenDialogOffersKuzFilesAndCancellingChangesNothing) {
  HWND Dialog = OpenDialog();
  ASSERT_NE(Dialog, nullptr);
  EXPECT_EQ(GetWindow(Dialog, GW_OWNER), Player.MainForm());
  EXPECT_EQ(TextOf(Dialog), L"Open") << "the system's own title";
  EXPECT_TRUE(GetWindowLongPtrW(Dialog, GWL_STYLE) & WS_THICKFRAME) << "resizable";
  HWND ReadOnly = GetDlgItem(Dialog, chx1);
  EXPECT_TRUE(!ReadOnly || !IsWindowVisible(ReadOnly)) << "read-only box shown";
  EXPECT_EQ(OfferedFileName(Dialog), L"");

  HWND Types = GetDlgItem(Dialog, cmb1);
  ASSERT_NE(Types, nullptr);
  EXPECT_EQ(SendMessageW(Types, CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageW(Types, CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(TextOf(Types), L"*.kuz");

  // Centred horizontally on the monitor, a third of the way down the space left free.
  RECT Bounds;
  GetWindowRect(Dialog, &Bounds);
  MONITORINFO Monitor = {};
  Monitor.cbSize = sizeof Monitor;
  GetMonitorInfoW(MonitorFromWindow(Player.MainForm(), MONITOR_DEFAULTTOPRIMARY), &Monitor);
  const RECT& Area = Monitor.rcMonitor;
  EXPECT_LE(std::abs(Bounds.left - (Area.left + (Area.right - Area.left - (Bounds.right - Bounds.left)) / 2)), 1);
  EXPECT_LE(std::abs(Bounds.top - (Area.top + (Area.bottom - Area.top - (Bounds.bottom - Bounds.top)) / 3)), 1);

  PostMessageW(Dialog, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(Player.WaitForNoDialog());
  Sleep(300);
  EXPECT_TRUE(Player.Dialogs().empty()) << "cancelling showed something";
  EXPECT_TRUE(Player.ClickAndWait(Button2));
  EXPECT_TRUE(Player.Dialogs().empty());
  EXPECT_EQ(Player.CloseAndWait(), 0u);
}

TEST_F(DialogAndErrorTest, MissingFileGivesOneErrorBoxAndTheWindowStaysUsable) {
  HWND Dialog = OpenDialog();
  ASSERT_NE(Dialog, nullptr);
  AcceptOpenDialog(Dialog, MissingFile);

  ASSERT_TRUE(WaitUntil([&] {
    auto Dialogs = Player.Dialogs();
    return Dialogs.size() == 1 && Dialogs.front() != Dialog;
  }));
  Sleep(300);
  auto Boxes = Player.Dialogs();
  ASSERT_EQ(Boxes.size(), 1u) << "exactly one message box";
  const MessageBoxView Box = ReadMessageBox(Boxes.front());
  const std::string Expected = ExpectedMissingFileMessage();
  EXPECT_EQ(Box.Text, std::wstring(Expected.begin(), Expected.end()));
  EXPECT_EQ(Box.Caption, L"Kuz_player");
  EXPECT_EQ(Box.Owner, Player.TaskbarWindow());
  EXPECT_EQ(Box.Buttons, 1) << "OK only";
  EXPECT_TRUE(Box.ErrorIcon);
  EXPECT_FALSE(IsWindowEnabled(Player.MainForm())) << "the box is modal";

  PostMessageW(Boxes.front(), WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(Player.WaitForNoDialog());

  // Usable: commands reach the partial graph quietly, and the dialog opens again offering
  // the name typed last time (its file part: the dialog shows the folder as its location),
  // without an extension added.
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Player.MainForm()) != FALSE; }));
  EXPECT_TRUE(Player.ClickAndWait(Button2));
  EXPECT_TRUE(Player.ClickAndWait(Button4));
  EXPECT_TRUE(Player.Dialogs().empty());
  Dialog = OpenDialog();
  ASSERT_NE(Dialog, nullptr);
  EXPECT_EQ(OfferedFileName(Dialog), L"missing");
  PostMessageW(Dialog, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(Player.WaitForNoDialog());
  EXPECT_EQ(Player.CloseAndWait(), 0u);
}

TEST_F(DialogAndErrorTest, ClosingTheWindowEndsTheProcessQuietly) {
  EXPECT_EQ(Player.CloseAndWait(), 0u);
  EXPECT_FALSE(Player.Running());
}

}  // namespace
