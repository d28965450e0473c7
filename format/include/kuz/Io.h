// Where the library's bytes come from and go to: interfaces the caller implements.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "kuz/Error.h"

namespace kuz {

// Random-access input with a fixed size. The reader calls it under its own lock (one call at a
// time), so an implementation need not be thread-safe.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual Status Size(std::uint64_t& Size) noexcept = 0;
  // Exactly Out.size() bytes at Offset; ReadFailed if they cannot all be read.
  virtual Status ReadAt(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept = 0;
};

// Sequential output; WriteFailed (or any other error) stops the writer or reader using it.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual Status Write(std::span<const std::uint8_t> Data) noexcept = 0;
};

// A sink that collects what is written, in memory.
class MemorySink final : public ByteSink {
 public:
  // OutOfMemory when the bytes do not fit.
  Status Write(std::span<const std::uint8_t> Data) noexcept override;
  std::vector<std::uint8_t> Bytes;
};

// A source over bytes in memory that outlive it.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> Bytes) noexcept : Bytes(Bytes) {}
  Status Size(std::uint64_t& Size) noexcept override;
  Status ReadAt(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept override;

 private:
  std::span<const std::uint8_t> Bytes;
};

}  // namespace kuz
