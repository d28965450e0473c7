#include "MessageBoxes.h"

#include <vector>

#include "PlayerDriver.h"
#include "ScreenCapture.h"

namespace {

struct Children {
  std::vector<HWND> All;
};

BOOL CALLBACK CollectChild(HWND Child, LPARAM Parameter) {
  reinterpret_cast<Children*>(Parameter)->All.push_back(Child);
  return TRUE;
}

// How many pixels of the shown icon equal the given system icon drawn on the same background.
int MatchingPixels(const ScreenImage& Shown, LPCSTR SystemIcon) {
  HICON Icon = LoadIconA(nullptr, SystemIcon);
  const DWORD Background = Shown.At(0, 0);
  const ScreenImage Drawn = ScreenImage::Draw(
      Shown.Width(), Shown.Height(),
      RGB((Background >> 16) & 0xFF, (Background >> 8) & 0xFF, Background & 0xFF),
      [&](HDC Dc) { DrawIconEx(Dc, 0, 0, Icon, 0, 0, 0, nullptr, DI_NORMAL); });
  int Same = 0;
  for (int Y = 0; Y < Shown.Height(); ++Y)
    for (int X = 0; X < Shown.Width(); ++X) Same += Shown.At(X, Y) == Drawn.At(X, Y);
  return Same;
}

bool ShowsErrorIcon(HWND IconControl) {
  RECT Bounds;
  GetWindowRect(IconControl, &Bounds);
  const ScreenImage Shown = ScreenImage::Capture(Bounds);
  const int Total = Shown.Width() * Shown.Height();
  if (Total == 0) return false;
  const int Error = MatchingPixels(Shown, IDI_HAND);
  for (LPCSTR Other : {IDI_ASTERISK, IDI_EXCLAMATION, IDI_QUESTION, IDI_APPLICATION})
    if (MatchingPixels(Shown, Other) >= Error) return false;
  return Error * 100 >= Total * 95;
}

}  // namespace

MessageBoxView ReadMessageBox(HWND Box) {
  MessageBoxView View;
  View.Caption = TextOf(Box);
  View.Owner = GetWindow(Box, GW_OWNER);
  Children Found;
  EnumChildWindows(Box, CollectChild, reinterpret_cast<LPARAM>(&Found));
  for (HWND Child : Found.All) {
    if (!IsWindowVisible(Child)) continue;
    const std::string Class = ClassOf(Child);
    const LONG_PTR Style = GetWindowLongPtrW(Child, GWL_STYLE);
    if (Class == "Button") ++View.Buttons;
    if (Class != "Static") continue;
    if ((Style & SS_TYPEMASK) == SS_ICON) View.ErrorIcon = ShowsErrorIcon(Child);
    else if (View.Text.empty()) View.Text = TextOf(Child);
  }
  return View;
}
