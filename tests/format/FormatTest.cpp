#include <gtest/gtest.h>

#include "TestSupport.h"
#include "kuz/Format.h"

#include <set>

namespace kuz::test {
namespace {

TEST(Header, TheSignatureAndVersionOneAreAccepted) { EXPECT_TRUE(CheckHeader(FileHeader).Ok()); }

TEST(Header, EachChangedSignatureByteMeansNotAKuzFile) {
  for (std::size_t I = 0; I + 1 < HeaderSize; ++I) {
    auto Bytes = FileHeader;
    Bytes[I] ^= 0x20;
    EXPECT_EQ(CheckHeader(Bytes), Failure(Error::NotKuzFile)) << "byte " << I;
  }
}

TEST(Header, OtherVersionsAreUnsupported) {
  for (std::uint8_t Version : {0, 2, 0x7F, 0xFF}) {
    auto Bytes = FileHeader;
    Bytes[HeaderSize - 1] = Version;
    EXPECT_EQ(CheckHeader(Bytes), Failure(Error::UnsupportedVersion)) << int(Version);
  }
}

TEST(Header, ShortInputIsTruncatedOnlyWhileItMatches) {
  for (std::size_t Size = 0; Size < HeaderSize; ++Size)
    EXPECT_EQ(CheckHeader(std::span(FileHeader).first(Size)), Failure(Error::TruncatedHeader)) << Size;
  const std::uint8_t Zip[] = {'P', 'K', 3, 4};
  EXPECT_EQ(CheckHeader(Zip), Failure(Error::NotKuzFile));
  const std::uint8_t Text[] = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};
  EXPECT_EQ(CheckHeader(Text), Failure(Error::NotKuzFile));
}

struct LayoutCase {
  std::uint64_t ChunkArea;
  Status Expected;
  std::uint64_t Chunks;
  std::uint64_t Plaintext;
};

class Layout : public testing::TestWithParam<LayoutCase> {};

TEST_P(Layout, FollowsFromTheSize) {
  const LayoutCase& C = GetParam();
  MessageLayout Got;
  ASSERT_EQ(ComputeLayout(C.ChunkArea, Got), C.Expected);
  if (!C.Expected.Ok()) return;
  EXPECT_EQ(Got.ChunkCount, C.Chunks);
  EXPECT_EQ(Got.PlaintextSize, C.Plaintext);
  EXPECT_EQ(ChunkAreaOffset(Got.ChunkCount - 1) + Got.FinalSealedSize, C.ChunkArea);
}

constexpr std::uint64_t Full = SealedChunkSize;
constexpr std::uint64_t MaxFull = MaxChunkCount - 1;  // full chunks before the last allowed final one

INSTANTIATE_TEST_SUITE_P(
    Sizes, Layout,
    testing::Values(LayoutCase{16, Success(), 1, 0}, LayoutCase{17, Success(), 1, 1},
                    LayoutCase{Full - 1, Success(), 1, ChunkSize - 1}, LayoutCase{Full + 16, Success(), 2, ChunkSize},
                    LayoutCase{3 * Full + 100, Success(), 4, 3 * ChunkSize + 84},
                    LayoutCase{0, Failure(Error::TruncatedData, 0), 0, 0},
                    LayoutCase{15, Failure(Error::TruncatedData, 0), 0, 0},
                    LayoutCase{Full, Failure(Error::TruncatedData, ChunkSize), 0, 0},
                    LayoutCase{2 * Full + 15, Failure(Error::TruncatedData, 2 * ChunkSize), 0, 0},
                    LayoutCase{MaxFull * Full + 16, Success(), MaxChunkCount, MaxFull * ChunkSize},
                    LayoutCase{MaxChunkCount * Full + 16, Failure(Error::MessageTooLong), 0, 0},
                    LayoutCase{UINT64_MAX, Failure(Error::MessageTooLong), 0, 0}));

TEST(Errors, EveryErrorHasItsOwnName) {
  std::set<std::string> Names;
  for (int Code = 0; Code <= static_cast<int>(Error::CryptoFailure); ++Code)
    Names.insert(ErrorName(static_cast<Error>(Code)));
  EXPECT_EQ(Names.size(), static_cast<std::size_t>(Error::CryptoFailure) + 1);
}

TEST(Errors, DescriptionsNameTheChunkOffset) {
  char Text[160];
  EXPECT_STREQ(DescribeStatus(Failure(Error::DamagedData, 5368709120), Text, sizeof Text),
               "damaged data: the chunk at plaintext offset 5368709120 failed authentication");
  EXPECT_STREQ(DescribeStatus(Failure(Error::TruncatedData, 16384), Text, sizeof Text),
               "truncated data: the data ends inside or before the chunk at plaintext offset 16384");
  char Small[8];
  EXPECT_STREQ(DescribeStatus(Failure(Error::WrongKey), Small, sizeof Small), "wrong k");
}

}  // namespace
}  // namespace kuz::test
