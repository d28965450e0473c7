// The key as people handle it: 32 hexadecimal digits giving the 16-byte input key.
//
// Digits may be upper or lower case, separated by ASCII spaces or hyphens, and surrounded by
// white space (space, tab, CR, LF): "00112233-4455-6677-8899-AABBCCDDEEFF\n" is accepted.
// Anything else (other characters, separators before the first or after the last digit, a
// digit count other than 32) is MalformedKey.
#pragma once

#include <span>
#include <string_view>

#include "kuz/Error.h"
#include "kuz/Secret.h"

namespace kuz {

// The 16-byte input key; wiped when destroyed or cleared.
class InputKey {
 public:
  static constexpr std::size_t Size = 16;

  InputKey() noexcept = default;
  InputKey(const InputKey&) = delete;
  InputKey& operator=(const InputKey&) = delete;
  // A move leaves the source empty (and wiped).
  InputKey(InputKey&& Other) noexcept;
  InputKey& operator=(InputKey&& Other) noexcept;
  ~InputKey() = default;

  bool Empty() const noexcept { return !Present; }
  void Clear() noexcept;
  void Assign(std::span<const std::uint8_t, Size> Key) noexcept;
  std::span<const std::uint8_t, Size> Bytes() const noexcept { return Key.Span(); }

 private:
  SecretBytes<Size> Key;
  bool Present = false;
};

// Parses key text into Key. On failure Key is left empty and the result is MalformedKey.
Status ParseKeyText(std::string_view Text, InputKey& Key) noexcept;

// 32 lower-case hex digits and a NUL.
using KeyTextBuffer = std::array<char, 2 * InputKey::Size + 1>;
void FormatKeyText(const InputKey& Key, KeyTextBuffer& Text) noexcept;

}  // namespace kuz
