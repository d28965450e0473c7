// The stored layout of the main window, at the design density of 96 pixels per inch; the
// window scales it to the system's setting when it is created.
#pragma once

#include <windows.h>

namespace MainLayout {

constexpr int DesignDpi = 96;

constexpr char Caption[] = "KUZ Player DEMO  - not for sale";
constexpr int ClientWidth = 267;
constexpr int ClientHeight = 98;

// A tool window: thin caption with only a close box, not resizable.
constexpr DWORD Style = WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD ExStyle = WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;

constexpr char FontFace[] = "MS Sans Serif";
constexpr int FontHeight = -11;  // 8 points at 96 pixels per inch

constexpr char InitialKey[] = "d47e09c3a1f85b2e6c70d9a4e13b8f56";

enum ControlId : int {
  IdButton1 = 101,  // open
  IdButton2,        // play
  IdButton3,        // pause
  IdButton4,        // stop
  IdEdit1,
  IdLabel1,
};

struct Control {
  ControlId Id;
  const char* ClassName;
  const char* Text;
  DWORD Style;
  DWORD ExStyle;
  int Left, Top, Width, Height;
};

constexpr DWORD GlyphButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;

// In creation order, which is also the tab order of the controls that take focus.
constexpr Control Controls[] = {
    {IdLabel1, "Static", "Key:", WS_CHILD | WS_VISIBLE | SS_LEFT, 0, 16, 64, 21, 13},
    {IdButton2, "Button", "", GlyphButtonStyle, 0, 80, 16, 49, 33},
    {IdButton1, "Button", "", GlyphButtonStyle, 0, 24, 16, 49, 33},
    {IdButton4, "Button", "", GlyphButtonStyle, 0, 192, 16, 49, 33},
    {IdButton3, "Button", "", GlyphButtonStyle, 0, 136, 16, 49, 33},
    {IdEdit1, "Edit", InitialKey, WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
     WS_EX_CLIENTEDGE, 48, 64, 201, 21},
};

}  // namespace MainLayout
