// The scripted scenarios of kuz_player_driver.
#pragma once

#include <string>

struct ScenarioSettings {
  std::wstring Player;     // KUZ_Player.exe
  std::wstring Media;      // folder with the .kuz files a scenario opens
  std::wstring Artifacts;  // folder for screenshots; none when empty
};

// Runs the named scenario; 0 when all its checks passed, 1 otherwise, 2 for an unknown name.
int RunScenario(const std::string& Name, const ScenarioSettings& Settings);
