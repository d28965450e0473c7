// Files written by kuzpack with each backend (tests/data/interop: OpenSSL natively, CNG under
// Wine) are read by the backend built here, and the backend here writes the same bytes again.
#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "kuz/KeyText.h"
#include "kuz/Reader.h"
#include "kuz/Writer.h"

#if defined(_WIN32)
#include "kuz/Win32File.h"
#else
#include "kuz/PosixFile.h"
#endif

namespace kuz::test {
namespace {

const std::filesystem::path Folder = std::filesystem::path(KUZ_TEST_DATA) / "interop";

struct Fixture {
  const char* Name;
  std::size_t PlainSize;  // a prefix of plain.bin
};

class WrittenByEachBackend : public testing::TestWithParam<Fixture> {
 protected:
  void SetUp() override {
    Bytes KeyText = ReadFile(Folder / "key.txt");
    ASSERT_TRUE(ParseKeyText(std::string(KeyText.begin(), KeyText.end()), Key).Ok());
    Plain = ReadFile(Folder / "plain.bin");
    Plain.resize(GetParam().PlainSize);
    File = ReadFile(Folder / GetParam().Name);
  }
  InputKey Key;
  Bytes Plain, File;
};

TEST_P(WrittenByEachBackend, ReadsBackThroughTheFileAdapter) {
  std::unique_ptr<ByteSource> Source;
  const auto Path = Folder / GetParam().Name;
#if defined(_WIN32)
  ASSERT_TRUE(OpenWin32File(Path.c_str(), Source).Ok());
#else
  ASSERT_TRUE(OpenPosixFile(Path.c_str(), Source).Ok());
#endif
  Reader Written;
  ASSERT_TRUE(Written.Open(std::move(Source)).Ok());
  ASSERT_TRUE(Written.SetKey(Key.Bytes()).Ok());
  Bytes Out(Written.PlaintextSize());
  std::size_t Count = 0;
  ASSERT_TRUE(Written.Read(0, Out, Count).Ok());
  EXPECT_EQ(Count, Plain.size());
  EXPECT_EQ(Out, Plain);
}

TEST_P(WrittenByEachBackend, TheSameSaltGivesTheSameBytesHere) {
  ASSERT_GT(File.size(), FirstChunkOffset);
  auto Salt = std::span<const std::uint8_t, SaltSize>(File.data() + HeaderSize, SaltSize);
  VectorSink Sink;
  Sink.Bytes.assign(FileHeader.begin(), FileHeader.end());
  StreamWriter Writer;
  ASSERT_TRUE(Writer.StartMessageWithSalt(Sink, Key.Bytes(), FileHeader, Salt).Ok());
  ASSERT_TRUE(Writer.Write(Plain).Ok());
  ASSERT_TRUE(Writer.Finish().Ok());
  EXPECT_EQ(Sink.Bytes, File);
}

INSTANTIATE_TEST_SUITE_P(Files, WrittenByEachBackend,
                         testing::Values(Fixture{"openssl.kuz", 40000}, Fixture{"cng.kuz", 40000},
                                         Fixture{"openssl-32768.kuz", 32768}, Fixture{"cng-32768.kuz", 32768}),
                         [](const auto& Info) {
                           std::string Name = Info.param.Name;
                           for (char& C : Name)
                             if (!std::isalnum(static_cast<unsigned char>(C))) C = '_';
                           return Name;
                         });

}  // namespace
}  // namespace kuz::test
