// The 35 Wycheproof vectors for Cobblestone-128, through the streaming reader and the
// random-access reader, for every crypto backend built in.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "TestSupport.h"
#include "kuz/Message.h"
#include "kuz/Reader.h"
#include "kuz/StreamReader.h"

namespace kuz::test {
namespace {

struct Vector {
  int Id = 0;
  bool Valid = false;
  std::set<std::string> Flags;
  Bytes Key, Context;
  std::optional<std::size_t> MessageLength;
  std::string MessageSha512;
  Bytes AeadKey, BaseNonce, Ciphertext;

  bool Has(const std::string& Flag) const { return Flags.count(Flag) != 0; }
};

std::vector<Vector> LoadVectors() {
  std::ifstream In(KUZ_VECTORS_FILE);
  if (!In) throw std::runtime_error("cannot open " KUZ_VECTORS_FILE);
  std::vector<Vector> Out;
  std::string Line;
  while (std::getline(In, Line)) {
    std::istringstream Fields(Line);
    std::string Id, Result, Flags, Key, Context, Length, Sha, AeadKey, BaseNonce, Ciphertext;
    Fields >> Id >> Result >> Flags >> Key >> Context >> Length >> Sha >> AeadKey >> BaseNonce >> Ciphertext;
    auto Hex = [](const std::string& Field) { return Field == "-" ? Bytes{} : FromHex(Field); };
    Vector V;
    V.Id = std::stoi(Id);
    V.Valid = Result == "valid";
    for (std::istringstream List(Flags == "-" ? "" : Flags); std::getline(List, Flags, ',');) V.Flags.insert(Flags);
    V.Key = Hex(Key);
    V.Context = Hex(Context);
    if (Length != "-") V.MessageLength = std::stoull(Length);
    V.MessageSha512 = Sha == "-" ? "" : Sha;
    V.AeadKey = Hex(AeadKey);
    V.BaseNonce = Hex(BaseNonce);
    V.Ciphertext = Hex(Ciphertext);
    Out.push_back(std::move(V));
  }
  return Out;
}

const std::vector<Vector>& Vectors() {
  static const std::vector<Vector> Loaded = LoadVectors();
  return Loaded;
}

bool IsHeaderError(Error Code) {
  return Code == Error::MalformedKey || Code == Error::WrongKey || Code == Error::TruncatedHeader;
}

class WycheproofVectors : public testing::TestWithParam<const CryptoBackend*> {
 protected:
  const CryptoBackend& Backend() const { return *GetParam(); }
};

TEST_P(WycheproofVectors, AllThirtyFiveAreThere) {
  ASSERT_EQ(Vectors().size(), 35u);
  std::size_t Valid = 0;
  for (const auto& V : Vectors()) Valid += V.Valid;
  EXPECT_EQ(Valid, 10u);
}

TEST_P(WycheproofVectors, KeyDerivationGivesTheListedKeysAndCommitment) {
  std::size_t Checked = 0;
  for (const auto& V : Vectors()) {
    if (V.AeadKey.empty() || V.Ciphertext.size() < MessageHeaderSize) continue;
    SCOPED_TRACE("tcId " + std::to_string(V.Id));
    MessageKeys Keys;
    auto Salt = std::span<const std::uint8_t, SaltSize>(V.Ciphertext.data(), SaltSize);
    ASSERT_TRUE(DeriveMessageKeys(Backend(), V.Key, Salt, V.Context, Keys).Ok());
    EXPECT_EQ(ToHex(Keys.AeadKey.Span()), ToHex(V.AeadKey));
    EXPECT_EQ(ToHex(Keys.BaseNonce.Span()), ToHex(V.BaseNonce));
    if (!V.Has("ModifiedCiphertext")) {
      EXPECT_EQ(ToHex(Keys.Commitment.Span()),
                ToHex(std::span<const std::uint8_t>(V.Ciphertext.data() + SaltSize, CommitmentSize)));
    }
    ++Checked;
  }
  EXPECT_EQ(Checked, 25u);
}

// Feeds the ciphertext in pieces of PieceSize (everything at once for 0).
Status Stream(const CryptoBackend& Backend, const Vector& V, std::size_t PieceSize, VectorSink& Sink) {
  StreamReader Reader;
  Status Result = Reader.StartMessage(Sink, V.Key, V.Context, Backend);
  std::span<const std::uint8_t> Rest = V.Ciphertext;
  while (Result.Ok() && !Rest.empty()) {
    std::size_t Take = PieceSize == 0 ? Rest.size() : std::min(PieceSize, Rest.size());
    Result = Reader.Write(Rest.first(Take));
    Rest = Rest.subspan(Take);
  }
  if (Result.Ok()) Result = Reader.Finish();
  if (!Result.Ok()) {
    // Once failed, it keeps failing with the same error.
    const std::uint8_t More = 0;
    EXPECT_EQ(Reader.Write({&More, 1}), Result);
    EXPECT_EQ(Reader.Finish(), Result);
    EXPECT_EQ(Reader.PlaintextSize(), Sink.Bytes.size());
  }
  return Result;
}

TEST_P(WycheproofVectors, Streaming) {
  for (const auto& V : Vectors()) {
    for (std::size_t Piece : {std::size_t{0}, std::size_t{997}}) {
      SCOPED_TRACE("tcId " + std::to_string(V.Id) + ", pieces of " + std::to_string(Piece));
      VectorSink Sink;
      Status Result = Stream(Backend(), V, Piece, Sink);
      if (V.Valid) {
        ASSERT_TRUE(Result.Ok()) << ErrorName(Result.Code);
        EXPECT_EQ(Sink.Bytes.size(), *V.MessageLength);
        EXPECT_EQ(Sha512Hex(Backend(), Sink.Bytes), V.MessageSha512);
        continue;
      }
      ASSERT_FALSE(Result.Ok());
      if (V.Has("HeaderFailure")) {
        EXPECT_TRUE(IsHeaderError(Result.Code)) << ErrorName(Result.Code);
      }
      if (V.Has("PartialPlaintext")) {
        // Exactly the valid prefix, and the failure is reported where it ends.
        EXPECT_EQ(Sink.Bytes.size(), *V.MessageLength);
        EXPECT_EQ(Sha512Hex(Backend(), Sink.Bytes), V.MessageSha512);
      } else {
        EXPECT_TRUE(Sink.Bytes.empty());
      }
      if (Result.Code == Error::DamagedData || Result.Code == Error::TruncatedData) {
        EXPECT_EQ(Result.PlaintextOffset, Sink.Bytes.size());
      }
    }
  }
}

TEST_P(WycheproofVectors, RandomAccess) {
  for (const auto& V : Vectors()) {
    SCOPED_TRACE("tcId " + std::to_string(V.Id));
    std::uint64_t Calls = 0, BytesRead = 0, HighestEnd = 0;
    Reader File;
    Status Result =
        File.OpenMessage(std::make_unique<CountingSource>(V.Ciphertext, &Calls, &BytesRead, &HighestEnd), V.Context);
    if (Result.Ok()) Result = File.SetKey(V.Key, Backend());
    if (V.Valid) {
      ASSERT_TRUE(Result.Ok()) << ErrorName(Result.Code);
      ASSERT_EQ(File.PlaintextSize(), *V.MessageLength);
      Bytes Whole(*V.MessageLength + 10);
      std::size_t Count = 0;
      ASSERT_TRUE(File.Read(0, Whole, Count).Ok());
      ASSERT_EQ(Count, *V.MessageLength);
      Whole.resize(Count);
      EXPECT_EQ(Sha512Hex(Backend(), Whole), V.MessageSha512);
      // Ranges across chunk boundaries agree with the whole read.
      for (std::uint64_t Offset : {std::uint64_t{0}, std::uint64_t{16380}, std::uint64_t{16384}, std::uint64_t{Count / 2}}) {
        Bytes Part(9);
        ASSERT_TRUE(File.Read(Offset, Part, Count).Ok());
        std::size_t Expected = std::min<std::size_t>(9, Whole.size() - std::min<std::size_t>(Offset, Whole.size()));
        ASSERT_EQ(Count, Expected);
        EXPECT_TRUE(std::equal(Part.begin(), Part.begin() + Count, Whole.begin() + Offset));
      }
      continue;
    }
    if (V.Has("HeaderFailure")) {
      ASSERT_FALSE(Result.Ok());
      EXPECT_TRUE(IsHeaderError(Result.Code)) << ErrorName(Result.Code);
      EXPECT_LE(HighestEnd, MessageHeaderSize);  // no chunk was read
      continue;
    }
    if (!Result.Ok()) continue;
    // Only a validly encrypted final chunk may authenticate the length; the rest must still fail.
    EXPECT_TRUE(V.Has("ValidFinalChunk"));
    Bytes Whole(File.PlaintextSize());
    std::size_t Count = 0;
    Status Read = File.Read(0, Whole, Count);
    EXPECT_EQ(Read.Code, Error::DamagedData);
    EXPECT_EQ(Read.PlaintextOffset, Count);
    if (V.Has("PartialPlaintext")) {
      ASSERT_EQ(Count, *V.MessageLength);
      Whole.resize(Count);
      EXPECT_EQ(Sha512Hex(Backend(), Whole), V.MessageSha512);
    } else {
      EXPECT_EQ(Count, 0u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, WycheproofVectors, testing::ValuesIn(AvailableBackends()), BackendName);

}  // namespace
}  // namespace kuz::test
