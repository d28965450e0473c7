#include "Main.h"

#include <system_error>

#include "Application.h"
#include "GlyphButton.h"
#include "MainLayout.h"

namespace {

int ScreenDpi() {
  HDC Screen = GetDC(nullptr);
  const int Dpi = Screen ? GetDeviceCaps(Screen, LOGPIXELSY) : MainLayout::DesignDpi;
  if (Screen) ReleaseDC(nullptr, Screen);
  return Dpi > 0 ? Dpi : MainLayout::DesignDpi;
}

UniqueBitmap LoadGlyph(HINSTANCE Instance, const char* Name) {
  // A DIB section keeps the glyph's 24-bit colours exact whatever the display depth.
  return UniqueBitmap(static_cast<HBITMAP>(
      LoadImageA(Instance, Name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

}  // namespace

TForm1::TForm1(TApplication& Application)
    : TForm(Application),
      Dpi(ScreenDpi()),
      Font(CreateFontA(Scale(MainLayout::FontHeight), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, MainLayout::FontFace)),
      OpenGlyph(LoadGlyph(Application.Instance(), "GLYPH_OPEN")),
      PlayGlyph(LoadGlyph(Application.Instance(), "GLYPH_PLAY")),
      PauseGlyph(LoadGlyph(Application.Instance(), "GLYPH_PAUSE")),
      StopGlyph(LoadGlyph(Application.Instance(), "GLYPH_STOP")) {
  RECT Bounds = {0, 0, Scale(MainLayout::ClientWidth), Scale(MainLayout::ClientHeight)};
  AdjustWindowRectEx(&Bounds, MainLayout::Style, FALSE, MainLayout::ExStyle);
  // Centred on the screen.
  const int Width = Bounds.right - Bounds.left;
  const int Height = Bounds.bottom - Bounds.top;
  const int Left = (GetSystemMetrics(SM_CXSCREEN) - Width) / 2;
  const int Top = (GetSystemMetrics(SM_CYSCREEN) - Height) / 2;
  CreateHandle("TForm1", MainLayout::Style, MainLayout::ExStyle,
               RECT{Left, Top, Left + Width, Top + Height}, MainLayout::Caption);
  CreateControls();
}

int TForm1::Scale(int DesignPixels) const {
  return MulDiv(DesignPixels, Dpi, MainLayout::DesignDpi);
}

void TForm1::CreateControls() {
  for (const MainLayout::Control& Control : MainLayout::Controls) {
    HWND Created = CreateWindowExA(
        Control.ExStyle, Control.ClassName, Control.Text, Control.Style, Scale(Control.Left),
        Scale(Control.Top), Scale(Control.Width), Scale(Control.Height), Handle(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(Control.Id)), Application.Instance(), nullptr);
    if (!Created)
      throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                              "CreateWindowEx");
    SendMessageA(Created, WM_SETFONT, reinterpret_cast<WPARAM>(Font.get()), FALSE);
    switch (Control.Id) {
      case MainLayout::IdButton1: Button1 = Created; break;
      case MainLayout::IdButton2: Button2 = Created; break;
      case MainLayout::IdButton3: Button3 = Created; break;
      case MainLayout::IdButton4: Button4 = Created; break;
      case MainLayout::IdEdit1: Edit1 = Created; break;
      case MainLayout::IdLabel1: Label1 = Created; break;
    }
  }
  // No limit on the key field's length.
  SendMessageA(Edit1, EM_LIMITTEXT, 0, 0);
}

LRESULT TForm1::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_COMMAND:
      OnCommand(LOWORD(WParam), HIWORD(WParam));
      return 0;
    case WM_DRAWITEM:
      OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(LParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
      SetTextColor(reinterpret_cast<HDC>(WParam), GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(reinterpret_cast<HDC>(WParam), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_ACTIVATE:
      OnActivate(LOWORD(WParam) != WA_INACTIVE);
      return 0;
    case WM_SETFOCUS:
      SetFocus(FocusedControl ? FocusedControl : Button2);
      return 0;
    case WM_CLOSE:
      FormClose();
      DestroyWindow(Handle());
      return 0;
  }
  return TForm::HandleMessage(Message, WParam, LParam);
}

void TForm1::OnCommand(int Id, int Notification) {
  if (Notification != BN_CLICKED) return;
  switch (Id) {
    case MainLayout::IdButton1: Button1Click(); break;
    case MainLayout::IdButton2: Button2Click(); break;
    case MainLayout::IdButton3: Button3Click(); break;
    case MainLayout::IdButton4: Button4Click(); break;
  }
}

void TForm1::OnDrawItem(const DRAWITEMSTRUCT& Item) {
  HBITMAP Glyph = nullptr;
  if (Item.hwndItem == Button1) Glyph = OpenGlyph.get();
  else if (Item.hwndItem == Button2) Glyph = PlayGlyph.get();
  else if (Item.hwndItem == Button3) Glyph = PauseGlyph.get();
  else if (Item.hwndItem == Button4) Glyph = StopGlyph.get();
  DrawGlyphButton(Item, Glyph);
}

void TForm1::OnActivate(bool Active) {
  if (!Active) {
    HWND Focus = GetFocus();
    if (Focus && IsChild(Handle(), Focus)) FocusedControl = Focus;
    return;
  }
  // Nothing was focused yet: the first control in tab order, the play button.
  SetFocus(FocusedControl ? FocusedControl : Button2);
}

std::string TForm1::Edit1Text() const {
  std::string Text(static_cast<size_t>(GetWindowTextLengthA(Edit1)) + 1, '\0');
  Text.resize(static_cast<size_t>(GetWindowTextA(Edit1, Text.data(), static_cast<int>(Text.size()))));
  return Text;
}

void TForm1::Button1Click() {
  if (!OpenDialog1.Execute(Handle())) return;
  Graph.ClearGraph();
  Graph.BuildGraph(OpenDialog1.FileName(), Edit1Text());
}

void TForm1::FormClose() { Graph.ClearGraph(); }

void TForm1::Button2Click() { Graph.Play(); }

void TForm1::Button3Click() { Graph.Pause(); }

void TForm1::Button4Click() { Graph.Stop(); }
