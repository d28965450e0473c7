// Entry point of the window tests:
//   window_tests --player=PATH [--artifacts=DIR] [--filter-registered] [gtest flags]
// Unix paths (/work/...) are accepted and turned into Windows paths on drive Z:.
#include <windows.h>

#include <gtest/gtest.h>

#include "PlayerDriver.h"
#include "TestConfig.h"

namespace {

TestConfig Settings;

}  // namespace

const TestConfig& Config() { return Settings; }

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int I = 1; I < argc; ++I) {
    std::string Argument = argv[I];
    if (Argument.rfind("--player=", 0) == 0) Settings.Player = WindowsPath(Argument.substr(9));
    else if (Argument.rfind("--artifacts=", 0) == 0) Settings.Artifacts = WindowsPath(Argument.substr(12));
    else if (Argument == "--filter-registered") Settings.FilterRegistered = true;
    else {
      fprintf(stderr, "unknown argument: %s\n", argv[I]);
      return 2;
    }
  }
  if (Settings.Player.empty()) {
    fprintf(stderr, "--player=PATH is required\n");
    return 2;
  }
  if (!Settings.Artifacts.empty()) CreateDirectoryW(Settings.Artifacts.c_str(), nullptr);
  return RUN_ALL_TESTS();
}
