#include "PlayerDriver.h"

#include <dlgs.h>

namespace {

struct Search {
  DWORD ProcessId;
  const char* ClassName;
  bool VisibleOnly;
  std::vector<HWND> Found;
};

BOOL CALLBACK CollectWindow(HWND Window, LPARAM Parameter) {
  auto* Wanted = reinterpret_cast<Search*>(Parameter);
  DWORD Process = 0;
  GetWindowThreadProcessId(Window, &Process);
  if (Process != Wanted->ProcessId) return TRUE;
  if (Wanted->VisibleOnly && !IsWindowVisible(Window)) return TRUE;
  if (ClassOf(Window) == Wanted->ClassName) Wanted->Found.push_back(Window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD ProcessId, const char* ClassName, bool VisibleOnly) {
  Search Wanted{ProcessId, ClassName, VisibleOnly, {}};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&Wanted));
  return Wanted.Found;
}

}  // namespace

std::wstring WindowsPath(const std::string& Path) {
  std::wstring Wide(Path.begin(), Path.end());
  for (wchar_t& C : Wide)
    if (C == L'/') C = L'\\';
  if (!Wide.empty() && Wide[0] == L'\\') Wide = L"Z:" + Wide;
  return Wide;
}

std::wstring TextOf(HWND Window) {
  wchar_t Buffer[4096] = {};
  DWORD_PTR Length = 0;
  // WM_GETTEXT through SendMessageTimeout: a hung player must not hang the test.
  if (!SendMessageTimeoutW(Window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(Buffer),
                           SMTO_ABORTIFHUNG, 5000, &Length))
    return L"(no answer)";
  return std::wstring(Buffer, Length);
}

std::string ClassOf(HWND Window) {
  char Name[256] = {};
  GetClassNameA(Window, Name, sizeof Name);
  return Name;
}

PlayerProcess::PlayerProcess(const std::wstring& Executable) {
  std::wstring CommandLine = L"\"" + Executable + L"\"";
  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  if (!CreateProcessW(Executable.c_str(), CommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &Startup, &Info))
    return;
  WaitUntil([&] {
    auto Forms = TopLevelWindows(Info.dwProcessId, "TForm1", true);
    if (Forms.empty()) return false;
    Form = Forms.front();
    return true;
  });
  // The window is up once its first paint and activation have been handled.
  if (Form) {
    DWORD_PTR Ignored;
    SendMessageTimeoutW(Form, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &Ignored);
  }
}

PlayerProcess::~PlayerProcess() {
  if (!Info.hProcess) return;
  if (Running()) {
    for (HWND Dialog : Dialogs()) PostMessageW(Dialog, WM_COMMAND, IDCANCEL, 0);
    if (CloseAndWait(10000) == STILL_ACTIVE) {
      TerminateProcess(Info.hProcess, 99);
      WaitForSingleObject(Info.hProcess, 5000);
    }
  }
  CloseHandle(Info.hThread);
  CloseHandle(Info.hProcess);
}

HWND PlayerProcess::TaskbarWindow() const {
  auto Windows = TopLevelWindows(Info.dwProcessId, "TApplication", false);
  return Windows.empty() ? nullptr : Windows.front();
}

bool PlayerProcess::ClickAndWait(int Id, DWORD TimeoutMs) const {
  DWORD_PTR Ignored;
  return SendMessageTimeoutW(Control(Id), BM_CLICK, 0, 0, SMTO_NORMAL, TimeoutMs, &Ignored) != 0;
}

void PlayerProcess::Click(int Id) const { PostMessageW(Control(Id), BM_CLICK, 0, 0); }

std::vector<HWND> PlayerProcess::Dialogs() const {
  return TopLevelWindows(Info.dwProcessId, "#32770", true);
}

HWND PlayerProcess::WaitForDialog(DWORD TimeoutMs) const {
  HWND Found = nullptr;
  WaitUntil(
      [&] {
        auto All = Dialogs();
        if (All.empty()) return false;
        Found = All.front();
        return true;
      },
      TimeoutMs);
  return Found;
}

bool PlayerProcess::WaitForNoDialog(DWORD TimeoutMs) const {
  return WaitUntil([&] { return Dialogs().empty(); }, TimeoutMs);
}

HWND PlayerProcess::Focus() const {
  GUITHREADINFO Thread = {};
  Thread.cbSize = sizeof Thread;
  if (!GetGUIThreadInfo(Info.dwThreadId, &Thread)) return nullptr;
  return Thread.hwndFocus;
}

DWORD PlayerProcess::CloseAndWait(DWORD TimeoutMs) {
  if (Form) PostMessageW(Form, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(Info.hProcess, TimeoutMs) != WAIT_OBJECT_0) return STILL_ACTIVE;
  DWORD Code = STILL_ACTIVE;
  GetExitCodeProcess(Info.hProcess, &Code);
  return Code;
}

bool PlayerProcess::Running() const {
  return Info.hProcess && WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT;
}

namespace {

// The explorer-style dialog's file name field: an edit inside the ComboBoxEx cmb13, or edt1.
HWND FileNameField(HWND Dialog) {
  if (HWND Combo = GetDlgItem(Dialog, cmb13)) {
    if (HWND Edit = FindWindowExW(Combo, nullptr, L"Edit", nullptr)) return Edit;
    if (HWND Inner = FindWindowExW(Combo, nullptr, L"ComboBox", nullptr))
      if (HWND Edit = FindWindowExW(Inner, nullptr, L"Edit", nullptr)) return Edit;
    return Combo;
  }
  return GetDlgItem(Dialog, edt1);
}

}  // namespace

void AcceptOpenDialog(HWND Dialog, const std::wstring& Name) {
  SendMessageW(FileNameField(Dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Name.c_str()));
  PostMessageW(Dialog, WM_COMMAND, IDOK, 0);
}

std::wstring OfferedFileName(HWND Dialog) { return TextOf(FileNameField(Dialog)); }

void PressKey(WORD VirtualKey, bool Shift) {
  std::vector<INPUT> Inputs;
  auto Key = [&](WORD Code, bool Up) {
    INPUT Input = {};
    Input.type = INPUT_KEYBOARD;
    Input.ki.wVk = Code;
    Input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(Code, MAPVK_VK_TO_VSC));
    Input.ki.dwFlags = Up ? KEYEVENTF_KEYUP : 0;
    Inputs.push_back(Input);
  };
  if (Shift) Key(VK_SHIFT, false);
  Key(VirtualKey, false);
  Key(VirtualKey, true);
  if (Shift) Key(VK_SHIFT, true);
  SendInput(static_cast<UINT>(Inputs.size()), Inputs.data(), sizeof(INPUT));
}
