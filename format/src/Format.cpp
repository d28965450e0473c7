#include "kuz/Format.h"

#include <algorithm>

namespace kuz {

Status CheckHeader(std::span<const std::uint8_t> FirstBytes) noexcept {
  // The seven signature bytes decide whether this is a .kuz file at all; the eighth is the version.
  constexpr std::size_t SignatureSize = HeaderSize - 1;
  std::size_t Compared = std::min(FirstBytes.size(), SignatureSize);
  if (!std::equal(FirstBytes.begin(), FirstBytes.begin() + static_cast<std::ptrdiff_t>(Compared), FileHeader.begin()))
    return Failure(Error::NotKuzFile);
  if (FirstBytes.size() < HeaderSize) return Failure(Error::TruncatedHeader);
  if (FirstBytes[SignatureSize] != FormatVersion) return Failure(Error::UnsupportedVersion);
  return Success();
}

Status ComputeLayout(std::uint64_t ChunkAreaSize, MessageLayout& Layout) noexcept {
  Layout = {};
  std::uint64_t FullChunks = ChunkAreaSize / SealedChunkSize;
  std::uint64_t FinalSize = ChunkAreaSize % SealedChunkSize;
  if (FullChunks >= MaxChunkCount) return Failure(Error::MessageTooLong);
  // A full-size chunk cannot be the last one, and a final chunk holds at least its tag.
  if (FinalSize < TagSize) return Failure(Error::TruncatedData, ChunkPlaintextOffset(FullChunks));
  Layout.ChunkCount = FullChunks + 1;
  Layout.FinalSealedSize = static_cast<std::size_t>(FinalSize);
  Layout.PlaintextSize = ChunkPlaintextOffset(FullChunks) + (FinalSize - TagSize);
  return Success();
}

}  // namespace kuz
