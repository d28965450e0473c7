// The running player's window at 96 pixels per inch: caption, border, client area, position,
// colour, every control's class, place, size and text, the tab order and the initial focus,
// the taskbar window's title, and the glyphs as the buttons show them.
#include <windows.h>

#include <uxtheme.h>

#include <gtest/gtest.h>

#include <memory>

#include "Glyphs.h"
#include "PlayerDriver.h"
#include "ScreenCapture.h"
#include "TestConfig.h"

namespace {

enum : int { Button1 = 101, Button2, Button3, Button4, Edit1, Label1 };

// A COLORREF as the 0x00RRGGBB that screen captures hold.
DWORD Rgb(COLORREF Color) {
  return static_cast<DWORD>((GetRValue(Color) << 16) | (GetGValue(Color) << 8) | GetBValue(Color));
}

class WindowLayoutTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { Player = std::make_unique<PlayerProcess>(Config().Player); }
  static void TearDownTestSuite() {
    if (Player) {
      EXPECT_EQ(Player->CloseAndWait(), 0u);
    }
    Player.reset();
  }
  void SetUp() override { ASSERT_TRUE(Player && Player->Started()); }

  static RECT ClientBounds(HWND Control) {
    RECT Bounds;
    GetWindowRect(Control, &Bounds);
    MapWindowPoints(nullptr, Player->MainForm(), reinterpret_cast<POINT*>(&Bounds), 2);
    return Bounds;
  }

  static std::unique_ptr<PlayerProcess> Player;
};

std::unique_ptr<PlayerProcess> WindowLayoutTest::Player;

TEST_F(WindowLayoutTest, CaptionBeginsWithTheProductAndANotice) {
  const std::wstring Caption = TextOf(Player->MainForm());
  EXPECT_EQ(Caption.rfind(L"KUZ Player DEMO  ", 0), 0u) << Caption.c_str();
  EXPECT_GT(Caption.size(), wcslen(L"KUZ Player DEMO  ")) << "no notice after the two spaces";
}

TEST_F(WindowLayoutTest, IsAToolWindowWithOnlyACloseBoxAndNoResizing) {
  const LONG_PTR Style = GetWindowLongPtrW(Player->MainForm(), GWL_STYLE);
  const LONG_PTR ExStyle = GetWindowLongPtrW(Player->MainForm(), GWL_EXSTYLE);
  EXPECT_TRUE(ExStyle & WS_EX_TOOLWINDOW);
  EXPECT_EQ(Style & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(Style & WS_SYSMENU);
  EXPECT_FALSE(Style & WS_THICKFRAME);
  EXPECT_FALSE(Style & WS_MINIMIZEBOX);
  EXPECT_FALSE(Style & WS_MAXIMIZEBOX);
  EXPECT_EQ(ClassOf(Player->MainForm()), "TForm1");
}

TEST_F(WindowLayoutTest, ClientAreaIsCentredOnTheScreenInButtonFace) {
  RECT Client;
  ASSERT_TRUE(GetClientRect(Player->MainForm(), &Client));
  EXPECT_EQ(Client.right, 267);
  EXPECT_EQ(Client.bottom, 98);

  RECT Window;
  GetWindowRect(Player->MainForm(), &Window);
  const int ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
  const int ScreenHeight = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_LE(std::abs(Window.left - (ScreenWidth - Window.right)), 1);
  EXPECT_LE(std::abs(Window.top - (ScreenHeight - Window.bottom)), 1);

  // The client area shows the button face where no control covers it.
  RedrawWindow(Player->MainForm(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  POINT Corner = {4, 4};
  ClientToScreen(Player->MainForm(), &Corner);
  const ScreenImage Shot = ScreenImage::Capture({Corner.x, Corner.y, Corner.x + 8, Corner.y + 8});
  EXPECT_EQ(Shot.At(0, 0), Rgb(GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(Shot.At(7, 7), Rgb(GetSysColor(COLOR_BTNFACE)));
}

TEST_F(WindowLayoutTest, ControlsInCreationOrderWithTheirLayout) {
  const struct {
    int Id;
    const char* Class;
    RECT Bounds;  // left, top, right, bottom in client coordinates
    bool TabStop;
    const wchar_t* Text;
  } Expected[] = {
      {Label1, "Static", {16, 64, 16 + 21, 64 + 13}, false, L"Key:"},
      {Button2, "Button", {80, 16, 80 + 49, 16 + 33}, true, L""},
      {Button1, "Button", {24, 16, 24 + 49, 16 + 33}, true, L""},
      {Button4, "Button", {192, 16, 192 + 49, 16 + 33}, true, L""},
      {Button3, "Button", {136, 16, 136 + 49, 16 + 33}, true, L""},
      {Edit1, "Edit", {48, 64, 48 + 201, 64 + 21}, true, L"d47e09c3a1f85b2e6c70d9a4e13b8f56"},
  };
  // Children from the top of the z-order down are the controls in creation order.
  HWND Child = GetWindow(Player->MainForm(), GW_CHILD);
  for (const auto& Control : Expected) {
    SCOPED_TRACE(Control.Id);
    ASSERT_NE(Child, nullptr);
    EXPECT_EQ(GetDlgCtrlID(Child), Control.Id);
    EXPECT_EQ(ClassOf(Child), Control.Class);
    const RECT Bounds = ClientBounds(Child);
    EXPECT_EQ(Bounds.left, Control.Bounds.left);
    EXPECT_EQ(Bounds.top, Control.Bounds.top);
    EXPECT_EQ(Bounds.right, Control.Bounds.right);
    EXPECT_EQ(Bounds.bottom, Control.Bounds.bottom);
    EXPECT_EQ((GetWindowLongPtrW(Child, GWL_STYLE) & WS_TABSTOP) != 0, Control.TabStop);
    EXPECT_TRUE(IsWindowVisible(Child));
    EXPECT_EQ(TextOf(Child), Control.Text);
    Child = GetWindow(Child, GW_HWNDNEXT);
  }
  EXPECT_EQ(Child, nullptr) << "more controls than the layout has";
}

TEST_F(WindowLayoutTest, KeyFieldHasNoLengthLimit) {
  DWORD_PTR Limit = 0;
  ASSERT_TRUE(SendMessageTimeoutW(Player->Control(Edit1), EM_GETLIMITTEXT, 0, 0, SMTO_ABORTIFHUNG, 5000, &Limit));
  EXPECT_GE(Limit, 0x7FFFFFFEu);
}

TEST_F(WindowLayoutTest, FocusStartsOnPlayAndTabWalksTheTabOrder) {
  EXPECT_EQ(Player->Focus(), Player->Control(Button2));

  SetForegroundWindow(Player->MainForm());
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == Player->MainForm(); }, 5000));
  const int Forward[] = {Button1, Button4, Button3, Edit1, Button2};
  for (int Id : Forward) {
    PressKey(VK_TAB);
    EXPECT_TRUE(WaitUntil([&] { return Player->Focus() == Player->Control(Id); }, 3000)) << "Tab to " << Id;
  }
  const int Backward[] = {Edit1, Button3, Button4, Button1, Button2};
  for (int Id : Backward) {
    PressKey(VK_TAB, true);
    EXPECT_TRUE(WaitUntil([&] { return Player->Focus() == Player->Control(Id); }, 3000)) << "Shift+Tab to " << Id;
  }
}

TEST_F(WindowLayoutTest, TaskbarWindowCarriesTheTitleAndOwnsTheForm) {
  HWND Taskbar = Player->TaskbarWindow();
  ASSERT_NE(Taskbar, nullptr);
  EXPECT_EQ(TextOf(Taskbar), L"Kuz_player");
  EXPECT_TRUE(IsWindowVisible(Taskbar));
  EXPECT_EQ(GetWindow(Taskbar, GW_OWNER), nullptr);
  EXPECT_FALSE(GetWindowLongPtrW(Taskbar, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_EQ(GetWindow(Player->MainForm(), GW_OWNER), Taskbar);
}

TEST_F(WindowLayoutTest, ButtonsShowTheirGlyphsCentredWithWhiteTransparent) {
  const bool Themed = IsThemeActive();
  const DWORD Face = Rgb(GetSysColor(COLOR_BTNFACE));
  // The focus rectangle crosses a glyph's margin: move the focus to the key field first.
  SetForegroundWindow(Player->MainForm());
  ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == Player->MainForm(); }, 5000));
  for (int Presses = 0; Presses < 5 && Player->Focus() != Player->Control(Edit1); ++Presses) {
    PressKey(VK_TAB, true);
    Sleep(100);
  }
  ASSERT_EQ(Player->Focus(), Player->Control(Edit1));
  RedrawWindow(Player->MainForm(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(200);

  for (const GlyphPicture& Glyph : ExpectedGlyphs()) {
    SCOPED_TRACE(Glyph.Resource);
    RECT Bounds;
    GetWindowRect(Player->Control(Glyph.ButtonId), &Bounds);
    const ScreenImage Shot = ScreenImage::Capture(Bounds);
    const int Width = static_cast<int>(Glyph.Rows.front().size());
    const int Height = static_cast<int>(Glyph.Rows.size());
    // Centred: an odd difference may round either way.
    bool Matched = false;
    for (int Left : {(Shot.Width() - Width) / 2, (Shot.Width() - Width + 1) / 2}) {
      for (int Top : {(Shot.Height() - Height) / 2, (Shot.Height() - Height + 1) / 2}) {
        bool Same = true;
        for (int Row = 0; Row < Height && Same; ++Row)
          for (int Column = 0; Column < Width && Same; ++Column) {
            const DWORD Pixel = Shot.At(Left + Column, Top + Row);
            if (Glyph.Rows[Row][Column] == '#') Same = Pixel == 0x000000;
            else Same = Themed ? Pixel != 0x000000 : Pixel == Face;  // white shows the face
          }
        Matched = Matched || Same;
      }
    }
    EXPECT_TRUE(Matched);
    if (!Config().Artifacts.empty() && !Matched) {
      std::wstring Name(Glyph.Resource, Glyph.Resource + strlen(Glyph.Resource));
      Shot.SaveBmp(Config().Artifacts + L"\\" + Name + L".bmp");
    }
  }
  if (!Config().Artifacts.empty()) {
    RECT Window;
    GetWindowRect(Player->MainForm(), &Window);
    EXPECT_TRUE(ScreenImage::Capture(Window).SaveBmp(Config().Artifacts + L"\\main-window.bmp"));
  }
}

// The title comes from the executable's own name: directory stripped, cut at the first ".",
// the rest after the first character in lower case, characters outside ASCII intact.
TEST(TaskbarTitleTest, FollowsTheExecutablesName) {
  ASSERT_EQ(GetACP(), 1252u) << "the expected titles are written for code page 1252";
  wchar_t Temp[MAX_PATH];
  GetTempPathW(MAX_PATH, Temp);
  const struct {
    const wchar_t* Name;
    const wchar_t* Title;
  } Cases[] = {
      {L"\u00C9T\u00C9 PLAYER.v2.exe", L"\u00C9t\u00E9 player"},
      {L"kuz.exe", L"kuz"},  // the first character stays as it is
      {L"MY.PLAYER.EXE", L"My"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&Case - Cases));
    const std::wstring Copy = std::wstring(Temp) + Case.Name;
    ASSERT_TRUE(CopyFileW(Config().Player.c_str(), Copy.c_str(), FALSE)) << GetLastError();
    {
      PlayerProcess Player(Copy);
      ASSERT_TRUE(Player.Started());
      EXPECT_EQ(TextOf(Player.TaskbarWindow()), Case.Title);
      EXPECT_EQ(Player.CloseAndWait(), 0u);
    }
    DeleteFileW(Copy.c_str());
  }
}

}  // namespace
