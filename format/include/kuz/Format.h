// The .kuz file format, version 1 (docs/kuz-format.md): an 8-byte header followed by one
// Cobblestone-128 message (chunked AES-128-GCM) whose key derivation context is that header.
//
//   offset 0   8 bytes   header 8B 4B 55 5A 0D 0A 1A 01
//   offset 8   24 bytes  salt
//   offset 32  32 bytes  key commitment
//   offset 64  chunks: chunk k at 64 + k * 16400, 16384 plaintext bytes + 16-byte tag each,
//              the last one always shorter (0..16383 plaintext bytes)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "kuz/Error.h"

namespace kuz {

inline constexpr std::uint8_t FormatVersion = 1;
inline constexpr std::array<std::uint8_t, 8> FileHeader = {0x8B, 0x4B, 0x55, 0x5A, 0x0D, 0x0A, 0x1A, FormatVersion};
inline constexpr std::size_t HeaderSize = FileHeader.size();

inline constexpr std::size_t SaltSize = 24;
inline constexpr std::size_t CommitmentSize = 32;
inline constexpr std::size_t MessageHeaderSize = SaltSize + CommitmentSize;  // salt, commitment
inline constexpr std::uint64_t FirstChunkOffset = HeaderSize + MessageHeaderSize;  // in a .kuz file

inline constexpr std::size_t ChunkSize = 16384;  // plaintext bytes of every chunk but the last
inline constexpr std::size_t TagSize = 16;
inline constexpr std::size_t SealedChunkSize = ChunkSize + TagSize;
// The chunk number goes into the nonce; it stays below 2^38.
inline constexpr std::uint64_t MaxChunkCount = std::uint64_t{1} << 38;

// Checks the first bytes of a file (all of them when it is shorter than the header):
// NotKuzFile when they differ from the signature, TruncatedHeader when they match but stop
// early, UnsupportedVersion for a version byte other than 1.
Status CheckHeader(std::span<const std::uint8_t> FirstBytes) noexcept;

// The chunks of a message, from the size of its chunk area (what follows the commitment).
struct MessageLayout {
  std::uint64_t ChunkCount = 0;       // including the final chunk
  std::size_t FinalSealedSize = 0;    // 16..16399: plaintext plus tag
  std::uint64_t PlaintextSize = 0;    // what the chunk sizes promise; trusted only once the
                                      // final chunk is authenticated
};

// TruncatedData (at the missing or incomplete final chunk) when the size cannot end in a short
// final chunk; MessageTooLong past the chunk counter's range.
Status ComputeLayout(std::uint64_t ChunkAreaSize, MessageLayout& Layout) noexcept;

constexpr std::uint64_t ChunkPlaintextOffset(std::uint64_t Index) noexcept { return Index * ChunkSize; }
// Offset of chunk Index from the start of the chunk area.
constexpr std::uint64_t ChunkAreaOffset(std::uint64_t Index) noexcept { return Index * SealedChunkSize; }

}  // namespace kuz
