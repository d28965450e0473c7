#include <gtest/gtest.h>

#include "TestSupport.h"
#include "kuz/KeyText.h"

namespace kuz::test {
namespace {

constexpr const char* Expected = "00112233445566778899aabbccddeeff";

class AcceptedKeyText : public testing::TestWithParam<const char*> {};

TEST_P(AcceptedKeyText, GivesTheKey) {
  InputKey Key;
  ASSERT_TRUE(ParseKeyText(GetParam(), Key).Ok());
  ASSERT_FALSE(Key.Empty());
  EXPECT_EQ(ToHex(Key.Bytes()), Expected);
}

INSTANTIATE_TEST_SUITE_P(Forms, AcceptedKeyText,
                         testing::Values("00112233445566778899aabbccddeeff", "00112233445566778899AABBCCDDEEFF",
                                         "00112233445566778899aAbBcCdDeEfF",
                                         "00112233-4455-6677-8899-aabbccddeeff",
                                         "00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff",
                                         "0 0 1 1 2 2 3 3 4 4 5 5 6 6 7 7 8 8 9 9 a a b b c c d d e e f f",
                                         "0011 - 2233 --  44556677-8899aabbccddeeff",
                                         "  00112233445566778899aabbccddeeff\n",
                                         "\t\r\n00112233445566778899aabbccddeeff\r\n \t"));

class RefusedKeyText : public testing::TestWithParam<std::string> {};

TEST_P(RefusedKeyText, IsMalformedAndLeavesNoKey) {
  InputKey Key;
  ASSERT_TRUE(ParseKeyText(Expected, Key).Ok());
  EXPECT_EQ(ParseKeyText(GetParam(), Key), Failure(Error::MalformedKey));
  EXPECT_TRUE(Key.Empty());
  EXPECT_EQ(ToHex(Key.Bytes()), std::string(32, '0'));  // the old key is wiped, not kept
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RefusedKeyText,
    testing::Values("", "   \n", "00112233445566778899aabbccddeef",                 // 31 digits
                    "00112233445566778899aabbccddeeff0",                             // 33 digits
                    "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff",
                    "0x00112233445566778899aabbccddee", "-00112233445566778899aabbccddeeff",
                    "00112233445566778899aabbccddeeff-", "00112233445566778899aabbccddeeff -",
                    "00112233\t445566778899aabbccddeeff", "00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff",
                    "00112233_445566778899aabbccddeeff", "0011223344556677889gaabbccddeeff",
                    std::string("00112233445566778899aabbccddeeff\0", 33), "00112233445566778899aabbccddeeff\xC2\xA0",
                    "\xEF\xBC\x90" "0112233445566778899aabbccddeeff"));  // full-width zero

TEST(KeyText, FormatsAsLowerCaseDigitsThatParseBack) {
  InputKey Key;
  ASSERT_TRUE(ParseKeyText("00112233-4455-6677-8899-AABBCCDDEEFF", Key).Ok());
  KeyTextBuffer Text;
  FormatKeyText(Key, Text);
  EXPECT_STREQ(Text.data(), Expected);
}

TEST(KeyText, MoveLeavesTheSourceEmptyAndWiped) {
  InputKey Source;
  ASSERT_TRUE(ParseKeyText(Expected, Source).Ok());
  InputKey Target(std::move(Source));
  EXPECT_TRUE(Source.Empty());
  EXPECT_EQ(ToHex(Source.Bytes()), std::string(32, '0'));
  EXPECT_EQ(ToHex(Target.Bytes()), Expected);
  Target.Clear();
  EXPECT_TRUE(Target.Empty());
  EXPECT_EQ(ToHex(Target.Bytes()), std::string(32, '0'));
}

}  // namespace
}  // namespace kuz::test
