#include "Form.h"

#include <system_error>

#include "Application.h"

TForm::~TForm() {
  if (!Window) return;
  // The derived part is gone: the window's last messages must not reach HandleMessage.
  SetWindowLongPtrA(Window, GWLP_USERDATA, 0);
  DestroyWindow(Window);
}

void TForm::Show() {
  ShowWindow(Window, SW_SHOW);
  UpdateWindow(Window);
}

void TForm::CreateHandle(const char* ClassName, DWORD Style, DWORD ExStyle, const RECT& Bounds,
                         const char* Caption) {
  WNDCLASSEXA Class = {};
  Class.cbSize = sizeof Class;
  if (!GetClassInfoExA(Application.Instance(), ClassName, &Class)) {
    Class.lpfnWndProc = WindowProc;
    Class.hInstance = Application.Instance();
    Class.hIcon = Application.Icon();
    Class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    Class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    Class.lpszClassName = ClassName;
    if (!RegisterClassExA(&Class))
      throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                              "RegisterClassEx");
  }
  HWND Created = CreateWindowExA(ExStyle, ClassName, Caption, Style, Bounds.left, Bounds.top,
                                 Bounds.right - Bounds.left, Bounds.bottom - Bounds.top,
                                 Application.Handle(), nullptr, Application.Instance(), this);
  if (!Created)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                            "CreateWindowEx");
}

LRESULT TForm::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  return DefWindowProcA(Window, Message, WParam, LParam);
}

LRESULT CALLBACK TForm::WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_NCCREATE) {
    auto* Self = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTA*>(LParam)->lpCreateParams);
    Self->Window = Window;
    SetWindowLongPtrA(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Self));
  }
  auto* Self = reinterpret_cast<TForm*>(GetWindowLongPtrA(Window, GWLP_USERDATA));
  if (!Self) return DefWindowProcA(Window, Message, WParam, LParam);

  if (Message == WM_NCDESTROY) {
    LRESULT Result = DefWindowProcA(Window, Message, WParam, LParam);
    SetWindowLongPtrA(Window, GWLP_USERDATA, 0);
    Self->Window = nullptr;
    Self->Application.FormDestroyed(*Self);
    return Result;
  }

  try {
    return Self->HandleMessage(Message, WParam, LParam);
  } catch (...) {
    // The boundary: an exception never unwinds into the system's frames.
    Self->Application.HandleException(std::current_exception());
    return 0;
  }
}
