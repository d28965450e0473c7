#include <gtest/gtest.h>

#include <string_view>

#include "TestSupport.h"
#include "kuz/Message.h"

namespace kuz::test {
namespace {

std::span<const std::uint8_t> Text(std::string_view S) {
  return {reinterpret_cast<const std::uint8_t*>(S.data()), S.size()};
}

class Primitives : public testing::TestWithParam<const CryptoBackend*> {
 protected:
  const CryptoBackend& Backend() const { return *GetParam(); }
};

// Known answers: FIPS 180-2 ("abc") and RFC 4231 test case 2.
TEST_P(Primitives, HashAndHmacGiveTheirKnownAnswers) {
  EXPECT_EQ(Sha512Hex(Backend(), Text("abc")),
            "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
            "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
  std::uint8_t Mac[Sha512Size];
  const std::span<const std::uint8_t> Parts[] = {Text("what do ya "), Text(""), Text("want for nothing?")};
  ASSERT_TRUE(Backend().HmacSha512(Text("Jefe"), Parts, Mac));
  EXPECT_EQ(ToHex(Mac),
            "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
            "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737");
}

TEST_P(Primitives, HkdfExpandChainsBlocks) {
  const Bytes Prk = Pattern(16);
  const std::span<const std::uint8_t> Info[] = {Text("kuz "), Text("info")};
  Bytes Okm(150);
  ASSERT_TRUE(HkdfExpandSha512(Backend(), Prk, Info, Okm));
  // T(1) = HMAC(PRK, info || 1), T(2) = HMAC(PRK, T(1) || info || 2), T(3) likewise.
  Bytes Expected;
  Bytes Previous;
  for (std::uint8_t I = 1; I <= 3; ++I) {
    std::uint8_t Block[Sha512Size];
    const std::span<const std::uint8_t> Parts[] = {Previous, Text("kuz info"), {&I, 1}};
    ASSERT_TRUE(Backend().HmacSha512(Prk, Parts, Block));
    Previous.assign(Block, Block + Sha512Size);
    Expected.insert(Expected.end(), Block, Block + Sha512Size);
  }
  Expected.resize(150);
  EXPECT_EQ(ToHex(Okm), ToHex(Expected));
  Bytes TooLong(255 * Sha512Size + 1);
  EXPECT_FALSE(HkdfExpandSha512(Backend(), Prk, Info, TooLong));
}

TEST_P(Primitives, OnlySixteenByteInputKeysDeriveKeys) {
  const std::uint8_t Salt[SaltSize] = {};
  for (std::size_t Size : {0, 15, 17, 32}) {
    MessageKeys Keys;
    EXPECT_EQ(DeriveMessageKeys(Backend(), Pattern(Size), Salt, {}, Keys), Failure(Error::MalformedKey)) << Size;
  }
}

TEST_P(Primitives, ContextAndSaltChangeEveryDerivedKey) {
  std::uint8_t Salt[SaltSize] = {};
  MessageKeys Plain, OtherContext, OtherSalt;
  ASSERT_TRUE(DeriveMessageKeys(Backend(), TestKey(), Salt, FileHeader, Plain).Ok());
  auto Header = FileHeader;
  Header[7] = 2;
  ASSERT_TRUE(DeriveMessageKeys(Backend(), TestKey(), Salt, Header, OtherContext).Ok());
  Salt[23] = 1;
  ASSERT_TRUE(DeriveMessageKeys(Backend(), TestKey(), Salt, FileHeader, OtherSalt).Ok());
  for (const MessageKeys* Other : {&OtherContext, &OtherSalt}) {
    EXPECT_NE(ToHex(Plain.AeadKey.Span()), ToHex(Other->AeadKey.Span()));
    EXPECT_NE(ToHex(Plain.BaseNonce.Span()), ToHex(Other->BaseNonce.Span()));
    EXPECT_NE(ToHex(Plain.Commitment.Span()), ToHex(Other->Commitment.Span()));
  }
}

TEST_P(Primitives, ChunkCipherRefusesAnyChangedByteAndWipesItsOutput) {
  std::unique_ptr<ChunkCipher> Cipher;
  const std::uint8_t Key[AeadKeySize] = {1};
  ASSERT_TRUE(Backend().NewChunkCipher(Key, Cipher).Ok());
  const std::uint8_t Nonce[NonceSize] = {2};
  for (std::size_t Size : {0, 1, 100}) {
    Bytes Plain = Pattern(Size), Sealed(Size + TagSize), Out(Size);
    ASSERT_TRUE(Cipher->Seal(Nonce, Plain, Sealed));
    ASSERT_TRUE(Cipher->Open(Nonce, Sealed, Out));
    EXPECT_EQ(Out, Plain);
    for (std::size_t I = 0; I < Sealed.size(); ++I) {
      Bytes Changed = Sealed;
      Changed[I] ^= 0x01;
      Bytes Garbage(Size, 0xAA);
      EXPECT_FALSE(Cipher->Open(Nonce, Changed, Garbage)) << "size " << Size << ", byte " << I;
      EXPECT_EQ(Garbage, Bytes(Size, 0)) << "size " << Size << ", byte " << I;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, Primitives, testing::ValuesIn(AvailableBackends()), BackendName);

struct NonceCase {
  std::uint64_t Index;
  const char* Expected;  // XOR mask over the base nonce
};

class Nonce : public testing::TestWithParam<NonceCase> {};

TEST_P(Nonce, IsTheBaseXorTheBigEndianIndex) {
  const Bytes Base = Pattern(NonceSize);
  auto Got = ChunkNonce(std::span<const std::uint8_t, NonceSize>(Base.data(), NonceSize), GetParam().Index);
  Bytes Mask(NonceSize);
  for (std::size_t I = 0; I < NonceSize; ++I) Mask[I] = Got[I] ^ Base[I];
  EXPECT_EQ(ToHex(Mask), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Indexes, Nonce,
                         testing::Values(NonceCase{0, "000000000000000000000000"},
                                         NonceCase{1, "000000000000000000000001"},
                                         NonceCase{0xFF, "0000000000000000000000ff"},
                                         NonceCase{0x100, "000000000000000000000100"},
                                         NonceCase{262144, "000000000000000000040000"},
                                         NonceCase{MaxChunkCount - 1, "000000000000003fffffffff"}));

TEST(Commitment, ComparesEveryByte) {
  const Bytes A = Pattern(CommitmentSize);
  auto Span = [](const Bytes& B) { return std::span<const std::uint8_t, CommitmentSize>(B.data(), CommitmentSize); };
  EXPECT_TRUE(CommitmentsEqual(Span(A), Span(A)));
  for (std::size_t I : {0, 17, 31}) {
    Bytes B = A;
    B[I] ^= 0x80;
    EXPECT_FALSE(CommitmentsEqual(Span(A), Span(B))) << I;
  }
}

}  // namespace
}  // namespace kuz::test
