#include "kuz/KeyText.h"

namespace kuz {

InputKey::InputKey(InputKey&& Other) noexcept : Key(std::move(Other.Key)), Present(Other.Present) {
  Other.Present = false;
}

InputKey& InputKey::operator=(InputKey&& Other) noexcept {
  if (this != &Other) {
    Key = std::move(Other.Key);
    Present = Other.Present;
    Other.Present = false;
  }
  return *this;
}

void InputKey::Clear() noexcept {
  Key.Clear();
  Present = false;
}

void InputKey::Assign(std::span<const std::uint8_t, Size> Bytes) noexcept {
  for (std::size_t I = 0; I < Size; ++I) Key.Data()[I] = Bytes[I];
  Present = true;
}

namespace {

int HexValue(char C) noexcept {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

bool IsOuterSpace(char C) noexcept { return C == ' ' || C == '\t' || C == '\r' || C == '\n'; }
bool IsSeparator(char C) noexcept { return C == ' ' || C == '-'; }

}  // namespace

Status ParseKeyText(std::string_view Text, InputKey& Key) noexcept {
  Key.Clear();
  while (!Text.empty() && IsOuterSpace(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && IsOuterSpace(Text.back())) Text.remove_suffix(1);

  SecretBytes<InputKey::Size> Bytes;
  std::size_t Digits = 0;
  bool AfterSeparator = false;
  for (char C : Text) {
    int Value = HexValue(C);
    if (Value < 0) {
      // A separator must stand between two digits.
      if (!IsSeparator(C) || Digits == 0) return Failure(Error::MalformedKey);
      AfterSeparator = true;
      continue;
    }
    if (Digits == 2 * InputKey::Size) return Failure(Error::MalformedKey);
    std::uint8_t& Byte = Bytes.Data()[Digits / 2];
    Byte = static_cast<std::uint8_t>(Digits % 2 == 0 ? Value << 4 : Byte | Value);
    ++Digits;
    AfterSeparator = false;
  }
  if (Digits != 2 * InputKey::Size || AfterSeparator) return Failure(Error::MalformedKey);
  Key.Assign(Bytes.Span());
  return Success();
}

void FormatKeyText(const InputKey& Key, KeyTextBuffer& Text) noexcept {
  static constexpr char Digits[] = "0123456789abcdef";
  auto Bytes = Key.Bytes();
  for (std::size_t I = 0; I < InputKey::Size; ++I) {
    Text[2 * I] = Digits[Bytes[I] >> 4];
    Text[2 * I + 1] = Digits[Bytes[I] & 0xF];
  }
  Text[2 * InputKey::Size] = '\0';
}

}  // namespace kuz
