// Key material that wipes itself: fixed-size byte arrays cleared on destruction and on Clear.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kuz {

// Overwrites Size bytes with zeros in a way the compiler does not remove as a dead store.
void SecureWipe(void* Data, std::size_t Size) noexcept;

// N secret bytes. Not copyable; a move copies the bytes and wipes the source.
template <std::size_t N>
class SecretBytes {
 public:
  static constexpr std::size_t Size = N;

  SecretBytes() noexcept = default;
  ~SecretBytes() { Clear(); }
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;
  SecretBytes(SecretBytes&& Other) noexcept : Bytes(Other.Bytes) { Other.Clear(); }
  SecretBytes& operator=(SecretBytes&& Other) noexcept {
    if (this != &Other) {
      Bytes = Other.Bytes;
      Other.Clear();
    }
    return *this;
  }

  void Clear() noexcept { SecureWipe(Bytes.data(), N); }
  std::span<std::uint8_t, N> Span() noexcept { return std::span<std::uint8_t, N>(Bytes); }
  std::span<const std::uint8_t, N> Span() const noexcept { return std::span<const std::uint8_t, N>(Bytes); }
  std::uint8_t* Data() noexcept { return Bytes.data(); }
  const std::uint8_t* Data() const noexcept { return Bytes.data(); }

 private:
  std::array<std::uint8_t, N> Bytes{};
};

}  // namespace kuz
