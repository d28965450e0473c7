// Drawing of the picture buttons: the button face (themed when the system has a visual
// style), the glyph centred with the colour of its bottom-left pixel transparent, pushed one
// pixel down and right while pressed, and the focus rectangle.
#pragma once

#include <windows.h>

void DrawGlyphButton(const DRAWITEMSTRUCT& Item, HBITMAP Glyph);
