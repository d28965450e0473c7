// Streaming reader: a .kuz file (or a bare message) in, authenticated plaintext out, in
// constant memory. Only authenticated chunks reach the sink, each as soon as it is known not to
// be the final one; the final chunk is passed on at Finish, once nothing follows it.
//
// The commitment is checked as soon as the salt and commitment are in, before any chunk.
// After an error the reader keeps failing with that error. What reached the sink before an
// error is a valid prefix of the message, never more. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "kuz/Crypto.h"
#include "kuz/Error.h"
#include "kuz/Io.h"

namespace kuz {

class StreamReader {
 public:
  StreamReader() noexcept;
  ~StreamReader();
  StreamReader(const StreamReader&) = delete;
  StreamReader& operator=(const StreamReader&) = delete;
  StreamReader(StreamReader&&) noexcept;
  StreamReader& operator=(StreamReader&&) noexcept;

  // A .kuz file: the 8-byte header comes first and is the context.
  Status Start(ByteSink& PlainOut, std::span<const std::uint8_t> InputKey,
               const CryptoBackend& Backend = DefaultBackend()) noexcept;

  // A bare message with the given context.
  Status StartMessage(ByteSink& PlainOut, std::span<const std::uint8_t> InputKey,
                      std::span<const std::uint8_t> Context, const CryptoBackend& Backend = DefaultBackend()) noexcept;

  Status Write(std::span<const std::uint8_t> Sealed) noexcept;

  // The end of the input: the rest must be a valid short final chunk. Afterwards the reader
  // holds no key.
  Status Finish() noexcept;

  // Authenticated plaintext bytes passed to the sink so far.
  std::uint64_t PlaintextSize() const noexcept;

 private:
  struct State;
  std::unique_ptr<State> Impl;
};

}  // namespace kuz
