// Heap byte buffers allocated without exceptions; the library's API must not throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <span>

namespace kuz::detail {

class ByteBuffer {
 public:
  ByteBuffer() noexcept = default;
  bool Allocate(std::size_t Size) noexcept {
    Bytes.reset(new (std::nothrow) std::uint8_t[Size]);
    Length = Bytes ? Size : 0;
    return Bytes != nullptr || Size == 0;
  }
  std::uint8_t* Data() noexcept { return Bytes.get(); }
  const std::uint8_t* Data() const noexcept { return Bytes.get(); }
  std::size_t Size() const noexcept { return Length; }
  std::span<std::uint8_t> First(std::size_t Count) noexcept { return {Bytes.get(), Count}; }
  std::span<const std::uint8_t> First(std::size_t Count) const noexcept { return {Bytes.get(), Count}; }

 private:
  std::unique_ptr<std::uint8_t[]> Bytes;
  std::size_t Length = 0;
};

// Nothrow construction for the pimpl states.
template <typename T>
std::unique_ptr<T> MakeState() noexcept {
  return std::unique_ptr<T>(new (std::nothrow) T());
}

}  // namespace kuz::detail
