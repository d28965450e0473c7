// Random-access reader of a .kuz file (or a bare message) over a ByteSource.
//
//   kuz::Reader File;
//   Status S = File.Open(std::move(Source));     // header only, no key: format and version
//   S = File.SetKey(Key.Bytes());                // commitment, then the final chunk: exact size
//   S = File.Read(Offset, Buffer, Count);        // decrypts and authenticates only what it needs
//
// Open reads the first 64 bytes. SetKey derives the keys, compares the commitment (WrongKey),
// checks that the size ends in a short final chunk (TruncatedData) and authenticates that chunk
// (DamagedData), all at a cost independent of the file size. Read then serves any range:
// bytes come only from authenticated chunks, decrypted into private buffers of a small cache
// (a fixed number of chunks, whatever the file size).
//
// Threads: after Open, SetKey, ClearKey, Read and the accessors may be called from several
// threads at once; they serialise on an internal lock. Open is not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "kuz/Crypto.h"
#include "kuz/Error.h"
#include "kuz/Format.h"
#include "kuz/Io.h"

namespace kuz {

// What the header and size tell without a key.
struct FileFacts {
  std::uint8_t Version = 0;           // 1 for .kuz files, 0 for bare messages
  std::uint64_t FileSize = 0;
  Status LayoutStatus;                // TruncatedData when the size cannot be a whole message
  MessageLayout Layout;               // valid when LayoutStatus is Ok; not yet authenticated
};

class Reader {
 public:
  // Decrypted chunks kept; each costs 16 KiB.
  static constexpr std::size_t CacheChunks = 8;

  Reader() noexcept;
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;
  // Not while other threads use either reader.
  Reader(Reader&&) noexcept;
  Reader& operator=(Reader&&) noexcept;

  // A .kuz file: NotKuzFile, UnsupportedVersion, TruncatedHeader, ReadFailed.
  Status Open(std::unique_ptr<ByteSource> Source) noexcept;

  // A bare message starting at offset 0 of Source, with the given context.
  Status OpenMessage(std::unique_ptr<ByteSource> Source, std::span<const std::uint8_t> Context) noexcept;

  // Replaces any key already set. On failure no key is set.
  Status SetKey(std::span<const std::uint8_t> InputKey, const CryptoBackend& Backend = DefaultBackend()) noexcept;

  // Wipes the keys and the cache.
  void ClearKey() noexcept;

  bool HasKey() const noexcept;
  FileFacts Facts() const noexcept;

  // The authenticated plaintext size; 0 without a key.
  std::uint64_t PlaintextSize() const noexcept;

  // Copies up to Out.size() plaintext bytes from Offset; Count is how many (short at the end of
  // the data, 0 at or after it). On an error, Count is the authenticated bytes copied before the
  // failing chunk, and DamagedData carries that chunk's plaintext offset. NoKey before SetKey.
  Status Read(std::uint64_t Offset, std::span<std::uint8_t> Out, std::size_t& Count) noexcept;

 private:
  struct State;
  std::unique_ptr<State> Impl;
};

}  // namespace kuz
