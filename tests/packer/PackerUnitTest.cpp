// kuzpack's parts that the end-to-end script cannot reach well: the option table and the
// write-behind sink's ordering and error passing.
#include <gtest/gtest.h>

#include <iterator>

#include "Options.h"
#include "WriteBehind.h"

namespace kuzpack {
namespace {

struct OptionCase {
  std::vector<std::string> Args;
  bool Accepted;
  Command Action;
  std::string Input, Output;
  bool Force;
  std::string KeyFile, KeyText;
  std::string ErrorPart;
};

class OptionTable : public testing::TestWithParam<OptionCase> {};

TEST_P(OptionTable, ParsesOrExplains) {
  const OptionCase& C = GetParam();
  Options Parsed;
  std::string Error;
  ASSERT_EQ(ParseOptions(C.Args, Parsed, Error), C.Accepted) << Error;
  if (!C.Accepted) {
    EXPECT_NE(Error.find(C.ErrorPart), std::string::npos) << Error;
    return;
  }
  EXPECT_EQ(Parsed.Action, C.Action);
  EXPECT_EQ(Parsed.Input, C.Input);
  EXPECT_EQ(Parsed.Output, C.Output);
  EXPECT_EQ(Parsed.Force, C.Force);
  EXPECT_EQ(Parsed.KeyFile.value_or(""), C.KeyFile);
  EXPECT_EQ(Parsed.KeyText.value_or(""), C.KeyText);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptionTable,
    testing::Values(
        OptionCase{{"encrypt", "a", "b"}, true, Command::Encrypt, "a", "b", false, "", "", ""},
        OptionCase{{"--force", "decrypt", "a", "b", "--key-file", "k"}, true, Command::Decrypt, "a", "b", true, "k", "", ""},
        OptionCase{{"-f", "--key=00", "verify", "x.kuz"}, true, Command::Verify, "x.kuz", "", true, "", "00", ""},
        OptionCase{{"info", "--", "-odd name.kuz"}, true, Command::Info, "-odd name.kuz", "", false, "", "", ""},
        OptionCase{{"keygen"}, true, Command::Keygen, "", "", false, "", "", ""},
        OptionCase{{"verify", "x", "--help"}, true, Command::Help, "", "", false, "", "", ""},
        OptionCase{{}, false, Command::Help, "", "", false, "", "", "no command"},
        OptionCase{{"encrypt", "a"}, false, Command::Help, "", "", false, "", "", "takes two files"},
        OptionCase{{"keygen", "a"}, false, Command::Help, "", "", false, "", "", "takes no files"},
        OptionCase{{"pack", "a", "b"}, false, Command::Help, "", "", false, "", "", "unknown command pack"},
        OptionCase{{"-x", "info", "a"}, false, Command::Help, "", "", false, "", "", "unknown option -x"},
        OptionCase{{"info", "a", "--key-file"}, false, Command::Help, "", "", false, "", "", "needs a value"},
        OptionCase{{"--key-file", "a", "--key-file=b", "info", "c"}, false, Command::Help, "", "", false, "", "", "given twice"},
        OptionCase{{"--key-file", "a", "--key", "b", "verify", "c"}, false, Command::Help, "", "", false, "", "", "not both"}));

class RecordingSink final : public kuz::ByteSink {
 public:
  kuz::Status Write(std::span<const std::uint8_t> Data) noexcept override {
    if (RefuseAfter >= 0 && Calls++ >= RefuseAfter) return kuz::Failure(kuz::Error::WriteFailed);
    Bytes.insert(Bytes.end(), Data.begin(), Data.end());
    return kuz::Success();
  }
  std::vector<std::uint8_t> Bytes;
  int RefuseAfter = -1;
  int Calls = 0;
};

TEST(WriteBehind, PassesEverythingOnInOrder) {
  std::vector<std::uint8_t> Data(1000003);
  for (std::size_t I = 0; I < Data.size(); ++I) Data[I] = static_cast<std::uint8_t>(I * 131 + I / 4096);
  RecordingSink Target;
  WriteBehind Behind(Target, 4096);
  // Pieces smaller than, as large as and larger than the buffer.
  const std::size_t Pieces[] = {1, 4095, 4096, 10000, 333};
  std::size_t Done = 0;
  for (std::size_t I = 0; Done < Data.size(); ++I) {
    std::size_t Take = std::min(Pieces[I % std::size(Pieces)], Data.size() - Done);
    ASSERT_TRUE(Behind.Write(std::span(Data).subspan(Done, Take)).Ok());
    Done += Take;
  }
  ASSERT_TRUE(Behind.Finish().Ok());
  EXPECT_EQ(Target.Bytes, Data);
}

TEST(WriteBehind, ReportsTheTargetsFirstError) {
  RecordingSink Target;
  Target.RefuseAfter = 2;
  WriteBehind Behind(Target, 1000);
  std::vector<std::uint8_t> Data(1000, 1);
  kuz::Status Result;
  for (int I = 0; I < 20 && Result.Ok(); ++I) Result = Behind.Write(Data);
  if (Result.Ok()) Result = Behind.Finish();
  EXPECT_EQ(Result, kuz::Failure(kuz::Error::WriteFailed));
  EXPECT_EQ(Behind.Finish(), kuz::Failure(kuz::Error::WriteFailed));
  EXPECT_EQ(Target.Bytes.size(), 2000u);  // the two accepted buffers, nothing after
}

TEST(WriteBehind, DestroyedUnfinishedItStopsWithoutWritingTheRest) {
  RecordingSink Target;
  {
    WriteBehind Behind(Target, 1000);
    std::vector<std::uint8_t> Data(500, 1);
    ASSERT_TRUE(Behind.Write(Data).Ok());
  }
  EXPECT_TRUE(Target.Bytes.empty());
}

}  // namespace
}  // namespace kuzpack
