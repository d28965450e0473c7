// Entry point of KUZ Player: initialise the application object, create the main form, run the
// message loop until it closes.
#include <windows.h>

#include <exception>

#include "Application.h"
#include "Main.h"

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int) {
  try {
    TApplication Application(Instance);
    try {
      Application.Initialize();
      Application.CreateForm<TForm1>();
      Application.Run();
    } catch (...) {
      Application.HandleException(std::current_exception());
      return 1;
    }
  } catch (const std::exception& E) {
    // Not even the application's window exists to own the message.
    MessageBoxA(nullptr, E.what(), "KUZ Player", MB_OK | MB_ICONERROR);
    return 1;
  }
  return 0;
}
