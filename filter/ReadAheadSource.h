// A byte source that reads ahead while its reads follow each other: the reader asks for one
// sealed chunk at a time, and a system read per 16 KiB chunk costs more than decrypting it.
// Sequential reads are served from one larger read; any other read goes through as it is, so a
// seek costs no more than before. Memory stays at one window whatever the file's size.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kuz/Io.h"

class TReadAheadSource final : public kuz::ByteSource {
 public:
  static constexpr std::size_t Window = 64 * 16400;  // 64 sealed chunks, about 1 MiB

  explicit TReadAheadSource(std::unique_ptr<kuz::ByteSource> Inner) noexcept : Inner(std::move(Inner)) {}

  kuz::Status Size(std::uint64_t& Size) noexcept override;
  kuz::Status ReadAt(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept override;

 private:
  std::unique_ptr<kuz::ByteSource> Inner;
  std::vector<std::uint8_t> Buffer;  // the bytes at [BufferStart, BufferStart + Buffer.size())
  std::uint64_t BufferStart = 0;
  std::uint64_t NextSequential = UINT64_MAX;  // where a read following the last one starts
};
