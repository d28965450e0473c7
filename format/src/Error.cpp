#include "kuz/Error.h"

#include <cinttypes>
#include <cstdio>

namespace kuz {

const char* ErrorName(Error Code) noexcept {
  switch (Code) {
    case Error::None: return "success";
    case Error::NotKuzFile: return "not a .kuz file";
    case Error::UnsupportedVersion: return "unsupported .kuz format version";
    case Error::TruncatedHeader: return "truncated header";
    case Error::MalformedKey: return "malformed key";
    case Error::WrongKey: return "wrong key";
    case Error::DamagedData: return "damaged data";
    case Error::TruncatedData: return "truncated data";
    case Error::MessageTooLong: return "message too long";
    case Error::NoKey: return "no key set";
    case Error::NotOpen: return "not open";
    case Error::ReadFailed: return "read failed";
    case Error::WriteFailed: return "write failed";
    case Error::OutOfMemory: return "out of memory";
    case Error::CryptoFailure: return "crypto backend failure";
  }
  return "unknown error";
}

namespace {

const char* Explanation(Error Code) noexcept {
  switch (Code) {
    case Error::NotKuzFile: return "the file does not start with the .kuz signature";
    case Error::UnsupportedVersion: return "this program reads format version 1 only";
    case Error::TruncatedHeader: return "the file ends before its 64-byte header is complete";
    case Error::MalformedKey: return "expected 32 hexadecimal digits, optionally separated by spaces or hyphens";
    case Error::WrongKey: return "the key does not match the file's key commitment";
    case Error::MessageTooLong: return "more chunks than the format allows";
    case Error::NoKey: return "set a key before reading";
    case Error::NotOpen: return "open or start it first";
    default: return nullptr;
  }
}

}  // namespace

const char* DescribeStatus(const Status& Result, char* Buffer, std::size_t Size) noexcept {
  if (Size == 0) return Buffer;
  const char* Name = ErrorName(Result.Code);
  if (Result.Code == Error::DamagedData) {
    std::snprintf(Buffer, Size, "%s: the chunk at plaintext offset %" PRIu64 " failed authentication", Name,
                  Result.PlaintextOffset);
  } else if (Result.Code == Error::TruncatedData) {
    std::snprintf(Buffer, Size, "%s: the data ends inside or before the chunk at plaintext offset %" PRIu64, Name,
                  Result.PlaintextOffset);
  } else if (const char* Why = Explanation(Result.Code)) {
    std::snprintf(Buffer, Size, "%s: %s", Name, Why);
  } else {
    std::snprintf(Buffer, Size, "%s", Name);
  }
  return Buffer;
}

}  // namespace kuz
