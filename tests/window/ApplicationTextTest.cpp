// The application object's text rules, in process: the title from the executable's path and
// the text of a shown exception.
#include <gtest/gtest.h>

#include "Application.h"

namespace {

TEST(ApplicationTextTest, TitleIsTheFileNameUpToItsFirstDotWithTheRestLowered) {
  const struct {
    const char* Path;
    const char* Title;
  } Cases[] = {
      {"C:\\Program Files\\KUZ Player\\KUZ_Player.exe", "Kuz_player"},
      {"C:\\dots.in.folder\\Player", "Player"},
      {"\\\\server\\share\\KUZ.Player.EXE", "Kuz"},
      {"C:KUZ.EXE", "Kuz"},
      {"C:\\tools\\.hidden.exe", ""},
      {"Z:\\media\\\xC9T\xC9.exe", "\xC9t\xE9"},  // code page 1252 as it stands
  };
  for (const auto& Case : Cases) EXPECT_EQ(TitleFromExecutablePath(Case.Path), Case.Title) << Case.Path;
}

TEST(ApplicationTextTest, ADotIsAppendedWhenTheLastCharacterSortsAfterIt) {
  const struct {
    const char* Message;
    const char* Shown;
  } Cases[] = {
      {"Error: 0x80040154 ($80040154).", "Error: 0x80040154 ($80040154)."},
      {"Cannot open", "Cannot open."},
      {"Slash/", "Slash/."},      // '/' sorts after '.'
      {"Done!", "Done!"},         // '!' sorts before
      {"Trailing space ", "Trailing space "},
      {"(code)", "(code)"},
      {"Caf\xE9", "Caf\xE9."},    // a high character sorts after '.'
      {"", ""},
  };
  for (const auto& Case : Cases) EXPECT_EQ(ExceptionDisplayText(Case.Message), Case.Shown) << Case.Message;
}

}  // namespace
