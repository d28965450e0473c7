#include "OpenDialog.h"

#include <commdlg.h>

#include <vector>

namespace {

// Long paths included; a name that does not fit is refused by the dialog itself.
constexpr size_t FileNameCapacity = 32768;

const wchar_t Filter[] = L"*.kuz\0*.kuz\0";

// Centred horizontally on the monitor, a third of the way down the space left free.
void PlaceOnMonitor(HWND Dialog, HWND ActiveWindow) {
  RECT Bounds;
  if (!GetWindowRect(Dialog, &Bounds)) return;
  MONITORINFO Monitor = {};
  Monitor.cbSize = sizeof Monitor;
  if (!GetMonitorInfoW(MonitorFromWindow(ActiveWindow, MONITOR_DEFAULTTOPRIMARY), &Monitor)) return;
  const RECT& Area = Monitor.rcMonitor;
  const int Width = Bounds.right - Bounds.left;
  const int Height = Bounds.bottom - Bounds.top;
  SetWindowPos(Dialog, nullptr, Area.left + (Area.right - Area.left - Width) / 2,
               Area.top + (Area.bottom - Area.top - Height) / 3, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

bool TOpenDialog::Execute(HWND Owner) {
  std::vector<wchar_t> Buffer(FileNameCapacity, L'\0');
  Name.copy(Buffer.data(), std::min(Name.size(), Buffer.size() - 1));

  ActiveWindow = GetActiveWindow();
  if (!ActiveWindow) ActiveWindow = Owner;

  OPENFILENAMEW Dialog = {};
  Dialog.lStructSize = sizeof Dialog;
  Dialog.hwndOwner = Owner;
  Dialog.lpstrFilter = Filter;
  Dialog.nFilterIndex = 1;
  Dialog.lpstrFile = Buffer.data();
  Dialog.nMaxFile = static_cast<DWORD>(Buffer.size());
  Dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_ENABLEHOOK;
  Dialog.lpfnHook = HookProc;
  Dialog.lCustData = reinterpret_cast<LPARAM>(this);

  if (!GetOpenFileNameW(&Dialog)) return false;  // cancelled, or the dialog failed
  Name.assign(Buffer.data());
  return true;
}

UINT_PTR CALLBACK TOpenDialog::HookProc(HWND Child, UINT Message, WPARAM, LPARAM LParam) {
  // The hook sees the explorer dialog's child; the dialog itself is its parent.
  if (Message == WM_INITDIALOG) {
    SetWindowLongPtrW(Child, GWLP_USERDATA, reinterpret_cast<const OPENFILENAMEW*>(LParam)->lCustData);
  } else if (Message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(LParam)->code == CDN_INITDONE) {
    auto* Self = reinterpret_cast<TOpenDialog*>(GetWindowLongPtrW(Child, GWLP_USERDATA));
    if (Self) PlaceOnMonitor(GetParent(Child), Self->ActiveWindow);
  }
  return 0;
}
