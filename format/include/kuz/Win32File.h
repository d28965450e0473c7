// ByteSource over a Win32 file handle (Windows only): 64-bit offsets, reads at explicit
// offsets, so the handle's file pointer is never relied on.
#pragma once

#include <windows.h>

#include <memory>

#include "kuz/Io.h"

namespace kuz {

// A file handle closed on destruction. Move-only.
class UniqueFileHandle {
 public:
  UniqueFileHandle() noexcept = default;
  explicit UniqueFileHandle(HANDLE Handle) noexcept : Handle(Handle) {}
  ~UniqueFileHandle() { Reset(); }
  UniqueFileHandle(const UniqueFileHandle&) = delete;
  UniqueFileHandle& operator=(const UniqueFileHandle&) = delete;
  UniqueFileHandle(UniqueFileHandle&& Other) noexcept : Handle(Other.Release()) {}
  UniqueFileHandle& operator=(UniqueFileHandle&& Other) noexcept {
    if (this != &Other) Reset(Other.Release());
    return *this;
  }

  HANDLE Get() const noexcept { return Handle; }
  bool Valid() const noexcept { return Handle != INVALID_HANDLE_VALUE && Handle != nullptr; }
  HANDLE Release() noexcept {
    HANDLE Old = Handle;
    Handle = INVALID_HANDLE_VALUE;
    return Old;
  }
  void Reset(HANDLE New = INVALID_HANDLE_VALUE) noexcept {
    if (Valid()) CloseHandle(Handle);
    Handle = New;
  }

 private:
  HANDLE Handle = INVALID_HANDLE_VALUE;
};

// Opens Path for reading, sharing read access (and delete, so others may replace the file).
Status OpenWin32File(const wchar_t* Path, std::unique_ptr<ByteSource>& Source) noexcept;

// Takes ownership of a handle opened with read access.
Status AdoptWin32File(UniqueFileHandle File, std::unique_ptr<ByteSource>& Source) noexcept;

}  // namespace kuz
