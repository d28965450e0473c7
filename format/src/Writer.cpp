#include "kuz/Writer.h"

#include <algorithm>
#include <cstring>

#include "Buffer.h"
#include "kuz/Message.h"

namespace kuz {

namespace {
// Sealed chunks gathered before one write to the sink.
constexpr std::size_t BatchChunks = 16;
}  // namespace

struct StreamWriter::State {
  ByteSink* Sink = nullptr;
  MessageKeys Keys;
  std::unique_ptr<ChunkCipher> Cipher;
  detail::ByteBuffer Pending;  // plaintext of the chunk being filled
  std::size_t PendingSize = 0;
  detail::ByteBuffer Batch;    // sealed bytes not yet written
  std::size_t BatchSize = 0;
  std::uint64_t ChunkIndex = 0;
  std::uint64_t Plaintext = 0;
  Status Sticky;
  bool Finished = false;

  Status Fail(Status Result) noexcept {
    Sticky = Result;
    Keys.Clear();
    Cipher.reset();
    return Result;
  }

  void Append(std::span<const std::uint8_t> Bytes) noexcept {
    std::memcpy(Batch.Data() + BatchSize, Bytes.data(), Bytes.size());
    BatchSize += Bytes.size();
  }

  Status Flush() noexcept {
    if (BatchSize == 0) return Success();
    Status Written = Sink->Write(Batch.First(BatchSize));
    BatchSize = 0;
    return Written;
  }

  Status Seal(std::span<const std::uint8_t> Plain, bool Final) noexcept {
    // The final chunk needs a counter value of its own.
    if (ChunkIndex + (Final ? 0 : 1) >= MaxChunkCount) return Failure(Error::MessageTooLong);
    if (Batch.Size() - BatchSize < Plain.size() + TagSize) {
      if (Status Flushed = Flush(); !Flushed.Ok()) return Flushed;
    }
    auto Nonce = ChunkNonce(Keys.BaseNonce.Span(), ChunkIndex);
    if (!Cipher->Seal(Nonce, Plain, std::span<std::uint8_t>(Batch.Data() + BatchSize, Plain.size() + TagSize)))
      return Failure(Error::CryptoFailure);
    BatchSize += Plain.size() + TagSize;
    ++ChunkIndex;
    Plaintext += Plain.size();
    return Success();
  }
};

StreamWriter::StreamWriter() noexcept = default;
StreamWriter::~StreamWriter() = default;
StreamWriter::StreamWriter(StreamWriter&&) noexcept = default;
StreamWriter& StreamWriter::operator=(StreamWriter&&) noexcept = default;

Status StreamWriter::Start(ByteSink& Out, std::span<const std::uint8_t> InputKey, const CryptoBackend& Backend) noexcept {
  std::array<std::uint8_t, SaltSize> Salt;
  if (!Backend.RandomBytes(Salt)) return Failure(Error::CryptoFailure);
  if (Status Started = StartMessageWithSalt(Out, InputKey, FileHeader, Salt, Backend); !Started.Ok()) return Started;
  // The header goes in front of the salt and commitment already in the batch.
  auto& S = *Impl;
  std::memmove(S.Batch.Data() + HeaderSize, S.Batch.Data(), S.BatchSize);
  std::memcpy(S.Batch.Data(), FileHeader.data(), HeaderSize);
  S.BatchSize += HeaderSize;
  return Success();
}

Status StreamWriter::StartMessage(ByteSink& Out, std::span<const std::uint8_t> InputKey,
                                  std::span<const std::uint8_t> Context, const CryptoBackend& Backend) noexcept {
  std::array<std::uint8_t, SaltSize> Salt;
  if (!Backend.RandomBytes(Salt)) return Failure(Error::CryptoFailure);
  return StartMessageWithSalt(Out, InputKey, Context, Salt, Backend);
}

Status StreamWriter::StartMessageWithSalt(ByteSink& Out, std::span<const std::uint8_t> InputKey,
                                          std::span<const std::uint8_t> Context,
                                          std::span<const std::uint8_t, SaltSize> Salt,
                                          const CryptoBackend& Backend) noexcept {
  Impl = detail::MakeState<State>();
  if (!Impl) return Failure(Error::OutOfMemory);
  auto& S = *Impl;
  S.Sink = &Out;
  // Room for the header, salt and commitment in front of the first batch of chunks.
  if (!S.Pending.Allocate(ChunkSize) || !S.Batch.Allocate(BatchChunks * SealedChunkSize + FirstChunkOffset))
    return S.Fail(Failure(Error::OutOfMemory));
  if (Status Derived = DeriveMessageKeys(Backend, InputKey, Salt, Context, S.Keys); !Derived.Ok()) return S.Fail(Derived);
  if (Status Made = Backend.NewChunkCipher(S.Keys.AeadKey.Span(), S.Cipher); !Made.Ok()) return S.Fail(Made);
  S.Append(Salt);
  S.Append(S.Keys.Commitment.Span());
  return Success();
}

Status StreamWriter::Write(std::span<const std::uint8_t> Data) noexcept {
  if (!Impl || Impl->Finished) return Failure(Error::NotOpen);
  auto& S = *Impl;
  if (!S.Sticky.Ok()) return S.Sticky;
  while (!Data.empty()) {
    // A full chunk is never the final one, so it can be sealed at once, straight from the input.
    if (S.PendingSize == 0 && Data.size() >= ChunkSize) {
      if (Status Sealed = S.Seal(Data.first(ChunkSize), false); !Sealed.Ok()) return S.Fail(Sealed);
      Data = Data.subspan(ChunkSize);
      continue;
    }
    std::size_t Take = std::min(ChunkSize - S.PendingSize, Data.size());
    std::memcpy(S.Pending.Data() + S.PendingSize, Data.data(), Take);
    S.PendingSize += Take;
    Data = Data.subspan(Take);
    if (S.PendingSize == ChunkSize) {
      if (Status Sealed = S.Seal(S.Pending.First(ChunkSize), false); !Sealed.Ok()) return S.Fail(Sealed);
      S.PendingSize = 0;
    }
  }
  return Success();
}

Status StreamWriter::Finish() noexcept {
  if (!Impl || Impl->Finished) return Failure(Error::NotOpen);
  auto& S = *Impl;
  if (!S.Sticky.Ok()) return S.Sticky;
  if (Status Sealed = S.Seal(S.Pending.First(S.PendingSize), true); !Sealed.Ok()) return S.Fail(Sealed);
  S.PendingSize = 0;
  if (Status Flushed = S.Flush(); !Flushed.Ok()) return S.Fail(Flushed);
  S.Keys.Clear();
  S.Cipher.reset();
  S.Finished = true;
  return Success();
}

std::uint64_t StreamWriter::PlaintextSize() const noexcept {
  return Impl ? Impl->Plaintext + Impl->PendingSize : 0;
}

}  // namespace kuz
