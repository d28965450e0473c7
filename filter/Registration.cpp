// DllRegisterServer and DllUnregisterServer: the COM class under HKCR\CLSID, and the filter in
// the legacy DirectShow filter category with one output pin of byte-stream type. Its merit is
// "do not use": intelligent connect never picks it for other files; players create it by class.
#include <windows.h>

#include <dshow.h>
#include <wrl/client.h>

#include <string>

#include "Module.h"
#include "WQCryptoTypes.h"

namespace {

const wchar_t FilterName[] = L"WQCryptoSource";
const wchar_t ThreadingModel[] = L"Both";

const REGPINTYPES OutputPinTypes[] = {
    {&MEDIATYPE_Stream, &MEDIASUBTYPE_NULL},
};

const REGFILTERPINS2 FilterPins[] = {
    {REG_PINFLAG_B_OUTPUT, 1, ARRAYSIZE(OutputPinTypes), OutputPinTypes, 0, nullptr, &GUID_NULL},
};

REGFILTER2 FilterDescription() {
  REGFILTER2 Description = {};
  Description.dwVersion = 2;
  Description.dwMerit = MERIT_DO_NOT_USE;
  Description.cPins2 = ARRAYSIZE(FilterPins);
  Description.rgPins2 = FilterPins;
  return Description;
}

std::wstring ClassKeyName() {
  wchar_t Class[40] = {};
  StringFromGUID2(CLSID_WQCryptoSource, Class, 40);
  return std::wstring(L"CLSID\\") + Class;
}

HRESULT SetString(HKEY Root, const std::wstring& Key, const wchar_t* Name, const std::wstring& Value) {
  HKEY Opened = nullptr;
  LONG Result = RegCreateKeyExW(Root, Key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &Opened, nullptr);
  if (Result != ERROR_SUCCESS) return HRESULT_FROM_WIN32(Result);
  Result = RegSetValueExW(Opened, Name, 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()),
                          static_cast<DWORD>((Value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(Opened);
  return HRESULT_FROM_WIN32(Result);
}

std::wstring ModulePath() {
  std::wstring Path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD Length = GetModuleFileNameW(Module::Instance(), Path.data(), static_cast<DWORD>(Path.size()));
    if (Length == 0) return L"";
    if (Length < Path.size()) return Path.substr(0, Length);
    Path.resize(Path.size() * 2);
  }
}

// COM for the call's duration, when the caller (regsvr32, an installer) has not started it.
class TComScope {
 public:
  TComScope() noexcept : Result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~TComScope() {
    if (SUCCEEDED(Result)) CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

 private:
  HRESULT Result;
};

HRESULT WithFilterMapper(HRESULT (*Use)(IFilterMapper2&)) {
  TComScope Com;
  Microsoft::WRL::ComPtr<IFilterMapper2> Mapper;
  HRESULT Result = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                    reinterpret_cast<void**>(Mapper.GetAddressOf()));
  return SUCCEEDED(Result) ? Use(*Mapper.Get()) : Result;
}

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  try {
    const std::wstring Path = ModulePath();
    if (Path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    const std::wstring Class = ClassKeyName();
    HRESULT Result = SetString(HKEY_CLASSES_ROOT, Class, nullptr, FilterName);
    if (SUCCEEDED(Result)) Result = SetString(HKEY_CLASSES_ROOT, Class + L"\\InprocServer32", nullptr, Path);
    if (SUCCEEDED(Result))
      Result = SetString(HKEY_CLASSES_ROOT, Class + L"\\InprocServer32", L"ThreadingModel", ThreadingModel);
    if (SUCCEEDED(Result))
      Result = WithFilterMapper([](IFilterMapper2& Mapper) {
        const REGFILTER2 Description = FilterDescription();
        return Mapper.RegisterFilter(CLSID_WQCryptoSource, FilterName, nullptr, &CLSID_LegacyAmFilterCategory,
                                     nullptr, &Description);
      });
    return Result;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  try {
    // The filter first, while its class still resolves; a filter not registered is no error.
    HRESULT Result = WithFilterMapper([](IFilterMapper2& Mapper) {
      const HRESULT Removed = Mapper.UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, CLSID_WQCryptoSource);
      return Removed == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? S_OK : Removed;
    });
    const LONG Deleted = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKeyName().c_str());
    if (Deleted != ERROR_SUCCESS && Deleted != ERROR_FILE_NOT_FOUND && SUCCEEDED(Result))
      Result = HRESULT_FROM_WIN32(Deleted);
    return Result;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}
