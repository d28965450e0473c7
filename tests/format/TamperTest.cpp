// Damaged, truncated and rearranged files made by the writer: each is refused with its own error,
// and no byte that was not authenticated comes out of either reader.
#include <gtest/gtest.h>

#include <functional>

#include "TestSupport.h"
#include "kuz/Message.h"
#include "kuz/Reader.h"
#include "kuz/StreamReader.h"

namespace kuz::test {
namespace {

// Two full chunks and a final one of 7232 plaintext bytes.
constexpr std::size_t PlainSize = 2 * ChunkSize + 7232;
constexpr std::size_t Chunk0 = FirstChunkOffset, Chunk1 = Chunk0 + SealedChunkSize, Final = Chunk1 + SealedChunkSize;

struct TamperCase {
  const char* Name;
  std::function<void(Bytes& File)> Change;
  Status RandomAccess;  // what Open, SetKey or reading everything ends with
  Status Streaming;
  bool WrongKey = false;
};

void Flip(Bytes& File, std::size_t At) { File.at(At) ^= 0x01; }

// A chunk sealed with the file's own keys for the chunk number after the final one.
Bytes SealExtraChunk(const CryptoBackend& Backend, const Bytes& File) {
  MessageKeys Keys;
  auto Salt = std::span<const std::uint8_t, SaltSize>(File.data() + HeaderSize, SaltSize);
  EXPECT_TRUE(DeriveMessageKeys(Backend, TestKey(), Salt, FileHeader, Keys).Ok());
  std::unique_ptr<ChunkCipher> Cipher;
  EXPECT_TRUE(Backend.NewChunkCipher(Keys.AeadKey.Span(), Cipher).Ok());
  Bytes Plain = Pattern(ChunkSize, 9), Sealed(SealedChunkSize);
  EXPECT_TRUE(Cipher->Seal(ChunkNonce(Keys.BaseNonce.Span(), 3), Plain, Sealed));
  return Sealed;
}

const CryptoBackend* CurrentBackend = nullptr;

std::vector<TamperCase> Cases() {
  auto Damaged = [](std::uint64_t Chunk) { return Failure(Error::DamagedData, Chunk * ChunkSize); };
  auto Truncated = [](std::uint64_t Chunk) { return Failure(Error::TruncatedData, Chunk * ChunkSize); };
  auto Resize = [](std::size_t Size) { return [Size](Bytes& File) { File.resize(Size); }; };
  std::vector<TamperCase> Table;
  for (std::size_t I = 0; I < HeaderSize; ++I) {
    Status Expected = Failure(I + 1 < HeaderSize ? Error::NotKuzFile : Error::UnsupportedVersion);
    Table.push_back({"header byte", [I](Bytes& File) { Flip(File, I); }, Expected, Expected});
  }
  Table.insert(Table.end(), {
      {"first salt byte", [](Bytes& F) { Flip(F, 8); }, Failure(Error::WrongKey), Failure(Error::WrongKey)},
      {"last salt byte", [](Bytes& F) { Flip(F, 31); }, Failure(Error::WrongKey), Failure(Error::WrongKey)},
      {"first commitment byte", [](Bytes& F) { Flip(F, 32); }, Failure(Error::WrongKey), Failure(Error::WrongKey)},
      {"last commitment byte", [](Bytes& F) { Flip(F, 63); }, Failure(Error::WrongKey), Failure(Error::WrongKey)},
      {"wrong key", [](Bytes&) {}, Failure(Error::WrongKey), Failure(Error::WrongKey), true},
      {"ciphertext of chunk 1", [](Bytes& F) { Flip(F, Chunk1 + 100); }, Damaged(1), Damaged(1)},
      {"tag of chunk 0", [](Bytes& F) { Flip(F, Chunk1 - 1); }, Damaged(0), Damaged(0)},
      {"ciphertext of the final chunk", [](Bytes& F) { Flip(F, Final + 10); }, Damaged(2), Damaged(2)},
      {"tag of the final chunk", [](Bytes& F) { Flip(F, F.size() - 1); }, Damaged(2), Damaged(2)},
      {"cut after chunk 1", Resize(Final), Truncated(2), Truncated(2)},
      {"cut after chunk 0", Resize(Chunk1), Truncated(1), Truncated(1)},
      {"cut after the commitment", Resize(Chunk0), Truncated(0), Truncated(0)},
      {"cut inside chunk 1", Resize(Chunk1 + 5000), Damaged(1), Damaged(1)},
      {"cut inside the tag of chunk 1", Resize(Chunk1 + 10), Truncated(1), Truncated(1)},
      {"cut inside the final chunk", Resize(Final + 7000), Damaged(2), Damaged(2)},
      {"cut inside the commitment", Resize(40), Failure(Error::TruncatedHeader), Failure(Error::TruncatedHeader)},
      {"cut inside the header", Resize(5), Failure(Error::TruncatedHeader), Failure(Error::TruncatedHeader)},
      {"empty file", Resize(0), Failure(Error::TruncatedHeader), Failure(Error::TruncatedHeader)},
      {"an extra valid chunk", [](Bytes& F) { Bytes E = SealExtraChunk(*CurrentBackend, F); F.insert(F.end(), E.begin(), E.end()); },
       Damaged(3), Damaged(2)},
      {"one trailing byte", [](Bytes& F) { F.push_back(0); }, Damaged(2), Damaged(2)},
      {"trailing bytes past a chunk boundary", [](Bytes& F) { F.resize(Final + SealedChunkSize + 5); }, Truncated(3),
       Damaged(2)},
      {"chunks 0 and 1 swapped",
       [](Bytes& F) { std::swap_ranges(F.begin() + Chunk0, F.begin() + Chunk1, F.begin() + Chunk1); }, Damaged(0),
       Damaged(0)},
      {"chunk 0 duplicated over chunk 1", [](Bytes& F) { std::copy(F.begin() + Chunk0, F.begin() + Chunk1, F.begin() + Chunk1); },
       Damaged(1), Damaged(1)},
  });
  return Table;
}

class Tamper : public testing::TestWithParam<const CryptoBackend*> {
 protected:
  void SetUp() override { CurrentBackend = GetParam(); }
};

bool IsPlaintextPrefix(const Bytes& Out, const Bytes& Plain) {
  return Out.size() <= Plain.size() && std::equal(Out.begin(), Out.end(), Plain.begin());
}

TEST_P(Tamper, EachChangeIsRefusedWithItsOwnErrorAndNothingUnauthenticatedComesOut) {
  const CryptoBackend& Backend = *GetParam();
  const Bytes Plain = Pattern(PlainSize);
  const Bytes Original = EncryptFile(Backend, Plain);
  ASSERT_EQ(Original.size(), Final + 7232 + TagSize);
  const Bytes OtherKey = Pattern(16, 99);
  for (const TamperCase& Case : Cases()) {
    SCOPED_TRACE(Case.Name);
    Bytes File = Original;
    Case.Change(File);
    std::span<const std::uint8_t> Key = Case.WrongKey ? std::span<const std::uint8_t>(OtherKey) : TestKey();

    // Random access: the error comes from Open, SetKey or the read of everything.
    Reader Random;
    Status Result = Random.Open(std::make_unique<MemorySource>(File));
    if (Result.Ok()) Result = Random.SetKey(Key, Backend);
    Bytes Out;
    if (Result.Ok()) {
      Out.resize(Random.PlaintextSize());
      std::size_t Count = 0;
      Result = Random.Read(0, Out, Count);
      Out.resize(Count);
    }
    EXPECT_EQ(Result.Code, Case.RandomAccess.Code) << ErrorName(Result.Code);
    EXPECT_EQ(Result.PlaintextOffset, Case.RandomAccess.PlaintextOffset);
    EXPECT_TRUE(IsPlaintextPrefix(Out, Plain));

    VectorSink Sink;
    StreamReader Stream;
    Result = Stream.Start(Sink, Key, Backend);
    if (Result.Ok()) Result = Stream.Write(File);
    if (Result.Ok()) Result = Stream.Finish();
    EXPECT_EQ(Result.Code, Case.Streaming.Code) << ErrorName(Result.Code);
    EXPECT_EQ(Result.PlaintextOffset, Case.Streaming.PlaintextOffset);
    EXPECT_TRUE(IsPlaintextPrefix(Sink.Bytes, Plain));
    if (Result.Code == Error::DamagedData || Result.Code == Error::TruncatedData) {
      EXPECT_EQ(Sink.Bytes.size(), Result.PlaintextOffset);
    } else {
      EXPECT_TRUE(Sink.Bytes.empty());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, Tamper, testing::ValuesIn(AvailableBackends()), BackendName);

}  // namespace
}  // namespace kuz::test
