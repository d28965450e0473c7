// The open-file dialog of the main window: one "*.kuz" filter, read-only box hidden, resizable,
// neither file nor folder required to exist, offering the name chosen last time. Unicode, so
// that any file name reaches the source filter intact.
#pragma once

#include <windows.h>

#include <string>

class TOpenDialog {
 public:
  // Shows the dialog owned by Owner; true when the user accepted a name (FileName).
  bool Execute(HWND Owner);

  const std::wstring& FileName() const { return Name; }

 private:
  static UINT_PTR CALLBACK HookProc(HWND Child, UINT Message, WPARAM WParam, LPARAM LParam);

  std::wstring Name;
  HWND ActiveWindow = nullptr;  // whose monitor the dialog is placed on
};
