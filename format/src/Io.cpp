#include "kuz/Io.h"

#include <cstring>
#include <new>

namespace kuz {

Status MemorySink::Write(std::span<const std::uint8_t> Data) noexcept {
  try {
    Bytes.insert(Bytes.end(), Data.begin(), Data.end());
    return Success();
  } catch (const std::bad_alloc&) {
    return Failure(Error::OutOfMemory);
  }
}

Status MemorySource::Size(std::uint64_t& Size) noexcept {
  Size = Bytes.size();
  return Success();
}

Status MemorySource::ReadAt(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept {
  if (Offset > Bytes.size() || Out.size() > Bytes.size() - Offset) return Failure(Error::ReadFailed);
  if (!Out.empty()) std::memcpy(Out.data(), Bytes.data() + Offset, Out.size());
  return Success();
}

}  // namespace kuz
