// Results of the .kuz library. No function of the library throws: each reports a Status.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kuz {

enum class Error : std::uint8_t {
  None = 0,
  NotKuzFile,          // the first bytes are not the .kuz signature
  UnsupportedVersion,  // a .kuz file of a format version this library does not read
  TruncatedHeader,     // the data ends before the header, salt and commitment are complete
  MalformedKey,        // key text that is not 32 hex digits, or a key that is not 16 bytes
  WrongKey,            // the key commitment does not match (wrong key, or damaged salt or commitment)
  DamagedData,         // a chunk failed authentication
  TruncatedData,       // the data ends inside a chunk, or without its short final chunk
  MessageTooLong,      // more chunks than the nonce counter allows
  NoKey,               // the reader was asked for data before a key was set
  NotOpen,             // the reader or writer was used before Open/Start, or after Finish
  ReadFailed,          // the byte source could not deliver the requested bytes
  WriteFailed,         // the byte sink refused bytes
  OutOfMemory,
  CryptoFailure,       // the crypto backend failed for another reason than authentication
};

// What an operation ended with. For DamagedData and TruncatedData, PlaintextOffset is where the
// failing chunk's plaintext starts (a multiple of 16384).
struct [[nodiscard]] Status {
  Error Code = Error::None;
  std::uint64_t PlaintextOffset = 0;

  constexpr bool Ok() const noexcept { return Code == Error::None; }
  friend constexpr bool operator==(const Status&, const Status&) = default;
};

constexpr Status Success() noexcept { return {}; }
constexpr Status Failure(Error Code, std::uint64_t PlaintextOffset = 0) noexcept {
  return {Code, PlaintextOffset};
}

// A short English name of the error, e.g. "damaged data".
const char* ErrorName(Error Code) noexcept;

// One line for a person, e.g. "damaged data: the chunk at plaintext offset 16384 failed
// authentication". Writes at most Size bytes including the terminating NUL; returns Buffer.
const char* DescribeStatus(const Status& Result, char* Buffer, std::size_t Size) noexcept;

}  // namespace kuz
