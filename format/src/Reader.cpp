#include "kuz/Reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <mutex>

#include "Buffer.h"
#include "kuz/Message.h"

namespace kuz {

namespace {

constexpr std::uint64_t NoChunk = std::numeric_limits<std::uint64_t>::max();

// One decrypted, authenticated chunk.
struct CacheSlot {
  std::uint64_t Index = NoChunk;
  std::size_t Size = 0;
  std::uint64_t LastUse = 0;
  detail::ByteBuffer Plain;
};

}  // namespace

struct Reader::State {
  std::unique_ptr<ByteSource> Source;
  std::uint64_t MessageOffset = 0;  // where the salt starts
  detail::ByteBuffer Context;
  std::size_t ContextSize = 0;
  std::array<std::uint8_t, MessageHeaderSize> MessageHeader{};
  FileFacts Facts;

  mutable std::mutex Lock;
  bool Keyed = false;
  MessageKeys Keys;
  std::unique_ptr<ChunkCipher> Cipher;
  std::array<CacheSlot, CacheChunks> Cache;
  std::uint64_t UseClock = 0;
  detail::ByteBuffer Sealed;

  std::uint64_t ChunkAreaStart() const noexcept { return MessageOffset + MessageHeaderSize; }

  // A fresh state over Source with room for the context and the cache; replaces Impl.
  static Status Prepare(std::unique_ptr<State>& Impl, std::unique_ptr<ByteSource>& Source,
                        std::size_t ContextSize) noexcept {
    if (Impl) Impl->DropKey();
    Impl.reset();
    if (!Source) return Failure(Error::NotOpen);
    auto S = detail::MakeState<State>();
    if (!S) return Failure(Error::OutOfMemory);
    if (!S->Sealed.Allocate(SealedChunkSize) || !S->Context.Allocate(ContextSize)) return Failure(Error::OutOfMemory);
    for (auto& Slot : S->Cache)
      if (!Slot.Plain.Allocate(ChunkSize)) return Failure(Error::OutOfMemory);
    if (!Source->Size(S->Facts.FileSize).Ok()) return Failure(Error::ReadFailed);
    S->Source = std::move(Source);
    S->ContextSize = ContextSize;
    Impl = std::move(S);
    return Success();
  }

  void DescribeLayout() noexcept {
    Facts.LayoutStatus = ComputeLayout(Facts.FileSize - ChunkAreaStart(), Facts.Layout);
  }

  void DropKey() noexcept {
    Keyed = false;
    Keys.Clear();
    Cipher.reset();
    for (auto& Slot : Cache) {
      if (Slot.Index != NoChunk) SecureWipe(Slot.Plain.Data(), Slot.Size);
      Slot.Index = NoChunk;
      Slot.LastUse = 0;
    }
  }

  // The authenticated plaintext of chunk Index, from the cache or the source.
  Status LoadChunk(std::uint64_t Index, const CacheSlot*& Found) noexcept {
    CacheSlot* Victim = &Cache[0];
    for (auto& Slot : Cache) {
      if (Slot.Index == Index) {
        Slot.LastUse = ++UseClock;
        Found = &Slot;
        return Success();
      }
      if (Slot.LastUse < Victim->LastUse) Victim = &Slot;
    }
    const MessageLayout& Layout = Facts.Layout;
    std::size_t SealedSize = Index + 1 == Layout.ChunkCount ? Layout.FinalSealedSize : SealedChunkSize;
    Victim->Index = NoChunk;
    Victim->LastUse = 0;
    if (Status Got = Source->ReadAt(ChunkAreaStart() + ChunkAreaOffset(Index), Sealed.First(SealedSize)); !Got.Ok())
      return Failure(Error::ReadFailed);
    std::size_t PlainSize = SealedSize - TagSize;
    if (!Cipher->Open(ChunkNonce(Keys.BaseNonce.Span(), Index), Sealed.First(SealedSize), Victim->Plain.First(PlainSize)))
      return Failure(Error::DamagedData, ChunkPlaintextOffset(Index));
    Victim->Index = Index;
    Victim->Size = PlainSize;
    Victim->LastUse = ++UseClock;
    Found = Victim;
    return Success();
  }
};

Reader::Reader() noexcept = default;
Reader::~Reader() {
  if (Impl) Impl->DropKey();
}
Reader::Reader(Reader&&) noexcept = default;
Reader& Reader::operator=(Reader&& Other) noexcept {
  if (this != &Other) {
    if (Impl) Impl->DropKey();
    Impl = std::move(Other.Impl);
  }
  return *this;
}

Status Reader::Open(std::unique_ptr<ByteSource> Source) noexcept {
  if (Status Prepared = State::Prepare(Impl, Source, HeaderSize); !Prepared.Ok()) return Prepared;
  auto& S = *Impl;
  std::array<std::uint8_t, FirstChunkOffset> First{};
  std::size_t Available = static_cast<std::size_t>(std::min<std::uint64_t>(S.Facts.FileSize, First.size()));
  Status Result = S.Source->ReadAt(0, std::span<std::uint8_t>(First.data(), Available));
  if (!Result.Ok()) Result = Failure(Error::ReadFailed);
  if (Result.Ok()) Result = CheckHeader(std::span<const std::uint8_t>(First.data(), std::min(Available, HeaderSize)));
  if (Result.Ok() && Available < FirstChunkOffset) Result = Failure(Error::TruncatedHeader);
  if (!Result.Ok()) {
    Impl.reset();
    return Result;
  }
  std::memcpy(S.Context.Data(), First.data(), HeaderSize);
  std::memcpy(S.MessageHeader.data(), First.data() + HeaderSize, MessageHeaderSize);
  S.MessageOffset = HeaderSize;
  S.Facts.Version = First[HeaderSize - 1];
  S.DescribeLayout();
  return Success();
}

Status Reader::OpenMessage(std::unique_ptr<ByteSource> Source, std::span<const std::uint8_t> Context) noexcept {
  if (Status Prepared = State::Prepare(Impl, Source, Context.size()); !Prepared.Ok()) return Prepared;
  auto& S = *Impl;
  if (!Context.empty()) std::memcpy(S.Context.Data(), Context.data(), Context.size());
  Status Result = Success();
  if (S.Facts.FileSize < MessageHeaderSize) Result = Failure(Error::TruncatedHeader);
  if (Result.Ok() && !S.Source->ReadAt(0, S.MessageHeader).Ok()) Result = Failure(Error::ReadFailed);
  if (!Result.Ok()) {
    Impl.reset();
    return Result;
  }
  S.MessageOffset = 0;
  S.DescribeLayout();
  return Success();
}

Status Reader::SetKey(std::span<const std::uint8_t> InputKey, const CryptoBackend& Backend) noexcept {
  if (!Impl) return Failure(Error::NotOpen);
  auto& S = *Impl;
  std::lock_guard<std::mutex> Guard(S.Lock);
  S.DropKey();
  auto Salt = std::span<const std::uint8_t, SaltSize>(S.MessageHeader.data(), SaltSize);
  auto Commitment = std::span<const std::uint8_t, CommitmentSize>(S.MessageHeader.data() + SaltSize, CommitmentSize);
  Status Result = DeriveMessageKeys(Backend, InputKey, Salt, S.Context.First(S.ContextSize), S.Keys);
  // The commitment first: a wrong key never gets as far as a chunk.
  if (Result.Ok() && !CommitmentsEqual(S.Keys.Commitment.Span(), Commitment)) Result = Failure(Error::WrongKey);
  if (Result.Ok()) Result = S.Facts.LayoutStatus;
  if (Result.Ok()) Result = Backend.NewChunkCipher(S.Keys.AeadKey.Span(), S.Cipher);
  // The final chunk, authenticated at its own index, vouches for the length.
  const CacheSlot* Final = nullptr;
  if (Result.Ok()) Result = S.LoadChunk(S.Facts.Layout.ChunkCount - 1, Final);
  if (!Result.Ok()) {
    S.DropKey();
    return Result;
  }
  S.Keyed = true;
  return Success();
}

void Reader::ClearKey() noexcept {
  if (!Impl) return;
  std::lock_guard<std::mutex> Guard(Impl->Lock);
  Impl->DropKey();
}

bool Reader::HasKey() const noexcept {
  if (!Impl) return false;
  std::lock_guard<std::mutex> Guard(Impl->Lock);
  return Impl->Keyed;
}

FileFacts Reader::Facts() const noexcept { return Impl ? Impl->Facts : FileFacts{}; }

std::uint64_t Reader::PlaintextSize() const noexcept {
  if (!Impl) return 0;
  std::lock_guard<std::mutex> Guard(Impl->Lock);
  return Impl->Keyed ? Impl->Facts.Layout.PlaintextSize : 0;
}

Status Reader::Read(std::uint64_t Offset, std::span<std::uint8_t> Out, std::size_t& Count) noexcept {
  Count = 0;
  if (!Impl) return Failure(Error::NotOpen);
  auto& S = *Impl;
  std::lock_guard<std::mutex> Guard(S.Lock);
  if (!S.Keyed) return Failure(Error::NoKey);
  const std::uint64_t Size = S.Facts.Layout.PlaintextSize;
  if (Offset >= Size) return Success();
  std::size_t Wanted = static_cast<std::size_t>(std::min<std::uint64_t>(Out.size(), Size - Offset));
  while (Count < Wanted) {
    std::uint64_t Position = Offset + Count;
    const CacheSlot* Chunk = nullptr;
    if (Status Loaded = S.LoadChunk(Position / ChunkSize, Chunk); !Loaded.Ok()) return Loaded;
    std::size_t Within = static_cast<std::size_t>(Position % ChunkSize);
    std::size_t Take = std::min(Chunk->Size - Within, Wanted - Count);
    std::memcpy(Out.data() + Count, Chunk->Plain.Data() + Within, Take);
    Count += Take;
  }
  return Success();
}

}  // namespace kuz
