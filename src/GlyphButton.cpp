#include "GlyphButton.h"

#include <uxtheme.h>
#include <vssym32.h>

namespace {

int ThemeState(UINT ItemState) {
  if (ItemState & ODS_DISABLED) return PBS_DISABLED;
  if (ItemState & ODS_SELECTED) return PBS_PRESSED;
  if (ItemState & ODS_HOTLIGHT) return PBS_HOT;
  return PBS_NORMAL;
}

// Draws the face and returns the rectangle inside its border.
RECT DrawFace(const DRAWITEMSTRUCT& Item) {
  RECT Content = Item.rcItem;
  if (HTHEME Theme = IsAppThemed() ? OpenThemeData(Item.hwndItem, L"BUTTON") : nullptr) {
    const int State = ThemeState(Item.itemState);
    RECT Whole = Item.rcItem;
    DrawThemeParentBackground(Item.hwndItem, Item.hDC, &Whole);
    DrawThemeBackground(Theme, Item.hDC, BP_PUSHBUTTON, State, &Item.rcItem, nullptr);
    GetThemeBackgroundContentRect(Theme, Item.hDC, BP_PUSHBUTTON, State, &Item.rcItem, &Content);
    CloseThemeData(Theme);
  } else {
    RECT Face = Item.rcItem;
    DrawFrameControl(Item.hDC, &Face, DFC_BUTTON,
                     DFCS_BUTTONPUSH | ((Item.itemState & ODS_SELECTED) ? DFCS_PUSHED : 0));
    InflateRect(&Content, -3, -3);
  }
  return Content;
}

void DrawGlyph(const DRAWITEMSTRUCT& Item, HBITMAP Glyph) {
  BITMAP Bitmap;
  if (!Glyph || !GetObjectA(Glyph, sizeof Bitmap, &Bitmap)) return;
  HDC Memory = CreateCompatibleDC(Item.hDC);
  if (!Memory) return;
  HGDIOBJ Previous = SelectObject(Memory, Glyph);
  const COLORREF Transparent = GetPixel(Memory, 0, Bitmap.bmHeight - 1);
  const int Pushed = (Item.itemState & ODS_SELECTED) ? 1 : 0;
  const RECT& Face = Item.rcItem;
  const int Left = Face.left + (Face.right - Face.left - Bitmap.bmWidth) / 2 + Pushed;
  const int Top = Face.top + (Face.bottom - Face.top - Bitmap.bmHeight) / 2 + Pushed;
  TransparentBlt(Item.hDC, Left, Top, Bitmap.bmWidth, Bitmap.bmHeight, Memory, 0, 0,
                 Bitmap.bmWidth, Bitmap.bmHeight, Transparent);
  SelectObject(Memory, Previous);
  DeleteDC(Memory);
}

}  // namespace

void DrawGlyphButton(const DRAWITEMSTRUCT& Item, HBITMAP Glyph) {
  RECT Content = DrawFace(Item);
  DrawGlyph(Item, Glyph);
  if ((Item.itemState & ODS_FOCUS) && !(Item.itemState & ODS_NOFOCUSRECT)) {
    InflateRect(&Content, -1, -1);
    DrawFocusRect(Item.hDC, &Content);
  }
}
