// Drives a running KUZ_Player.exe from outside, through Win32 only: starts it, finds its
// windows and controls, clicks, types, finds the dialogs it shows, and closes it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class PlayerProcess {
 public:
  // Starts Executable and waits until its main window exists and is visible.
  explicit PlayerProcess(const std::wstring& Executable);
  // Closes the player if it still runs (and kills it if it does not end).
  ~PlayerProcess();
  PlayerProcess(const PlayerProcess&) = delete;
  PlayerProcess& operator=(const PlayerProcess&) = delete;

  bool Started() const { return Form != nullptr; }
  HWND MainForm() const { return Form; }
  // The window that carries the taskbar entry (class TApplication).
  HWND TaskbarWindow() const;
  HWND Control(int Id) const { return GetDlgItem(Form, Id); }
  DWORD ProcessId() const { return Info.dwProcessId; }
  DWORD ThreadId() const { return Info.dwThreadId; }

  // Clicks a button and waits until the click has been handled; false when the player did
  // not return within the time limit (e.g. a modal box is showing).
  bool ClickAndWait(int Id, DWORD TimeoutMs = 5000) const;
  // Clicks without waiting: for buttons that open something modal.
  void Click(int Id) const;

  // The visible dialog windows (#32770) of the player, top-level.
  std::vector<HWND> Dialogs() const;
  // Waits for the first visible dialog; null when none appears in time.
  HWND WaitForDialog(DWORD TimeoutMs = 10000) const;
  // Waits until no dialog is visible.
  bool WaitForNoDialog(DWORD TimeoutMs = 10000) const;

  // The control that has the keyboard focus in the player.
  HWND Focus() const;

  // Asks the main window to close and waits for the process to end; its exit code, or
  // STILL_ACTIVE when it did not end in time.
  DWORD CloseAndWait(DWORD TimeoutMs = 15000);
  bool Running() const;

 private:
  PROCESS_INFORMATION Info = {};
  HWND Form = nullptr;
};

// A path as Windows programs under Wine take it: "/work/x" becomes "Z:\\work\\x"; Windows paths
// keep their drive, with forward slashes turned around.
std::wstring WindowsPath(const std::string& Path);

// The text of a window (any process).
std::wstring TextOf(HWND Window);
std::string ClassOf(HWND Window);

// Puts the open dialog's file name field to Name and accepts it.
void AcceptOpenDialog(HWND Dialog, const std::wstring& Name);
// The file name the open dialog offers.
std::wstring OfferedFileName(HWND Dialog);

// Presses and releases a key (optionally with Shift held) as keyboard input.
void PressKey(WORD VirtualKey, bool Shift = false);

// Waits until Condition holds or TimeoutMs passes; whether it held.
template <class Condition>
bool WaitUntil(Condition Holds, DWORD TimeoutMs = 10000) {
  const ULONGLONG End = GetTickCount64() + TimeoutMs;
  for (;;) {
    if (Holds()) return true;
    if (GetTickCount64() >= End) return false;
    Sleep(20);
  }
}
