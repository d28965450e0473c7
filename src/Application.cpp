#include "Application.h"

#include <objbase.h>

#include <system_error>

#include "Form.h"

namespace {

const char ApplicationClassName[] = "TApplication";

std::string ExecutablePath() {
  std::string Path(MAX_PATH, '\0');
  for (;;) {
    DWORD Length = GetModuleFileNameA(nullptr, Path.data(), static_cast<DWORD>(Path.size()));
    if (Length < Path.size()) {
      Path.resize(Length);
      return Path;
    }
    Path.resize(Path.size() * 2);
  }
}

}  // namespace

std::string TitleFromExecutablePath(const std::string& Path) {
  // The path is already in the ANSI code page: it is taken as it is. Scanning goes by
  // character, since a trail byte of a double-byte character may equal '\'.
  const char* Name = Path.c_str();
  for (const char* Char = Name; *Char; Char = CharNextA(Char))
    if (*Char == '\\' || *Char == ':') Name = Char + 1;
  std::string Title(Name);
  Title = Title.substr(0, Title.find('.'));
  if (Title.empty()) return Title;
  size_t FirstLength = static_cast<size_t>(CharNextA(Title.c_str()) - Title.c_str());
  if (FirstLength < Title.size())
    CharLowerBuffA(Title.data() + FirstLength, static_cast<DWORD>(Title.size() - FirstLength));
  return Title;
}

std::string ExceptionDisplayText(std::string Message) {
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.') Message += '.';
  return Message;
}

TApplication::TApplication(HINSTANCE Instance)
    : InstanceHandle(Instance),
      TitleText(TitleFromExecutablePath(ExecutablePath())),
      IconHandle(LoadIconA(Instance, "MAINICON")) {
  WNDCLASSEXA Class = {};
  Class.cbSize = sizeof Class;
  // Registered once per process, by the first application object.
  if (!GetClassInfoExA(Instance, ApplicationClassName, &Class)) {
    Class.lpfnWndProc = WindowProc;
    Class.hInstance = Instance;
    Class.hIcon = IconHandle;
    Class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    Class.lpszClassName = ApplicationClassName;
    if (!RegisterClassExA(&Class))
      throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                              "RegisterClassEx");
  }
  // A zero-sized window that is never covered by anything: it only carries the taskbar entry
  // and owns the forms, so they get none of their own.
  HWND Created = CreateWindowExA(
      0, ApplicationClassName, TitleText.c_str(),
      WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
      GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr, nullptr,
      Instance, this);
  if (!Created)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateWindowEx");
  Window.reset(Created);
  SendMessageA(Created, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(IconHandle));
  SendMessageA(Created, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(IconHandle));
}

TApplication::~TApplication() {
  Forms.clear();
  MainForm = nullptr;
  Window.reset();
  if (ComInitialized) CoUninitialize();
}

void TApplication::Initialize() {
  ComInitialized = SUCCEEDED(CoInitialize(nullptr));
}

void TApplication::AddForm(std::unique_ptr<TForm> Form) {
  if (!MainForm) MainForm = Form.get();
  Forms.push_back(std::move(Form));
}

void TApplication::Run() {
  if (!MainForm) return;
  ShowWindow(Window.get(), SW_SHOWNOACTIVATE);
  MainForm->Show();
  MSG Message;
  while (GetMessageA(&Message, nullptr, 0, 0) > 0) {
    // Tab, Shift+Tab and the other dialog keys move between the main form's controls.
    HWND Main = MainForm ? MainForm->Handle() : nullptr;
    if (Main && IsDialogMessageA(Main, &Message)) continue;
    TranslateMessage(&Message);
    DispatchMessageA(&Message);
  }
}

void TApplication::HandleException(const std::exception_ptr& Error) noexcept {
  try {
    std::string Message;
    try {
      std::rethrow_exception(Error);
    } catch (const std::exception& E) {
      Message = E.what();
    } catch (...) {
      Message = "Unknown exception";
    }
    Message = ExceptionDisplayText(std::move(Message));

    // Modal for the whole application: the main form takes no input until OK.
    HWND Main = MainForm ? MainForm->Handle() : nullptr;
    const bool DisableMain = Main && IsWindowEnabled(Main);
    if (DisableMain) EnableWindow(Main, FALSE);
    MessageBoxA(Window.get(), Message.c_str(), TitleText.c_str(), MB_OK | MB_ICONERROR);
    if (DisableMain) {
      EnableWindow(Main, TRUE);
      SetActiveWindow(Main);
    }
  } catch (...) {
    // Out of memory while reporting: there is nothing left to show it with.
  }
}

void TApplication::FormDestroyed(const TForm& Form) noexcept {
  if (&Form == MainForm) PostQuitMessage(0);
}

LRESULT CALLBACK TApplication::WindowProc(HWND Window, UINT Message, WPARAM WParam,
                                          LPARAM LParam) {
  if (Message == WM_NCCREATE) {
    auto* Self = static_cast<TApplication*>(reinterpret_cast<CREATESTRUCTA*>(LParam)->lpCreateParams);
    SetWindowLongPtrA(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Self));
  }
  auto* Self = reinterpret_cast<TApplication*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
  HWND Main = Self && Self->MainForm ? Self->MainForm->Handle() : nullptr;
  switch (Message) {
    case WM_CLOSE:
      // Closing the taskbar entry closes the main form, which ends the application.
      if (Main) PostMessageA(Main, WM_CLOSE, 0, 0);
      return 0;
    case WM_ACTIVATE:
      // Activated from the taskbar: hand activation on to the main form.
      if (LOWORD(WParam) != WA_INACTIVE && Main && IsWindowEnabled(Main) && IsWindowVisible(Main))
        SetActiveWindow(Main);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrA(Window, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcA(Window, Message, WParam, LParam);
}
