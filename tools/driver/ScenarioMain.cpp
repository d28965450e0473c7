// player_scenarios: plays scripted scenarios through the real KUZ_Player.exe window, for the
// demo and the end-to-end tests. It clicks and types as a user would, and prints one line per
// event and per check:
//
//   event <name> <milliseconds since start>
//   check <name> ok|FAIL <detail>
//
// Usage: player_scenarios --player=EXE --scenario=NAME --media=DIR [--artifacts=DIR]
// Scenarios: playback, replace, close, faults, demo (see Scenarios.cpp). Exit status 0 when
// every check passed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "PlayerDriver.h"
#include "Scenarios.h"

int main(int argc, char** argv) {
  ScenarioSettings Settings;
  std::string Scenario;
  for (int I = 1; I < argc; ++I) {
    const std::string Argument = argv[I];
    auto Value = [&](const char* Name) {
      const std::string Prefix = std::string("--") + Name + "=";
      return Argument.rfind(Prefix, 0) == 0 ? Argument.substr(Prefix.size()) : std::string();
    };
    if (!Value("player").empty()) Settings.Player = WindowsPath(Value("player"));
    else if (!Value("scenario").empty()) Scenario = Value("scenario");
    else if (!Value("media").empty()) Settings.Media = WindowsPath(Value("media"));
    else if (!Value("artifacts").empty()) Settings.Artifacts = WindowsPath(Value("artifacts"));
    else {
      fprintf(stderr, "player_scenarios: unknown argument %s\n", argv[I]);
      return 2;
    }
  }
  if (Settings.Player.empty() || Settings.Media.empty() || Scenario.empty()) {
    fprintf(stderr, "usage: player_scenarios --player=EXE --scenario=NAME --media=DIR [--artifacts=DIR]\n");
    return 2;
  }
  if (!Settings.Artifacts.empty()) CreateDirectoryW(Settings.Artifacts.c_str(), nullptr);
  const int Result = RunScenario(Scenario, Settings);
  return Result;
}
