// A .kuz file over 4 GiB, through the platform's file adapter: only the chunks that are read are
// written, into a sparse file.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "kuz/Message.h"
#include "kuz/Reader.h"

#if defined(_WIN32)
#include "kuz/Win32File.h"
// After windows.h, which it needs.
#include <winioctl.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include "kuz/PosixFile.h"
#endif

namespace kuz::test {
namespace {

// Chunk 262144 starts at plaintext offset 4 GiB; the final chunk is number 300000.
constexpr std::uint64_t FourGiB = std::uint64_t{1} << 32;
constexpr std::uint64_t FirstAbove = FourGiB / ChunkSize;
constexpr std::uint64_t FinalChunk = 300000;
constexpr std::size_t FinalPlain = 100;

class SparseFile {
 public:
  explicit SparseFile(const std::filesystem::path& Path) : Path(Path) {
#if defined(_WIN32)
    File.Reset(CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!File.Valid()) throw std::runtime_error("cannot create " + Path.string());
    DWORD Ignored = 0;
    DeviceIoControl(File.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &Ignored, nullptr);
#else
    Fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (Fd < 0) throw std::runtime_error("cannot create " + Path.string());
#endif
  }
  ~SparseFile() {
#if !defined(_WIN32)
    close(Fd);
#endif
  }
  SparseFile(const SparseFile&) = delete;
  SparseFile& operator=(const SparseFile&) = delete;

  void WriteAt(std::uint64_t Offset, std::span<const std::uint8_t> Data) {
#if defined(_WIN32)
    OVERLAPPED At{};
    At.Offset = static_cast<DWORD>(Offset);
    At.OffsetHigh = static_cast<DWORD>(Offset >> 32);
    DWORD Written = 0;
    if (!WriteFile(File.Get(), Data.data(), static_cast<DWORD>(Data.size()), &Written, &At) || Written != Data.size())
      throw std::runtime_error("cannot write");
#else
    if (pwrite(Fd, Data.data(), Data.size(), static_cast<off_t>(Offset)) != static_cast<ssize_t>(Data.size()))
      throw std::runtime_error("cannot write");
#endif
  }

 private:
  std::filesystem::path Path;
#if defined(_WIN32)
  UniqueFileHandle File;
#else
  int Fd = -1;
#endif
};

Status OpenFile(const std::filesystem::path& Path, std::unique_ptr<ByteSource>& Source) {
#if defined(_WIN32)
  return OpenWin32File(Path.c_str(), Source);
#else
  return OpenPosixFile(Path.c_str(), Source);
#endif
}

TEST(LargeFile, ReadsAndErrorsPastFourGiBUseSixtyFourBitOffsets) {
  const CryptoBackend& Backend = DefaultBackend();
  TempFolder Folder;
  const auto Path = Folder.Path() / "large.kuz";
  std::uint8_t Salt[SaltSize] = {5};
  MessageKeys Keys;
  ASSERT_TRUE(DeriveMessageKeys(Backend, TestKey(), Salt, FileHeader, Keys).Ok());
  std::unique_ptr<ChunkCipher> Cipher;
  ASSERT_TRUE(Backend.NewChunkCipher(Keys.AeadKey.Span(), Cipher).Ok());
  auto Plain = [](std::uint64_t Chunk) { return Pattern(Chunk == FinalChunk ? FinalPlain : ChunkSize, static_cast<std::uint32_t>(Chunk)); };
  {
    SparseFile File(Path);
    File.WriteAt(0, FileHeader);
    File.WriteAt(HeaderSize, Salt);
    File.WriteAt(HeaderSize + SaltSize, Keys.Commitment.Span());
    for (std::uint64_t Chunk : {std::uint64_t{0}, FirstAbove, FirstAbove + 1, FinalChunk}) {
      Bytes Text = Plain(Chunk), Sealed(Text.size() + TagSize);
      ASSERT_TRUE(Cipher->Seal(ChunkNonce(Keys.BaseNonce.Span(), Chunk), Text, Sealed));
      File.WriteAt(FirstChunkOffset + ChunkAreaOffset(Chunk), Sealed);
    }
  }
  std::unique_ptr<ByteSource> Source;
  ASSERT_TRUE(OpenFile(Path, Source).Ok());
  Reader Large;
  ASSERT_TRUE(Large.Open(std::move(Source)).Ok());
  EXPECT_EQ(Large.Facts().FileSize, FirstChunkOffset + ChunkAreaOffset(FinalChunk) + FinalPlain + TagSize);
  ASSERT_TRUE(Large.SetKey(TestKey(), Backend).Ok());
  ASSERT_EQ(Large.PlaintextSize(), FinalChunk * ChunkSize + FinalPlain);

  // 20000 bytes from 4 GiB on: chunk 262144 and the start of 262145.
  Bytes Out(20000);
  std::size_t Count = 0;
  ASSERT_TRUE(Large.Read(FourGiB, Out, Count).Ok());
  ASSERT_EQ(Count, Out.size());
  Bytes Expected = Plain(FirstAbove);
  Bytes Next = Plain(FirstAbove + 1);
  Expected.insert(Expected.end(), Next.begin(), Next.begin() + (20000 - ChunkSize));
  EXPECT_EQ(Out, Expected);

  // A short read at the end of the data.
  ASSERT_TRUE(Large.Read(Large.PlaintextSize() - 30, Out, Count).Ok());
  ASSERT_EQ(Count, 30u);
  EXPECT_TRUE(std::equal(Out.begin(), Out.begin() + 30, Plain(FinalChunk).end() - 30));

  // A chunk that was never written (zeros) is damaged, reported at its 64-bit offset.
  Status Hole = Large.Read(FourGiB - 10, Out, Count);
  EXPECT_EQ(Hole, Failure(Error::DamagedData, (FirstAbove - 1) * ChunkSize));
  EXPECT_EQ(Count, 0u);
}

}  // namespace
}  // namespace kuz::test
