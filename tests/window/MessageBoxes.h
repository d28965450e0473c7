// Reading a message box shown by another process: its text, caption, owner and icon.
#pragma once

#include <windows.h>

#include <string>

struct MessageBoxView {
  std::wstring Caption;
  std::wstring Text;
  HWND Owner = nullptr;
  int Buttons = 0;          // visible push buttons
  bool ErrorIcon = false;   // its icon is the system's error icon, by pixels
};

MessageBoxView ReadMessageBox(HWND Box);
