// libFuzzer target for the readers. The first input byte picks the mode:
//
//  even: a message the fuzzer controls is encrypted with a fixed key, changed by up to four
//        edits the input describes (flip, cut, insert, repeat a chunk), then read by both
//        readers. Oracle: every byte they hand out equals the original plaintext at its offset,
//        an authenticated length is the original length, and an unchanged file reads in full.
//  odd:  the rest is a file read with the fixed key; with bit 1 set, after a valid header,
//        salt and commitment, so the chunk and length checks get the fuzzer's bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "kuz/KeyText.h"
#include "kuz/Message.h"
#include "kuz/Reader.h"
#include "kuz/StreamReader.h"
#include "kuz/Writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t Key[16] = {0x4b, 0x55, 0x5a, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
constexpr std::uint8_t Salt[kuz::SaltSize] = {7};

// A broken promise of the readers: says which, then stops the run.
void Require(bool Condition, int Line) {
  if (Condition) return;
  std::fprintf(stderr, "reader fuzz: check on line %d failed\n", Line);
  std::abort();
}

Bytes Encrypt(std::span<const std::uint8_t> Plain) {
  kuz::MemorySink Sink;
  Sink.Bytes.assign(kuz::FileHeader.begin(), kuz::FileHeader.end());
  kuz::StreamWriter Writer;
  Require(Writer.StartMessageWithSalt(Sink, Key, kuz::FileHeader, Salt).Ok(), __LINE__);
  Require(Writer.Write(Plain).Ok(), __LINE__);
  Require(Writer.Finish().Ok(), __LINE__);
  return std::move(Sink.Bytes);
}

bool MatchesPlain(std::span<const std::uint8_t> Got, std::uint64_t Offset, std::span<const std::uint8_t> Plain) {
  if (Got.empty()) return true;
  return Offset <= Plain.size() && Got.size() <= Plain.size() - Offset &&
         std::equal(Got.begin(), Got.end(), Plain.begin() + static_cast<std::ptrdiff_t>(Offset));
}

// Reads File both ways; Plain is what any authenticated byte must be (empty: anything goes).
void ReadBothWays(std::span<const std::uint8_t> File, std::span<const std::uint8_t> Plain, bool Oracle,
                  bool Unchanged, std::span<const std::uint8_t> Steering) {
  kuz::Reader Random;
  kuz::Status Result = Random.Open(std::make_unique<kuz::MemorySource>(File));
  if (Result.Ok()) Result = Random.SetKey(Key);
  if (Unchanged) Require(Result.Ok(), __LINE__);
  if (Result.Ok()) {
    const std::uint64_t Size = Random.PlaintextSize();
    if (Oracle) Require(Size == Plain.size(), __LINE__);
    Bytes Out(std::min<std::uint64_t>(Size + 17, 1 << 20));
    std::size_t Count = 0;
    kuz::Status Read = Random.Read(0, Out, Count);
    if (Oracle) Require(MatchesPlain(std::span(Out).first(Count), 0, Plain), __LINE__);
    if (Unchanged) Require(Read.Ok() && Count == Plain.size(), __LINE__);
    // A few ranges the input chooses.
    for (std::size_t I = 0; I + 4 <= Steering.size() && I < 32; I += 4) {
      std::uint64_t Offset = (Steering[I] | Steering[I + 1] << 8 | Steering[I + 2] << 16) % (Size + 2);
      std::size_t Length = std::min<std::size_t>(Steering[I + 3] * 300u, Out.size());
      Read = Random.Read(Offset, std::span(Out).first(Length), Count);
      Require(Count <= Length, __LINE__);
      if (Oracle) Require(MatchesPlain(std::span(Out).first(Count), Offset, Plain), __LINE__);
      if (Unchanged) Require(Read.Ok(), __LINE__);
    }
  }

  kuz::MemorySink Sink;
  kuz::StreamReader Stream;
  Result = Stream.Start(Sink, Key);
  std::size_t Piece = Steering.empty() ? File.size() : 1 + Steering[0] * 97u;
  for (std::size_t Done = 0; Result.Ok() && Done < File.size(); Done += Piece)
    Result = Stream.Write(File.subspan(Done, std::min(Piece, File.size() - Done)));
  if (Result.Ok()) Result = Stream.Finish();
  if (Oracle) Require(MatchesPlain(Sink.Bytes, 0, Plain), __LINE__);
  if (Unchanged) Require(Result.Ok() && Sink.Bytes.size() == Plain.size(), __LINE__);
  if (!Result.Ok()) Require(Stream.Finish() == Result, __LINE__);
}

void FuzzEditedMessage(std::span<const std::uint8_t> Input) {
  if (Input.size() < 3) return;
  std::size_t PlainSize = (Input[0] | Input[1] << 8) * 7u % 70000;
  std::size_t Edits = Input[2] % 5;
  Input = Input.subspan(3);
  std::span<const std::uint8_t> EditBytes = Input.first(std::min(Input.size(), Edits * 4));
  std::span<const std::uint8_t> Rest = Input.subspan(EditBytes.size());
  Bytes Plain(PlainSize);
  for (std::size_t I = 0; I < PlainSize; ++I) Plain[I] = Rest.empty() ? static_cast<std::uint8_t>(I * 31) : Rest[I % Rest.size()] ^ static_cast<std::uint8_t>(I >> 8);

  const Bytes Original = Encrypt(Plain);
  Bytes File = Original;
  for (std::size_t I = 0; I + 4 <= EditBytes.size(); I += 4) {
    std::size_t At = (EditBytes[I + 1] | EditBytes[I + 2] << 8 | (EditBytes[I] & 0xF0) << 12) % (File.size() + 1);
    std::uint8_t Value = EditBytes[I + 3];
    switch (EditBytes[I] & 3) {
      case 0: if (At < File.size()) File[At] ^= static_cast<std::uint8_t>(Value | 1); break;
      case 1: File.resize(At); break;
      case 2: File.insert(File.begin() + static_cast<std::ptrdiff_t>(At), Value); break;
      case 3: {
        // Repeat a whole chunk at another chunk's place.
        std::size_t Chunks = File.size() > kuz::FirstChunkOffset ? (File.size() - kuz::FirstChunkOffset) / kuz::SealedChunkSize : 0;
        if (Chunks == 0) break;
        std::size_t From = kuz::FirstChunkOffset + (Value % Chunks) * kuz::SealedChunkSize;
        std::size_t To = kuz::FirstChunkOffset + (At % Chunks) * kuz::SealedChunkSize;
        Bytes Chunk(File.begin() + static_cast<std::ptrdiff_t>(From), File.begin() + static_cast<std::ptrdiff_t>(From + kuz::SealedChunkSize));
        std::copy(Chunk.begin(), Chunk.end(), File.begin() + static_cast<std::ptrdiff_t>(To));
        break;
      }
    }
  }
  ReadBothWays(File, Plain, true, File == Original, Rest);
}

void FuzzRawFile(std::span<const std::uint8_t> Input, bool WithValidHeader) {
  Bytes File;
  if (WithValidHeader) {
    kuz::MessageKeys Keys;
    Require(kuz::DeriveMessageKeys(kuz::DefaultBackend(), Key, Salt, kuz::FileHeader, Keys).Ok(), __LINE__);
    File.assign(kuz::FileHeader.begin(), kuz::FileHeader.end());
    File.insert(File.end(), std::begin(Salt), std::end(Salt));
    File.insert(File.end(), Keys.Commitment.Data(), Keys.Commitment.Data() + kuz::CommitmentSize);
  }
  File.insert(File.end(), Input.begin(), Input.end());
  ReadBothWays(File, {}, false, false, Input.first(std::min<std::size_t>(Input.size(), 32)));
  // Key text parsing gets the same bytes.
  kuz::InputKey Parsed;
  kuz::Status Result = kuz::ParseKeyText(std::string_view(reinterpret_cast<const char*>(Input.data()), Input.size()), Parsed);
  Require(Result.Ok() != Parsed.Empty(), __LINE__);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0) return 0;
  std::span<const std::uint8_t> Input(Data + 1, Size - 1);
  if (Data[0] & 1)
    FuzzRawFile(Input, (Data[0] & 2) != 0);
  else
    FuzzEditedMessage(Input);
  return 0;
}
