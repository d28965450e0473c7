// Move-only owners of Win32 handles: each closes its handle exactly once.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

struct GdiObjectDeleter {
  void operator()(HGDIOBJ Object) const noexcept { DeleteObject(Object); }
};

template <class Handle>
using UniqueGdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;

using UniqueFont = UniqueGdiObject<HFONT>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;

struct WindowDeleter {
  void operator()(HWND Window) const noexcept { DestroyWindow(Window); }
};

using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;
