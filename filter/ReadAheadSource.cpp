#include "ReadAheadSource.h"

#include <algorithm>
#include <cstring>
#include <new>

kuz::Status TReadAheadSource::Size(std::uint64_t& Size) noexcept { return Inner->Size(Size); }

kuz::Status TReadAheadSource::ReadAt(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept {
  const bool Sequential = Offset == NextSequential;
  NextSequential = Offset + Out.size();
  if (Offset >= BufferStart && Offset + Out.size() <= BufferStart + Buffer.size()) {
    std::memcpy(Out.data(), Buffer.data() + (Offset - BufferStart), Out.size());
    return kuz::Success();
  }
  if (!Sequential || Out.size() >= Window) return Inner->ReadAt(Offset, Out);

  std::uint64_t FileSize = 0;
  if (kuz::Status Sized = Inner->Size(FileSize); !Sized.Ok()) return Sized;
  const std::uint64_t Length = std::min<std::uint64_t>(Window, FileSize > Offset ? FileSize - Offset : 0);
  if (Length < Out.size()) return Inner->ReadAt(Offset, Out);  // reports the short file as it is
  try {
    Buffer.resize(static_cast<std::size_t>(Length));
  } catch (const std::bad_alloc&) {
    Buffer.clear();
    return Inner->ReadAt(Offset, Out);
  }
  if (kuz::Status Read = Inner->ReadAt(Offset, Buffer); !Read.Ok()) {
    Buffer.clear();
    return Read;
  }
  BufferStart = Offset;
  std::memcpy(Out.data(), Buffer.data(), Out.size());
  return kuz::Success();
}
