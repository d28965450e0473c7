#include "kuz/StreamReader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "Buffer.h"
#include "kuz/Format.h"
#include "kuz/Message.h"

namespace kuz {

namespace {
enum class Phase { FileHeader, MessageHeader, Chunks, Done };
}  // namespace

struct StreamReader::State {
  ByteSink* Sink = nullptr;
  const CryptoBackend* Backend = nullptr;
  SecretBytes<AeadKeySize> InputKey;  // kept until the salt is in
  Phase Now = Phase::FileHeader;
  std::array<std::uint8_t, HeaderSize> Header{};
  std::size_t HeaderFill = 0;
  detail::ByteBuffer Context;
  std::size_t ContextSize = 0;
  std::array<std::uint8_t, MessageHeaderSize> MessageHeader{};
  std::size_t MessageHeaderFill = 0;
  MessageKeys Keys;
  std::unique_ptr<ChunkCipher> Cipher;
  detail::ByteBuffer Sealed;  // the chunk being gathered; opened once it is known not to be last
  std::size_t SealedFill = 0;
  detail::ByteBuffer Plain;   // private: plaintext reaches the sink only once authenticated
  std::uint64_t ChunkIndex = 0;
  std::uint64_t Delivered = 0;
  Status Sticky;

  // A fresh state in Impl, holding a copy of the input key until the salt is in.
  static Status Begin(std::unique_ptr<State>& Impl, ByteSink& PlainOut, std::span<const std::uint8_t> Key,
                      std::size_t ContextCapacity, const CryptoBackend& Backend) noexcept {
    Impl = detail::MakeState<State>();
    if (!Impl) return Failure(Error::OutOfMemory);
    auto& S = *Impl;
    S.Sink = &PlainOut;
    S.Backend = &Backend;
    if (!S.Sealed.Allocate(SealedChunkSize) || !S.Plain.Allocate(ChunkSize) || !S.Context.Allocate(ContextCapacity))
      return S.Fail(Failure(Error::OutOfMemory));
    if (Key.size() != AeadKeySize) return S.Fail(Failure(Error::MalformedKey));
    std::memcpy(S.InputKey.Data(), Key.data(), AeadKeySize);
    return Success();
  }

  Status Fail(Status Result) noexcept {
    Sticky = Result;
    InputKey.Clear();
    Keys.Clear();
    Cipher.reset();
    return Result;
  }

  Status TakeFileHeader(std::span<const std::uint8_t>& Data) noexcept {
    std::size_t Take = std::min(HeaderSize - HeaderFill, Data.size());
    std::memcpy(Header.data() + HeaderFill, Data.data(), Take);
    HeaderFill += Take;
    Data = Data.subspan(Take);
    Status Checked = CheckHeader(std::span<const std::uint8_t>(Header.data(), HeaderFill));
    if (HeaderFill < HeaderSize) return Checked.Code == Error::TruncatedHeader ? Success() : Checked;
    if (!Checked.Ok()) return Checked;
    // The header is the key derivation's context.
    std::memcpy(Context.Data(), Header.data(), HeaderSize);
    ContextSize = HeaderSize;
    Now = Phase::MessageHeader;
    return Success();
  }

  Status TakeMessageHeader(std::span<const std::uint8_t>& Data) noexcept {
    std::size_t Take = std::min(MessageHeaderSize - MessageHeaderFill, Data.size());
    std::memcpy(MessageHeader.data() + MessageHeaderFill, Data.data(), Take);
    MessageHeaderFill += Take;
    Data = Data.subspan(Take);
    if (MessageHeaderFill < MessageHeaderSize) return Success();
    auto Salt = std::span<const std::uint8_t, SaltSize>(MessageHeader.data(), SaltSize);
    auto Commitment = std::span<const std::uint8_t, CommitmentSize>(MessageHeader.data() + SaltSize, CommitmentSize);
    Status Derived = DeriveMessageKeys(*Backend, InputKey.Span(), Salt, Context.First(ContextSize), Keys);
    InputKey.Clear();
    if (!Derived.Ok()) return Derived;
    if (!CommitmentsEqual(Keys.Commitment.Span(), Commitment)) return Failure(Error::WrongKey);
    if (Status Made = Backend->NewChunkCipher(Keys.AeadKey.Span(), Cipher); !Made.Ok()) return Made;
    Now = Phase::Chunks;
    return Success();
  }

  Status OpenChunk(std::span<const std::uint8_t> Chunk) noexcept {
    if (ChunkIndex >= MaxChunkCount) return Failure(Error::MessageTooLong);
    std::size_t PlainSize = Chunk.size() - TagSize;
    if (!Cipher->Open(ChunkNonce(Keys.BaseNonce.Span(), ChunkIndex), Chunk, Plain.First(PlainSize)))
      return Failure(Error::DamagedData, ChunkPlaintextOffset(ChunkIndex));
    if (Status Written = Sink->Write(Plain.First(PlainSize)); !Written.Ok()) return Written;
    ++ChunkIndex;
    Delivered += PlainSize;
    return Success();
  }

  Status TakeChunks(std::span<const std::uint8_t>& Data) noexcept {
    while (!Data.empty()) {
      // A full chunk followed by more input is not the final one.
      if (SealedFill == SealedChunkSize) {
        if (Status Opened = OpenChunk(Sealed.First(SealedChunkSize)); !Opened.Ok()) return Opened;
        SealedFill = 0;
      }
      if (SealedFill == 0 && Data.size() > SealedChunkSize) {
        if (Status Opened = OpenChunk(Data.first(SealedChunkSize)); !Opened.Ok()) return Opened;
        Data = Data.subspan(SealedChunkSize);
        continue;
      }
      std::size_t Take = std::min(SealedChunkSize - SealedFill, Data.size());
      std::memcpy(Sealed.Data() + SealedFill, Data.data(), Take);
      SealedFill += Take;
      Data = Data.subspan(Take);
    }
    return Success();
  }
};

StreamReader::StreamReader() noexcept = default;
StreamReader::~StreamReader() = default;
StreamReader::StreamReader(StreamReader&&) noexcept = default;
StreamReader& StreamReader::operator=(StreamReader&&) noexcept = default;

Status StreamReader::Start(ByteSink& PlainOut, std::span<const std::uint8_t> InputKey,
                           const CryptoBackend& Backend) noexcept {
  return State::Begin(Impl, PlainOut, InputKey, HeaderSize, Backend);
}

Status StreamReader::StartMessage(ByteSink& PlainOut, std::span<const std::uint8_t> InputKey,
                                  std::span<const std::uint8_t> Context, const CryptoBackend& Backend) noexcept {
  if (Status Begun = State::Begin(Impl, PlainOut, InputKey, Context.size(), Backend); !Begun.Ok()) return Begun;
  if (!Context.empty()) std::memcpy(Impl->Context.Data(), Context.data(), Context.size());
  Impl->ContextSize = Context.size();
  Impl->Now = Phase::MessageHeader;
  return Success();
}

Status StreamReader::Write(std::span<const std::uint8_t> Sealed) noexcept {
  if (!Impl || Impl->Now == Phase::Done) return Failure(Error::NotOpen);
  auto& S = *Impl;
  if (!S.Sticky.Ok()) return S.Sticky;
  while (!Sealed.empty()) {
    Status Taken;
    switch (S.Now) {
      case Phase::FileHeader: Taken = S.TakeFileHeader(Sealed); break;
      case Phase::MessageHeader: Taken = S.TakeMessageHeader(Sealed); break;
      case Phase::Chunks: Taken = S.TakeChunks(Sealed); break;
      case Phase::Done: Taken = Failure(Error::NotOpen); break;
    }
    if (!Taken.Ok()) return S.Fail(Taken);
  }
  return Success();
}

Status StreamReader::Finish() noexcept {
  if (!Impl || Impl->Now == Phase::Done) return Failure(Error::NotOpen);
  auto& S = *Impl;
  if (!S.Sticky.Ok()) return S.Sticky;
  if (S.Now == Phase::FileHeader || S.Now == Phase::MessageHeader) return S.Fail(Failure(Error::TruncatedHeader));
  if (S.SealedFill == SealedChunkSize) {
    // A full chunk cannot be the last: pass it on if it is authentic, then report the missing end.
    if (Status Opened = S.OpenChunk(S.Sealed.First(SealedChunkSize)); !Opened.Ok()) return S.Fail(Opened);
    S.SealedFill = 0;
    return S.Fail(Failure(Error::TruncatedData, ChunkPlaintextOffset(S.ChunkIndex)));
  }
  if (S.SealedFill < TagSize) return S.Fail(Failure(Error::TruncatedData, ChunkPlaintextOffset(S.ChunkIndex)));
  if (Status Opened = S.OpenChunk(S.Sealed.First(S.SealedFill)); !Opened.Ok()) return S.Fail(Opened);
  S.Keys.Clear();
  S.Cipher.reset();
  S.Now = Phase::Done;
  return Success();
}

std::uint64_t StreamReader::PlaintextSize() const noexcept { return Impl ? Impl->Delivered : 0; }

}  // namespace kuz
