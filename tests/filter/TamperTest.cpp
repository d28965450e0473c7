// Damaged and foreign files through the filter: each is refused at Load or SetKey with its own
// code, or, when the damage lies in the middle, every read that meets it fails and every other
// read returns the original bytes. No unauthenticated byte comes out either way.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "FilterFixtures.h"
#include "kuz/Format.h"

namespace {

const HRESULT FileCorrupt = HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
constexpr size_t Chunk = kuz::ChunkSize;
constexpr size_t Sealed = kuz::SealedChunkSize;
constexpr size_t First = kuz::FirstChunkOffset;
const size_t PlainSize = 5 * Chunk + 777;  // chunks 0..4 full, 5 short

using Bytes = std::vector<std::uint8_t>;

struct TamperCase {
  const char* Name;
  std::function<void(Bytes&)> Change;
  HRESULT LoadResult;
  HRESULT KeyResult;
  std::vector<size_t> BadChunks;  // chunks whose reads must fail once the key is taken
  const char* Key = TestKey;
};

void Flip(Bytes& File, size_t Offset) { File[Offset] ^= 0x01; }

Bytes SealedChunk(const Bytes& File, size_t Index) {
  return Bytes(File.begin() + First + Index * Sealed, File.begin() + First + (Index + 1) * Sealed);
}

void PutChunk(Bytes& File, size_t Index, const Bytes& Chunk) {
  std::copy(Chunk.begin(), Chunk.end(), File.begin() + First + Index * Sealed);
}

std::vector<TamperCase> Cases() {
  std::vector<TamperCase> All;
  for (size_t Byte = 0; Byte < 8; ++Byte)
    All.push_back({"HeaderByte", [Byte](Bytes& F) { Flip(F, Byte); }, VFW_E_INVALID_FILE_FORMAT, S_OK, {}});
  All.push_back({"Salt", [](Bytes& F) { Flip(F, 8 + 5); }, S_OK, NTE_BAD_KEY, {}});
  All.push_back({"Commitment", [](Bytes& F) { Flip(F, 32 + 31); }, S_OK, NTE_BAD_KEY, {}});
  All.push_back({"FirstChunkBody", [](Bytes& F) { Flip(F, First + 10); }, S_OK, FileCorrupt, {}});
  All.push_back({"MiddleChunkBody", [](Bytes& F) { Flip(F, First + 2 * Sealed + 9000); }, S_OK, S_OK, {2}});
  All.push_back({"MiddleChunkTag", [](Bytes& F) { Flip(F, First + 3 * Sealed + Chunk + 3); }, S_OK, S_OK, {3}});
  All.push_back({"FinalChunkTag", [](Bytes& F) { Flip(F, F.size() - 1); }, S_OK, FileCorrupt, {}});
  All.push_back({"TruncatedAtChunkEnd", [](Bytes& F) { F.resize(First + 5 * Sealed); }, S_OK, FileCorrupt, {}});
  All.push_back({"TruncatedInsideChunk", [](Bytes& F) { F.resize(First + 4 * Sealed + 100); }, S_OK, FileCorrupt, {}});
  All.push_back({"TruncatedInsideTag", [](Bytes& F) { F.resize(F.size() - 3); }, S_OK, FileCorrupt, {}});
  All.push_back({"ExtraChunk", [](Bytes& F) { const Bytes C = SealedChunk(F, 1); F.insert(F.end(), C.begin(), C.end()); },
                 S_OK, FileCorrupt, {}});
  All.push_back({"TrailingBytes", [](Bytes& F) { F.insert(F.end(), {1, 2, 3, 4, 5}); }, S_OK, FileCorrupt, {}});
  All.push_back({"ChunksSwapped",
                 [](Bytes& F) {
                   const Bytes One = SealedChunk(F, 1), Two = SealedChunk(F, 2);
                   PutChunk(F, 1, Two);
                   PutChunk(F, 2, One);
                 },
                 S_OK, S_OK, {1, 2}});
  All.push_back({"ChunkDuplicated", [](Bytes& F) { PutChunk(F, 3, SealedChunk(F, 2)); }, S_OK, S_OK, {3}});
  All.push_back({"WrongKey", [](Bytes&) {}, S_OK, NTE_BAD_KEY, {}, OtherKey});
  All.push_back({"Empty", [](Bytes& F) { F.clear(); }, FileCorrupt, S_OK, {}});
  return All;
}

TEST(FilterTamperTest, EachDamageIsRefusedAndNothingUnauthenticatedComesOut) {
  const Bytes Plain = Pattern(PlainSize, 11);
  const Bytes Good = ReadBytes(WriteKuz(L"tamper-source.kuz", Plain));
  int Index = 0;
  for (const TamperCase& Case : Cases()) {
    SCOPED_TRACE(testing::Message() << Case.Name << " #" << Index);
    Bytes File = Good;
    Case.Change(File);
    const std::wstring Path = TempPath(L"tamper-" + std::to_wstring(Index++) + L".kuz");
    WriteBytes(Path, File);

    TFilter Filter;
    ASSERT_EQ(CreateFilter(Filter), S_OK);
    ASSERT_EQ(Filter.File->Load(Path.c_str(), nullptr), Case.LoadResult);
    if (FAILED(Case.LoadResult)) continue;
    ASSERT_EQ(Filter.Control->SetKey(Case.Key), Case.KeyResult);
    ComPtr<IAsyncReader> Reader = ReaderOf(Filter);
    Bytes Buffer(Chunk);
    if (FAILED(Case.KeyResult)) {
      EXPECT_EQ(Reader->SyncRead(0, 16, Buffer.data()), NTE_NO_KEY);
      continue;
    }
    // Chunk by chunk: the damaged ones fail and are wiped, the others are the original.
    for (size_t C = 0; C * Chunk < PlainSize; ++C) {
      const LONG Length = static_cast<LONG>(std::min(Chunk, PlainSize - C * Chunk));
      std::fill(Buffer.begin(), Buffer.end(), 0xCC);
      const HRESULT Result = Reader->SyncRead(static_cast<LONGLONG>(C * Chunk), Length, Buffer.data());
      const bool Bad = std::find(Case.BadChunks.begin(), Case.BadChunks.end(), C) != Case.BadChunks.end();
      if (Bad) {
        EXPECT_EQ(Result, FileCorrupt) << "chunk " << C;
        EXPECT_TRUE(std::all_of(Buffer.begin(), Buffer.begin() + Length, [](std::uint8_t B) { return B == 0; }));
      } else {
        EXPECT_EQ(Result, S_OK) << "chunk " << C;
        EXPECT_EQ(std::memcmp(Buffer.data(), Plain.data() + C * Chunk, static_cast<size_t>(Length)), 0) << "chunk " << C;
      }
    }
    HRESULT Error = S_OK;
    LONGLONG Offset = -1;
    Filter.Control->GetDataError(&Error, &Offset);
    if (!Case.BadChunks.empty()) {
      EXPECT_EQ(Error, FileCorrupt);
      EXPECT_EQ(Offset, static_cast<LONGLONG>(Case.BadChunks.front() * Chunk)) << "the first failure is kept";
    }
  }
}

// The public test vectors of the scheme, each put behind a .kuz header. A .kuz file binds its
// header into the key derivation, which none of the vectors did: the filter must refuse every
// one of them, valid or not, before any chunk (at Load when too short, at SetKey otherwise).
TEST(FilterTamperTest, PublicVectorsBehindAHeaderAreAllRefused) {
  std::ifstream Table(KUZ_VECTORS_FILE);
  ASSERT_TRUE(Table.good()) << KUZ_VECTORS_FILE;
  int Count = 0;
  for (std::string Line; std::getline(Table, Line);) {
    std::istringstream Fields(Line);
    std::string Id, Result, Flags, Key, Context, Length, Hash, AeadKey, Nonce, Ciphertext;
    Fields >> Id >> Result >> Flags >> Key >> Context >> Length >> Hash >> AeadKey >> Nonce >> Ciphertext;
    SCOPED_TRACE("vector " + Id);
    Bytes File(kuz::FileHeader.begin(), kuz::FileHeader.end());
    if (Ciphertext != "-")
      for (size_t I = 0; I + 1 < Ciphertext.size(); I += 2) File.push_back(static_cast<std::uint8_t>(std::stoi(Ciphertext.substr(I, 2), nullptr, 16)));
    const std::wstring Path = TempPath(L"vector-" + std::wstring(Id.begin(), Id.end()) + L".kuz");
    WriteBytes(Path, File);
    ++Count;

    TFilter Filter;
    ASSERT_EQ(CreateFilter(Filter), S_OK);
    const HRESULT Loaded = Filter.File->Load(Path.c_str(), nullptr);
    if (File.size() < First) {
      EXPECT_EQ(Loaded, FileCorrupt);
      continue;
    }
    ASSERT_EQ(Loaded, S_OK);
    const HRESULT Keyed = Filter.Control->SetKey(Key.c_str());
    // Keys of the wrong size are malformed key text; every 16-byte key fails the commitment.
    EXPECT_EQ(Keyed, Key.size() == 32 ? NTE_BAD_KEY : E_INVALIDARG) << Key;
    BYTE Buffer[16];
    EXPECT_EQ(ReaderOf(Filter)->SyncRead(0, 16, Buffer), NTE_NO_KEY);
  }
  EXPECT_EQ(Count, 35);
}

}  // namespace
