// Files made by the streaming writer, read back by the streaming and the random-access reader.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "TestSupport.h"
#include "kuz/Reader.h"
#include "kuz/StreamReader.h"
#include "kuz/Writer.h"

namespace kuz::test {
namespace {

std::uint64_t ExpectedFileSize(std::uint64_t Plain) {
  return FirstChunkOffset + Plain / ChunkSize * SealedChunkSize + Plain % ChunkSize + TagSize;
}

Bytes StreamDecrypt(const CryptoBackend& Backend, std::span<const std::uint8_t> File, Status& Result) {
  VectorSink Sink;
  StreamReader Reader;
  Result = Reader.Start(Sink, TestKey(), Backend);
  if (Result.Ok()) Result = Reader.Write(File);
  if (Result.Ok()) Result = Reader.Finish();
  return std::move(Sink.Bytes);
}

class RoundTrip : public testing::TestWithParam<const CryptoBackend*> {
 protected:
  const CryptoBackend& Backend() const { return *GetParam(); }

  // A reader over File (kept alive by the caller) with the test key set.
  void OpenWithKey(Reader& File, std::span<const std::uint8_t> Bytes) {
    ASSERT_TRUE(File.Open(std::make_unique<MemorySource>(Bytes)).Ok());
    ASSERT_TRUE(File.SetKey(TestKey(), Backend()).Ok());
  }
};

TEST_P(RoundTrip, EverySizeComesBackExactly) {
  for (std::size_t Size : {0, 1, 15, 16, 16383, 16384, 16385, 32768, 50000}) {
    // Written in one piece, in odd pieces and, for small sizes, byte by byte.
    for (std::size_t Piece : {Size, std::size_t{1000}, std::size_t{1}}) {
      if (Piece == 1 && Size > 16385) continue;
      SCOPED_TRACE("size " + std::to_string(Size) + ", pieces of " + std::to_string(Piece));
      const Bytes Plain = Pattern(Size, static_cast<std::uint32_t>(Size));
      VectorSink Sink;
      StreamWriter Writer;
      ASSERT_TRUE(Writer.Start(Sink, TestKey(), Backend()).Ok());
      for (std::size_t Done = 0; Done < Size; Done += Piece)
        ASSERT_TRUE(Writer.Write(std::span(Plain).subspan(Done, std::min(Piece, Size - Done))).Ok());
      ASSERT_TRUE(Writer.Finish().Ok());
      EXPECT_EQ(Writer.PlaintextSize(), Size);
      const Bytes& File = Sink.Bytes;
      ASSERT_EQ(File.size(), ExpectedFileSize(Size));
      EXPECT_TRUE(std::equal(FileHeader.begin(), FileHeader.end(), File.begin()));

      Status Result;
      EXPECT_EQ(StreamDecrypt(Backend(), File, Result), Plain);
      EXPECT_TRUE(Result.Ok()) << ErrorName(Result.Code);

      Reader Random;
      OpenWithKey(Random, File);
      ASSERT_EQ(Random.PlaintextSize(), Size);
      EXPECT_EQ(Random.Facts().Layout.ChunkCount, Size / ChunkSize + 1);
      Bytes Back(Size + 1);
      std::size_t Count = 0;
      ASSERT_TRUE(Random.Read(0, Back, Count).Ok());
      ASSERT_EQ(Count, Size);
      Back.resize(Size);
      EXPECT_EQ(Back, Plain);
    }
  }
}

TEST_P(RoundTrip, RandomRangesMatchThePlaintext) {
  const Bytes Plain = Pattern(5 * ChunkSize + 777);
  const Bytes File = EncryptFile(Backend(), Plain);
  Reader Random;
  OpenWithKey(Random, File);
  std::mt19937_64 Choose(7);
  for (int I = 0; I < 300; ++I) {
    std::uint64_t Offset = Choose() % (Plain.size() + 100);
    Bytes Out(Choose() % (3 * ChunkSize));
    std::size_t Count = 0;
    ASSERT_TRUE(Random.Read(Offset, Out, Count).Ok());
    std::size_t Expected = Offset >= Plain.size() ? 0 : std::min<std::size_t>(Out.size(), Plain.size() - Offset);
    ASSERT_EQ(Count, Expected) << "offset " << Offset;
    EXPECT_TRUE(std::equal(Out.begin(), Out.begin() + Count, Plain.begin() + std::min<std::size_t>(Offset, Plain.size())));
  }
}

TEST_P(RoundTrip, ReadsTouchOnlyTheChunksTheyNeed) {
  const Bytes Plain = Pattern(20 * ChunkSize + 5);
  const Bytes File = EncryptFile(Backend(), Plain);
  std::uint64_t Calls = 0, BytesRead = 0;
  Reader Random;
  ASSERT_TRUE(Random.Open(std::make_unique<CountingSource>(File, &Calls, &BytesRead)).Ok());
  EXPECT_EQ(BytesRead, FirstChunkOffset);  // the header, no more
  ASSERT_TRUE(Random.SetKey(TestKey(), Backend()).Ok());
  EXPECT_EQ(BytesRead, FirstChunkOffset + 5 + TagSize);  // and the final chunk

  Bytes Out(100);
  std::size_t Count = 0;
  auto ReadsFor = [&](std::uint64_t Offset, std::size_t Size) {
    std::uint64_t Before = BytesRead;
    Out.resize(Size);
    EXPECT_TRUE(Random.Read(Offset, Out, Count).Ok());
    EXPECT_TRUE(std::equal(Out.begin(), Out.begin() + Count, Plain.begin() + Offset));
    return (BytesRead - Before) / SealedChunkSize;
  };
  EXPECT_EQ(ReadsFor(2 * ChunkSize + 10, 100), 1u);
  EXPECT_EQ(ReadsFor(2 * ChunkSize + 500, 100), 0u);  // cached
  EXPECT_EQ(ReadsFor(4 * ChunkSize - 50, 100), 2u);   // across a boundary
  // The cache is bounded: after CacheChunks other chunks, chunk 2 is read again.
  for (std::uint64_t Chunk = 5; Chunk < 5 + Reader::CacheChunks; ++Chunk) ReadsFor(Chunk * ChunkSize, 1);
  EXPECT_EQ(ReadsFor(2 * ChunkSize + 10, 100), 1u);
}

TEST_P(RoundTrip, SeveralThreadsReadAtOnce) {
  const Bytes Plain = Pattern(40 * ChunkSize + 123);
  const Bytes File = EncryptFile(Backend(), Plain);
  Reader Random;
  OpenWithKey(Random, File);
  std::atomic<int> Mismatches{0};
  std::vector<std::thread> Threads;
  for (unsigned T = 0; T < 4; ++T) {
    Threads.emplace_back([&, T] {
      std::mt19937_64 Choose(T);
      Bytes Out(20000);
      for (int I = 0; I < 200; ++I) {
        std::uint64_t Offset = Choose() % Plain.size();
        std::size_t Count = 0;
        if (!Random.Read(Offset, Out, Count).Ok() ||
            Count != std::min<std::size_t>(Out.size(), Plain.size() - Offset) ||
            !std::equal(Out.begin(), Out.begin() + Count, Plain.begin() + Offset))
          ++Mismatches;
      }
    });
  }
  for (auto& Thread : Threads) Thread.join();
  EXPECT_EQ(Mismatches.load(), 0);
}

TEST_P(RoundTrip, KeysCanBeClearedAndReplaced) {
  const Bytes Plain = Pattern(3 * ChunkSize);
  const Bytes File = EncryptFile(Backend(), Plain);
  Reader Random;
  OpenWithKey(Random, File);
  Bytes Out(10);
  std::size_t Count = 0;
  Random.ClearKey();
  EXPECT_FALSE(Random.HasKey());
  EXPECT_EQ(Random.PlaintextSize(), 0u);
  EXPECT_EQ(Random.Read(0, Out, Count), Failure(Error::NoKey));
  ASSERT_TRUE(Random.SetKey(TestKey(), Backend()).Ok());
  ASSERT_TRUE(Random.Read(0, Out, Count).Ok());
  // A failed SetKey drops the key that was there.
  EXPECT_EQ(Random.SetKey(Pattern(16), Backend()), Failure(Error::WrongKey));
  EXPECT_FALSE(Random.HasKey());
  EXPECT_EQ(Random.Read(0, Out, Count), Failure(Error::NoKey));
  EXPECT_EQ(Random.SetKey(Pattern(15), Backend()), Failure(Error::MalformedKey));
}

TEST_P(RoundTrip, AGivenSaltGivesReproducibleBytes) {
  const Bytes Plain = Pattern(20000);
  auto Encrypt = [&](std::uint8_t SaltByte) {
    std::uint8_t Salt[SaltSize];
    std::fill(std::begin(Salt), std::end(Salt), SaltByte);
    VectorSink Sink;
    StreamWriter Writer;
    EXPECT_TRUE(Writer.StartMessageWithSalt(Sink, TestKey(), FileHeader, Salt, Backend()).Ok());
    EXPECT_TRUE(Writer.Write(Plain).Ok());
    EXPECT_TRUE(Writer.Finish().Ok());
    return Sink.Bytes;
  };
  EXPECT_EQ(Encrypt(1), Encrypt(1));
  EXPECT_NE(Encrypt(1), Encrypt(2));
  // Random salts: two files of the same plaintext differ.
  EXPECT_NE(EncryptFile(Backend(), Plain), EncryptFile(Backend(), Plain));
}

class RefusingSink final : public ByteSink {
 public:
  Status Write(std::span<const std::uint8_t>) noexcept override { return Failure(Error::WriteFailed); }
};

TEST_P(RoundTrip, WriterErrorsAreStickyAndUseAfterFinishIsRefused) {
  RefusingSink Refusing;
  StreamWriter Failing;
  ASSERT_TRUE(Failing.Start(Refusing, TestKey(), Backend()).Ok());
  const Bytes Plain = Pattern(40 * ChunkSize);
  EXPECT_EQ(Failing.Write(Plain), Failure(Error::WriteFailed));
  EXPECT_EQ(Failing.Write(Plain), Failure(Error::WriteFailed));
  EXPECT_EQ(Failing.Finish(), Failure(Error::WriteFailed));

  StreamWriter Writer;
  EXPECT_EQ(Writer.Write(Plain), Failure(Error::NotOpen));
  VectorSink Sink;
  EXPECT_EQ(Writer.Start(Sink, Pattern(15), Backend()), Failure(Error::MalformedKey));
  ASSERT_TRUE(Writer.Start(Sink, TestKey(), Backend()).Ok());
  ASSERT_TRUE(Writer.Finish().Ok());
  EXPECT_EQ(Writer.Write(Plain), Failure(Error::NotOpen));
  EXPECT_EQ(Writer.Finish(), Failure(Error::NotOpen));
}

INSTANTIATE_TEST_SUITE_P(Backends, RoundTrip, testing::ValuesIn(AvailableBackends()), BackendName);

}  // namespace
}  // namespace kuz::test
