#include "kuz/Io.h"

#include <cstring>

namespace kuz {

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
