#include <gtest/gtest.h>

#include "TestSupport.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include "kuz/Writer.h"

namespace kuz::test {

Bytes FromHex(std::string_view Hex) {
  auto Nibble = [](char C) -> int {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    throw std::invalid_argument("not hex");
  };
  if (Hex.size() % 2) throw std::invalid_argument("odd hex length");
  Bytes Out(Hex.size() / 2);
  for (std::size_t I = 0; I < Out.size(); ++I)
    Out[I] = static_cast<std::uint8_t>(Nibble(Hex[2 * I]) << 4 | Nibble(Hex[2 * I + 1]));
  return Out;
}

std::string ToHex(std::span<const std::uint8_t> Data) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string Out;
  for (std::uint8_t B : Data) {
    Out += Digits[B >> 4];
    Out += Digits[B & 15];
  }
  return Out;
}

std::string Sha512Hex(const CryptoBackend& Backend, std::span<const std::uint8_t> Data) {
  std::uint8_t Digest[Sha512Size];
  if (!Backend.Sha512(Data, Digest)) throw std::runtime_error("SHA-512 failed");
  return ToHex(Digest);
}

Bytes Pattern(std::size_t Size, std::uint32_t Variant) {
  Bytes Out(Size);
  std::uint32_t State = Variant * 2654435761u + 1;
  for (auto& B : Out) {
    State = State * 1664525u + 1013904223u;
    B = static_cast<std::uint8_t>(State >> 24);
  }
  return Out;
}

std::span<const std::uint8_t> TestKey() {
  static const std::uint8_t Key[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  return Key;
}

Bytes EncryptFile(const CryptoBackend& Backend, std::span<const std::uint8_t> Plain, std::span<const std::uint8_t> Key) {
  VectorSink Sink;
  StreamWriter Writer;
  if (!Writer.Start(Sink, Key, Backend).Ok() || !Writer.Write(Plain).Ok() || !Writer.Finish().Ok())
    throw std::runtime_error("encryption failed");
  return std::move(Sink.Bytes);
}

TempFolder::TempFolder() {
  std::random_device Random;
  Folder = std::filesystem::temp_directory_path() / ("kuz-test-" + std::to_string(Random()) + std::to_string(Random()));
  std::filesystem::create_directories(Folder);
}

TempFolder::~TempFolder() {
  std::error_code Ignored;
  std::filesystem::remove_all(Folder, Ignored);
}

void WriteFile(const std::filesystem::path& Path, std::span<const std::uint8_t> Data) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  if (!Out) throw std::runtime_error("cannot write " + Path.string());
}

Bytes ReadFile(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In) throw std::runtime_error("cannot read " + Path.string());
  return Bytes(std::istreambuf_iterator<char>(In), {});
}

std::string BackendName(const testing::TestParamInfo<const CryptoBackend*>& Info) { return Info.param->Name(); }

}  // namespace kuz::test
