#include "Scenarios.h"

#include <dshow.h>

#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "DirectShowResult.h"
#include "MessageBoxes.h"
#include "PlayerDriver.h"
#include "SampleMedia.h"
#include "ScreenCapture.h"

namespace {

enum : int { Button1 = 101, Button2, Button3, Button4, Edit1 };

bool AllPassed = true;
LARGE_INTEGER Started;

long long Now() {
  LARGE_INTEGER Counter, Frequency;
  QueryPerformanceCounter(&Counter);
  QueryPerformanceFrequency(&Frequency);
  return (Counter.QuadPart - Started.QuadPart) * 1000 / Frequency.QuadPart;
}

void Event(const char* Name) {
  printf("event %s %lld\n", Name, Now());
  fflush(stdout);
}

bool Check(const char* Name, bool Passed, const std::string& Detail = "") {
  printf("check %s %s %s\n", Name, Passed ? "ok" : "FAIL", Detail.c_str());
  fflush(stdout);
  AllPassed = AllPassed && Passed;
  return Passed;
}

std::string Narrow(const std::wstring& Text) {
  std::string Out;
  for (wchar_t C : Text) Out += C < 0x80 ? static_cast<char>(C) : '?';
  return Out;
}

ScreenImage CaptureClient(HWND Window) {
  RECT Client;
  GetClientRect(Window, &Client);
  MapWindowPoints(Window, nullptr, reinterpret_cast<POINT*>(&Client), 2);
  return ScreenImage::Capture(Client);
}

void SaveDesktop(const ScenarioSettings& Settings, const wchar_t* Name) {
  if (Settings.Artifacts.empty()) return;
  RECT Desktop;
  GetWindowRect(GetDesktopWindow(), &Desktop);
  const std::wstring Path = Settings.Artifacts + L"\\" + Name;
  Check("screenshot-saved", ScreenImage::Capture(Desktop).SaveBmp(Path), Narrow(Path));
}

class Session {
 public:
  explicit Session(const ScenarioSettings& Settings) : Settings(Settings), Player(Settings.Player) {
    Check("player-started", Player.Started());
    Event("started");
  }

  std::wstring Media(const wchar_t* Name) const { return Settings.Media + L"\\" + Name; }

  // Opens a file through the open button and the dialog, as a user would.
  bool Open(const std::wstring& Path) {
    OldVideo = VideoWindowOf(Player);
    Player.Click(Button1);
    HWND Dialog = Player.WaitForDialog();
    if (!Check("dialog-shown", Dialog != nullptr)) return false;
    AcceptOpenDialog(Dialog, Path);
    Check("dialog-closed", WaitUntil([&] { return !IsWindow(Dialog) || !IsWindowVisible(Dialog); }));
    Event("opened");
    return true;
  }

  // Playing once the new graph's video window shows (the old graph's may linger a moment).
  bool WaitPlaying() {
    auto NewVideo = [&] {
      HWND Video = VideoWindowOf(Player);
      return Video && Video != OldVideo;
    };
    const bool Playing = WaitUntil([&] { return NewVideo() || !Player.Dialogs().empty(); }, 20000) && NewVideo();
    std::string Shown;
    for (HWND Box : Player.Dialogs()) Shown += " message: \"" + Narrow(ReadMessageBox(Box).Text) + "\"";
    Check("playing", Playing && Player.Dialogs().empty(), Shown);
    Event("playing");
    return Playing;
  }

  void Click(int Id, const char* Name) {
    Check(Name, Player.ClickAndWait(Id) && Player.Dialogs().empty());
    Event(Name);
  }

  // One message box with the player's text for Code; OK closes it and the window is usable.
  void ExpectMessage(HRESULT Code, const char* Name) {
    const bool Shown = WaitUntil([&] { return !Player.Dialogs().empty(); }, 20000);
    Sleep(200);
    const auto Boxes = Player.Dialogs();
    if (!Check(Name, Shown && Boxes.size() == 1, "message boxes: " + std::to_string(Boxes.size()))) return;
    const MessageBoxView Box = ReadMessageBox(Boxes.front());
    const std::string Expected = ResultMessage(ResultText(Code), Code);
    Check(Name, Narrow(Box.Text) == Expected && Box.Caption == L"Kuz_player" && Box.ErrorIcon,
          "\"" + Narrow(Box.Text) + "\"");
    Event(Name);
    PostMessageW(Boxes.front(), WM_COMMAND, IDOK, 0);
    Check("message-closed", Player.WaitForNoDialog());
    Check("window-usable", WaitUntil([&] { return IsWindowEnabled(Player.MainForm()) != FALSE; }) &&
                               Player.ClickAndWait(Button4) && Player.Dialogs().empty());
  }

  // The picture of the e2e media: red on the left half, blue on the right.
  void CheckPicture() {
    HWND Video = VideoWindowOf(Player);
    if (!Check("video-window", Video != nullptr)) return;
    const ScreenImage Shot = CaptureClient(Video);
    if (!Settings.Artifacts.empty()) Shot.SaveBmp(Settings.Artifacts + L"\\video.bmp");
    auto Average = [&](int Left, int Right) {
      long long R = 0, G = 0, B = 0, N = 0;
      for (int Y = Shot.Height() / 4; Y < Shot.Height() * 3 / 4; ++Y)
        for (int X = Left; X < Right; ++X, ++N) {
          const DWORD P = Shot.At(X, Y);
          R += (P >> 16) & 0xFF, G += (P >> 8) & 0xFF, B += P & 0xFF;
        }
      return N ? std::array<long long, 3>{R / N, G / N, B / N} : std::array<long long, 3>{0, 0, 0};
    };
    const auto Left = Average(Shot.Width() / 10, Shot.Width() * 4 / 10);
    const auto Right = Average(Shot.Width() * 6 / 10, Shot.Width() * 9 / 10);
    char Detail[128];
    snprintf(Detail, sizeof Detail, "left %lld,%lld,%lld right %lld,%lld,%lld size %dx%d", Left[0], Left[1], Left[2],
             Right[0], Right[1], Right[2], Shot.Width(), Shot.Height());
    Check("picture", Shot.Width() > 0 && Left[0] > 170 && Left[1] < 80 && Left[2] < 80 && Right[2] > 170 &&
                         Right[0] < 80 && Right[1] < 80,
          Detail);
  }

  // Distinct pictures among several captures of the video window: moving video changes.
  int DistinctFrames(int Captures, DWORD IntervalMs) {
    std::set<std::vector<DWORD>> Seen;
    for (int I = 0; I < Captures; ++I) {
      HWND Video = VideoWindowOf(Player);
      if (!Video) break;
      const ScreenImage Shot = CaptureClient(Video);
      std::vector<DWORD> Pixels;
      for (int Y = 0; Y < Shot.Height(); Y += 2)
        for (int X = 0; X < Shot.Width(); X += 2) Pixels.push_back(Shot.At(X, Y));
      Seen.insert(std::move(Pixels));
      Sleep(IntervalMs);
    }
    return static_cast<int>(Seen.size());
  }

  void Close() {
    const DWORD Code = Player.CloseAndWait(20000);
    Check("closed-quietly", Code == 0, "exit code " + std::to_string(Code));
    Event("closed");
  }

  const ScenarioSettings& Settings;
  PlayerProcess Player;
  HWND OldVideo = nullptr;
};

// Plays, pauses, plays on, stops: the recording shows where the sound went.
void Playback(Session& S) {
  if (!S.Open(S.Media(L"e2e.kuz")) || !S.WaitPlaying()) return;
  Sleep(1200);
  S.CheckPicture();
  SaveDesktop(S.Settings, L"playing.bmp");
  Sleep(800);
  S.Click(Button3, "pause");
  Sleep(1000);
  S.Click(Button2, "play");
  Sleep(2000);
  S.Click(Button4, "stop");
  Sleep(1500);
  S.Close();
}

// A second file while the first plays: the first is gone before the second sounds.
void Replace(Session& S) {
  if (!S.Open(S.Media(L"e2e.kuz")) || !S.WaitPlaying()) return;
  Sleep(2000);
  if (!S.Open(S.Media(L"other.kuz")) || !S.WaitPlaying()) return;
  Sleep(2500);
  S.Close();
}

void CloseWhilePlaying(Session& S) {
  if (!S.Open(S.Media(L"e2e.kuz")) || !S.WaitPlaying()) return;
  Sleep(1500);
  S.Close();
}

// Every fault the product knows, one after the other in one window, then a good file plays.
void Faults(Session& S) {
  S.Open(S.Media(L"wrongkey.kuz"));
  S.ExpectMessage(NTE_BAD_KEY, "wrong-key");
  S.Open(S.Media(L"truncated.kuz"));
  S.ExpectMessage(HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT), "truncated");
  S.Open(S.Media(L"notkuz.kuz"));
  S.ExpectMessage(VFW_E_INVALID_FILE_FORMAT, "not-kuz");
  // The damaged file plays up to its damage; the sound then stops without a message.
  if (!S.Open(S.Media(L"damaged.kuz")) || !S.WaitPlaying()) return;
  Sleep(6000);
  Check("damaged-no-message", S.Player.Dialogs().empty());
  Event("damaged-done");
  if (!S.Open(S.Media(L"e2e.kuz")) || !S.WaitPlaying()) return;
  Sleep(2000);
  S.Close();
}

// What a user sees: the sample plays with moving pictures; a wrong key shows the error box.
void Demo(Session& S) {
  if (!S.Open(S.Media(L"sample.kuz")) || !S.WaitPlaying()) return;
  Sleep(1000);
  SaveDesktop(S.Settings, L"playing.bmp");
  const int Frames = S.DistinctFrames(10, 200);
  Check("moving-picture", Frames >= 5, "frames seen: " + std::to_string(Frames) + " different of 10 captures");
  printf("frames %d\n", Frames);
  Sleep(1500);
  S.Open(S.Media(L"sample-wrong-key.kuz"));
  const bool Shown = WaitUntil([&] { return !S.Player.Dialogs().empty(); }, 20000);
  Sleep(300);
  if (Shown) SaveDesktop(S.Settings, L"wrong-key.bmp");
  S.ExpectMessage(NTE_BAD_KEY, "wrong-key");
  S.Close();
}

}  // namespace

int RunScenario(const std::string& Name, const ScenarioSettings& Settings) {
  static const std::map<std::string, std::function<void(Session&)>> Scenarios = {
      {"playback", Playback}, {"replace", Replace}, {"close", CloseWhilePlaying}, {"faults", Faults}, {"demo", Demo},
  };
  auto Found = Scenarios.find(Name);
  if (Found == Scenarios.end()) {
    fprintf(stderr, "player_scenarios: unknown scenario %s\n", Name.c_str());
    return 2;
  }
  QueryPerformanceCounter(&Started);
  {
    Session S(Settings);
    if (S.Player.Started()) Found->second(S);
  }
  printf("result %s\n", AllPassed ? "ok" : "FAIL");
  return AllPassed ? 0 : 1;
}
