// A stand-in for WQCryptoSource.dll whose registration fails halfway: it registers the class, then
// reports failure, as the real filter does when the filter mapper refuses it. An installer must
// then take back what the DLL registered; unregistering removes the class again.
#include <windows.h>

#include <string>

#include "WQCryptoTypes.h"

namespace {

std::wstring ClassKeyName() {
  wchar_t Class[40] = {};
  StringFromGUID2(CLSID_WQCryptoSource, Class, 40);
  return std::wstring(L"CLSID\\") + Class;
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const wchar_t Name[] = L"WQCryptoSource";
  const LONG Written = RegSetKeyValueW(HKEY_CLASSES_ROOT, ClassKeyName().c_str(), nullptr, REG_SZ, Name, sizeof Name);
  return Written == ERROR_SUCCESS ? E_ACCESSDENIED : HRESULT_FROM_WIN32(Written);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  const LONG Deleted = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKeyName().c_str());
  return Deleted == ERROR_SUCCESS || Deleted == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(Deleted);
}
