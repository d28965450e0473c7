// The application object: the program's title and icon, COM for the main thread, the hidden
// window that carries the taskbar entry and owns the forms, the message loop, and the display
// of exceptions that escape event handlers.
#pragma once

#include <windows.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "Win32Handles.h"

class TForm;

class TApplication {
 public:
  explicit TApplication(HINSTANCE Instance);
  // Destroys the forms, then the application's window, then uninitialises COM if it was
  // initialised.
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Initialises COM for the main thread as a single-threaded apartment.
  void Initialize();

  // Creates a form owned by the application's window; the first becomes the main form.
  template <class Form>
  Form& CreateForm() {
    auto Created = std::make_unique<Form>(*this);
    Form& Result = *Created;
    AddForm(std::move(Created));
    return Result;
  }

  // Shows the main form and dispatches messages until it closes.
  void Run();

  // Shows an exception that escaped an event handler; the application carries on.
  void HandleException(const std::exception_ptr& Error) noexcept;

  // Called by a form when its window is destroyed; the main form's ends the message loop.
  void FormDestroyed(const TForm& Form) noexcept;

  HINSTANCE Instance() const { return InstanceHandle; }
  HWND Handle() const { return Window.get(); }
  const std::string& Title() const { return TitleText; }
  HICON Icon() const { return IconHandle; }

 private:
  void AddForm(std::unique_ptr<TForm> Form);
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);

  HINSTANCE InstanceHandle;
  std::string TitleText;
  HICON IconHandle;
  bool ComInitialized = false;
  UniqueWindow Window;
  std::vector<std::unique_ptr<TForm>> Forms;
  TForm* MainForm = nullptr;
};

// The title for an executable's path: the file name without its directory, cut at its first
// ".", every character after the first in lower case.
std::string TitleFromExecutablePath(const std::string& Path);

// The text of an exception as the user sees it: a "." is appended when the last character
// sorts after ".".
std::string ExceptionDisplayText(std::string Message);
