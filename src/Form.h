// Base of the program's windows: a top-level window whose procedure keeps `this` from
// WM_NCCREATE, dispatches to the form's message handler and hands every exception that
// escapes a handler to the application object; nothing unwinds through the system.
#pragma once

#include <windows.h>

class TApplication;

class TForm {
 public:
  explicit TForm(TApplication& Application) : Application(Application) {}
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  HWND Handle() const { return Window; }

  void Show();

 protected:
  // Registers the window class (once) and creates the window owned by the application's
  // window; the window procedure reaches HandleMessage from WM_NCCREATE on.
  void CreateHandle(const char* ClassName, DWORD Style, DWORD ExStyle, const RECT& Bounds,
                    const char* Caption);

  // The form's messages; may raise. Returns the message's result.
  virtual LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam);

  TApplication& Application;

 private:
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);

  HWND Window = nullptr;
};
