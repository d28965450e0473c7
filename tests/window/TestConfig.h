// Settings of the window tests, from their command line.
#pragma once

#include <string>

struct TestConfig {
  std::wstring Player;     // the KUZ_Player.exe under test, as a Windows path
  std::wstring Artifacts;  // folder for screenshots kept after the run
  bool FilterRegistered = false;  // whether the decrypting source filter is registered here
};

const TestConfig& Config();
