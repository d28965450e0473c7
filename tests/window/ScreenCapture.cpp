#include "ScreenCapture.h"

#include <cstdio>

PixelCanvas::PixelCanvas(int Width, int Height) {
  BITMAPINFO Info = {};
  Info.bmiHeader.biSize = sizeof Info.bmiHeader;
  Info.bmiHeader.biWidth = Width;
  Info.bmiHeader.biHeight = -Height;  // top-down
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  Memory = CreateCompatibleDC(nullptr);
  void* Bits = nullptr;
  Bitmap = CreateDIBSection(Memory, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  Data = static_cast<DWORD*>(Bits);
  Previous = SelectObject(Memory, Bitmap);
}

PixelCanvas::~PixelCanvas() {
  SelectObject(Memory, Previous);
  DeleteObject(Bitmap);
  DeleteDC(Memory);
}

ScreenImage ScreenImage::FromDc(HDC Source, int Left, int Top, int Width, int Height) {
  ScreenImage Image;
  if (Width <= 0 || Height <= 0) return Image;
  PixelCanvas Canvas(Width, Height);
  BitBlt(Canvas.Dc(), 0, 0, Width, Height, Source, Left, Top, SRCCOPY);
  GdiFlush();
  Image.W = Width;
  Image.H = Height;
  Image.Pixels.assign(Canvas.Bits(), Canvas.Bits() + static_cast<size_t>(Width) * Height);
  for (DWORD& Pixel : Image.Pixels) Pixel &= 0x00FFFFFF;
  return Image;
}

ScreenImage ScreenImage::Capture(const RECT& Area) {
  HDC Screen = GetDC(nullptr);
  ScreenImage Image = FromDc(Screen, Area.left, Area.top, Area.right - Area.left, Area.bottom - Area.top);
  ReleaseDC(nullptr, Screen);
  return Image;
}

bool ScreenImage::SaveBmp(const std::wstring& Path) const {
  FILE* File = _wfopen(Path.c_str(), L"wb");
  if (!File) return false;
  BITMAPINFOHEADER Info = {};
  Info.biSize = sizeof Info;
  Info.biWidth = W;
  Info.biHeight = -H;
  Info.biPlanes = 1;
  Info.biBitCount = 32;
  Info.biCompression = BI_RGB;
  Info.biSizeImage = static_cast<DWORD>(Pixels.size() * 4);
  BITMAPFILEHEADER Header = {};
  Header.bfType = 0x4D42;
  Header.bfOffBits = sizeof Header + sizeof Info;
  Header.bfSize = Header.bfOffBits + Info.biSizeImage;
  bool Written = fwrite(&Header, sizeof Header, 1, File) == 1 && fwrite(&Info, sizeof Info, 1, File) == 1 &&
                 fwrite(Pixels.data(), 4, Pixels.size(), File) == Pixels.size();
  return fclose(File) == 0 && Written;
}
