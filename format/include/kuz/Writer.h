// Streaming writer: plaintext in, a .kuz file (or a bare message) out, in constant memory
// (one plaintext chunk and a batch of sealed chunks).
//
//   kuz::StreamWriter Writer;
//   Status S = Writer.Start(Sink, Key.Bytes());     // header, salt, commitment
//   S = Writer.Write(Data);                         // as often as needed
//   S = Writer.Finish();                            // the short final chunk; flushes the sink
//
// The first error is sticky: every later call returns it. Not thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "kuz/Crypto.h"
#include "kuz/Error.h"
#include "kuz/Format.h"
#include "kuz/Io.h"

namespace kuz {

class StreamWriter {
 public:
  StreamWriter() noexcept;
  ~StreamWriter();
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;
  StreamWriter(StreamWriter&&) noexcept;
  StreamWriter& operator=(StreamWriter&&) noexcept;

  // A .kuz file: writes the header, then a message whose context is the header. The salt comes
  // from the backend's system CSPRNG.
  Status Start(ByteSink& Out, std::span<const std::uint8_t> InputKey,
               const CryptoBackend& Backend = DefaultBackend()) noexcept;

  // A bare message with the caller's context and no .kuz header.
  Status StartMessage(ByteSink& Out, std::span<const std::uint8_t> InputKey, std::span<const std::uint8_t> Context,
                      const CryptoBackend& Backend = DefaultBackend()) noexcept;

  // As StartMessage with a given salt, for reproducible output in tests. A salt must never be
  // used twice with the same key.
  Status StartMessageWithSalt(ByteSink& Out, std::span<const std::uint8_t> InputKey,
                              std::span<const std::uint8_t> Context, std::span<const std::uint8_t, SaltSize> Salt,
                              const CryptoBackend& Backend = DefaultBackend()) noexcept;

  Status Write(std::span<const std::uint8_t> Data) noexcept;

  // Seals the final chunk and writes what is left. Afterwards the writer holds no key.
  Status Finish() noexcept;

  std::uint64_t PlaintextSize() const noexcept;

 private:
  struct State;
  std::unique_ptr<State> Impl;
};

}  // namespace kuz
