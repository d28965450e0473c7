// Messages of failing result codes, and success codes passing unchanged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <dshow.h>

#include "DirectShowResult.h"

namespace {

// " ($", eight upper-case hexadecimal digits, ")." at the end of the message.
bool EndsWithHexCode(const std::string& Message) {
  if (Message.size() < 13) return false;
  const std::string Tail = Message.substr(Message.size() - 13);
  if (Tail.compare(0, 3, " ($") != 0 || Tail.compare(11, 2, ").") != 0) return false;
  for (char C : Tail.substr(3, 8))
    if (!((C >= '0' && C <= '9') || (C >= 'A' && C <= 'F'))) return false;
  return true;
}

TEST(CheckResultTest, FailingCodesRaiseWithTextAndHexCode) {
  const struct {
    HRESULT Code;
    const char* Suffix;
  } Cases[] = {
      {E_NOINTERFACE, " ($80004002)."},
      {REGDB_E_CLASSNOTREG, " ($80040154)."},
      {VFW_E_CANNOT_RENDER, " ($80040218)."},
      {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), " ($80070002)."},
      {static_cast<HRESULT>(0xC000A002), " ($C000A002)."},
      {static_cast<HRESULT>(0x80000000), " ($80000000)."},
      {static_cast<HRESULT>(0xFFFFFFFF), " ($FFFFFFFF)."},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Suffix);
    try {
      CheckResult(C.Code);
      ADD_FAILURE() << "no exception";
    } catch (const EDirectShowException& E) {
      EXPECT_EQ(E.ResultCode, C.Code);
      EXPECT_EQ(std::string(E.what()), ResultText(C.Code) + C.Suffix);
      EXPECT_TRUE(EndsWithHexCode(E.what())) << E.what();
    }
  }
}

TEST(CheckResultTest, SuccessCodesPassUnchanged) {
  for (HRESULT Code : {S_OK, S_FALSE, VFW_S_PARTIAL_RENDER, VFW_S_STATE_INTERMEDIATE,
                       static_cast<HRESULT>(0x7FFFFFFF)}) {
    EXPECT_EQ(CheckResult(Code), Code);
  }
}

TEST(ResultMessageTest, TextIsTakenLiterally) {
  EXPECT_EQ(ResultMessage("100% %s %n %x %%", E_FAIL), "100% %s %n %x %% ($80004005).");
  EXPECT_EQ(ResultMessage("", E_FAIL), " ($80004005).");
  EXPECT_EQ(ResultMessage("Unspecified error\r\n", E_FAIL), "Unspecified error\r\n ($80004005).");
}

TEST(ResultTextTest, IsTheErrorTextUpToItsFirstNul) {
  const std::string Text = ResultText(VFW_E_NOT_FOUND);
  EXPECT_LE(Text.size(), 255u);
  EXPECT_EQ(Text.find('\0'), std::string::npos);
  char Expected[256] = {};
  AMGetErrorTextA(VFW_E_NOT_FOUND, Expected, 255);
  EXPECT_EQ(Text, Expected);
}

}  // namespace
