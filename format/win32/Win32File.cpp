#include "kuz/Win32File.h"

#include <new>

namespace kuz {

namespace {

class Win32FileSource final : public ByteSource {
 public:
  Win32FileSource(UniqueFileHandle File, std::uint64_t FileSize) noexcept : File(std::move(File)), FileSize(FileSize) {}

  Status Size(std::uint64_t& Size) noexcept override {
    Size = FileSize;
    return Success();
  }

  Status ReadAt(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept override {
    std::size_t Done = 0;
    while (Done < Out.size()) {
      // The offset travels in the OVERLAPPED structure: no shared file pointer.
      OVERLAPPED At{};
      std::uint64_t Position = Offset + Done;
      At.Offset = static_cast<DWORD>(Position & 0xFFFFFFFFu);
      At.OffsetHigh = static_cast<DWORD>(Position >> 32);
      DWORD Piece = static_cast<DWORD>(std::min<std::size_t>(Out.size() - Done, 1u << 30));
      DWORD Got = 0;
      if (!ReadFile(File.Get(), Out.data() + Done, Piece, &Got, &At) || Got == 0) return Failure(Error::ReadFailed);
      Done += Got;
    }
    return Success();
  }

 private:
  UniqueFileHandle File;
  std::uint64_t FileSize;
};

}  // namespace

Status AdoptWin32File(UniqueFileHandle File, std::unique_ptr<ByteSource>& Source) noexcept {
  Source.reset();
  LARGE_INTEGER Size;
  if (!File.Valid() || !GetFileSizeEx(File.Get(), &Size) || Size.QuadPart < 0) return Failure(Error::ReadFailed);
  Source.reset(new (std::nothrow) Win32FileSource(std::move(File), static_cast<std::uint64_t>(Size.QuadPart)));
  return Source ? Success() : Failure(Error::OutOfMemory);
}

Status OpenWin32File(const wchar_t* Path, std::unique_ptr<ByteSource>& Source) noexcept {
  UniqueFileHandle File(CreateFileW(Path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr));
  if (!File.Valid()) {
    Source.reset();
    return Failure(Error::ReadFailed);
  }
  return AdoptWin32File(std::move(File), Source);
}

}  // namespace kuz
