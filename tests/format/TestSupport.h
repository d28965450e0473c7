// Helpers shared by the format tests: hex, in-memory sinks, counting sources, temporary files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "kuz/Crypto.h"
#include "kuz/Io.h"

namespace kuz::test {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(std::string_view Hex);
std::string ToHex(std::span<const std::uint8_t> Data);
std::string Sha512Hex(const CryptoBackend& Backend, std::span<const std::uint8_t> Data);

// Plaintext that differs at every offset, so a byte from the wrong place shows.
Bytes Pattern(std::size_t Size, std::uint32_t Variant = 1);

// Key 00 01 02 ... 0F.
std::span<const std::uint8_t> TestKey();

using VectorSink = MemorySink;

// Records what is read from an in-memory source.
class CountingSource final : public ByteSource {
 public:
  explicit CountingSource(std::span<const std::uint8_t> Data, std::uint64_t* Calls, std::uint64_t* BytesRead,
                          std::uint64_t* HighestEnd = nullptr)
      : Inner(Data), Calls(Calls), BytesRead(BytesRead), HighestEnd(HighestEnd) {}
  Status Size(std::uint64_t& Size) noexcept override { return Inner.Size(Size); }
  Status ReadAt(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept override {
    ++*Calls;
    *BytesRead += Out.size();
    if (HighestEnd && Offset + Out.size() > *HighestEnd) *HighestEnd = Offset + Out.size();
    return Inner.ReadAt(Offset, Out);
  }

 private:
  MemorySource Inner;
  std::uint64_t* Calls;
  std::uint64_t* BytesRead;
  std::uint64_t* HighestEnd;
};

// Encrypts Plain into a .kuz file in memory (random salt) or a bare message (given salt).
Bytes EncryptFile(const CryptoBackend& Backend, std::span<const std::uint8_t> Plain,
                  std::span<const std::uint8_t> Key = TestKey());

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& Path() const { return Folder; }

 private:
  std::filesystem::path Folder;
};

void WriteFile(const std::filesystem::path& Path, std::span<const std::uint8_t> Data);
Bytes ReadFile(const std::filesystem::path& Path);

// Test name suffix for a backend ("OpenSSL", "CNG").
std::string BackendName(const testing::TestParamInfo<const CryptoBackend*>& Info);

}  // namespace kuz::test
