// Pixels of what is on the screen, read back through GDI, and kept as .bmp artefacts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class ScreenImage {
 public:
  // What the screen shows in Area (screen coordinates).
  static ScreenImage Capture(const RECT& Area);
  // Draws with Paint into a fresh image of the given size, filled with Background first.
  template <class Painter>
  static ScreenImage Draw(int Width, int Height, COLORREF Background, Painter Paint);

  int Width() const { return W; }
  int Height() const { return H; }
  // The pixel at column X, row Y, as 0x00RRGGBB.
  DWORD At(int X, int Y) const { return Pixels[static_cast<size_t>(Y) * W + X]; }

  bool SaveBmp(const std::wstring& Path) const;

 private:
  static ScreenImage FromDc(HDC Source, int Left, int Top, int Width, int Height);

  int W = 0;
  int H = 0;
  std::vector<DWORD> Pixels;
};

// A 32-bit top-down DIB section selected into a memory DC, for drawing and reading back.
class PixelCanvas {
 public:
  PixelCanvas(int Width, int Height);
  ~PixelCanvas();
  PixelCanvas(const PixelCanvas&) = delete;
  PixelCanvas& operator=(const PixelCanvas&) = delete;

  HDC Dc() const { return Memory; }
  const DWORD* Bits() const { return Data; }

 private:
  HDC Memory = nullptr;
  HBITMAP Bitmap = nullptr;
  HGDIOBJ Previous = nullptr;
  DWORD* Data = nullptr;
};

template <class Painter>
ScreenImage ScreenImage::Draw(int Width, int Height, COLORREF Background, Painter Paint) {
  PixelCanvas Canvas(Width, Height);
  HBRUSH Brush = CreateSolidBrush(Background);
  RECT All = {0, 0, Width, Height};
  FillRect(Canvas.Dc(), &All, Brush);
  DeleteObject(Brush);
  Paint(Canvas.Dc());
  GdiFlush();
  return FromDc(Canvas.Dc(), 0, 0, Width, Height);
}
