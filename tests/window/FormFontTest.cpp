// What another process cannot read of the window (GDI objects belong to their process): the
// form is made here, in process, by the same code, and its font and class brush are checked.
#include <windows.h>

#include <gtest/gtest.h>

#include "Application.h"
#include "Main.h"

namespace {

TEST(FormFontTest, ControlsUseMsSansSerifAtEightPointsOnTheButtonFace) {
  TApplication Application(GetModuleHandleW(nullptr));
  TForm1& Form = Application.CreateForm<TForm1>();
  ASSERT_NE(Form.Handle(), nullptr);
  EXPECT_EQ(GetClassLongPtrW(Form.Handle(), GCLP_HBRBACKGROUND), static_cast<ULONG_PTR>(COLOR_BTNFACE + 1));
  int Controls = 0;
  for (HWND Child = GetWindow(Form.Handle(), GW_CHILD); Child; Child = GetWindow(Child, GW_HWNDNEXT), ++Controls) {
    SCOPED_TRACE(GetDlgCtrlID(Child));
    HFONT Font = reinterpret_cast<HFONT>(SendMessageW(Child, WM_GETFONT, 0, 0));
    ASSERT_NE(Font, nullptr);
    LOGFONTA Described = {};
    ASSERT_EQ(GetObjectA(Font, sizeof Described, &Described), static_cast<int>(sizeof Described));
    EXPECT_STREQ(Described.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(Described.lfHeight, -11) << "at 96 pixels per inch";
    EXPECT_EQ(Described.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(Described.lfWeight, FW_NORMAL);
  }
  EXPECT_EQ(Controls, 6);
}

}  // namespace
