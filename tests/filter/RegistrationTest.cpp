// Registering and unregistering the filter with regsvr32, in a prefix of its own: the COM class,
// the DirectShow filter entry and its merit, intelligent connect passing it by, and nothing
// left behind afterwards.
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

#include "WQCryptoTypes.h"

namespace {

using Microsoft::WRL::ComPtr;

std::wstring Wide(const char* Text) { return std::wstring(Text, Text + strlen(Text)); }

std::wstring Backslashed(std::wstring Path) {
  for (wchar_t& C : Path)
    if (C == L'/') C = L'\\';
  return Path;
}

const std::wstring FilterDll = Wide(KUZ_FILTER_DLL);

DWORD Regsvr32(const std::wstring& Arguments) {
  std::wstring CommandLine = L"regsvr32.exe " + Arguments + L" \"" + FilterDll + L"\"";
  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process = {};
  if (!CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process))
    return GetLastError() | 0x80000000u;
  WaitForSingleObject(Process.hProcess, 60000);
  DWORD Code = STILL_ACTIVE;
  GetExitCodeProcess(Process.hProcess, &Code);
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
  return Code;
}

std::wstring ClassKey() {
  wchar_t Class[40];
  StringFromGUID2(CLSID_WQCryptoSource, Class, 40);
  return std::wstring(L"CLSID\\") + Class;
}

bool ReadString(const std::wstring& Key, const wchar_t* Name, std::wstring& Value) {
  wchar_t Buffer[1024] = {};
  DWORD Size = sizeof Buffer;
  if (RegGetValueW(HKEY_CLASSES_ROOT, Key.c_str(), Name, RRF_RT_REG_SZ, nullptr, Buffer, &Size) != ERROR_SUCCESS)
    return false;
  Value = Buffer;
  return true;
}

// The filter's entry among the legacy DirectShow filters: found, with its friendly name and merit.
struct FilterEntry {
  bool Found = false;
  std::wstring Name;
  DWORD Merit = 0;
};

FilterEntry FindFilterEntry() {
  FilterEntry Entry;
  ComPtr<ICreateDevEnum> Devices;
  if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                              reinterpret_cast<void**>(Devices.GetAddressOf()))))
    return Entry;
  ComPtr<IEnumMoniker> Monikers;
  if (Devices->CreateClassEnumerator(CLSID_LegacyAmFilterCategory, &Monikers, 0) != S_OK) return Entry;
  for (ComPtr<IMoniker> Moniker; Monikers->Next(1, Moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
    ComPtr<IPropertyBag> Properties;
    if (FAILED(Moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(Properties.GetAddressOf()))))
      continue;
    VARIANT Class;
    VariantInit(&Class);
    if (FAILED(Properties->Read(L"CLSID", &Class, nullptr))) continue;
    CLSID Parsed = {};
    const bool Ours = Class.vt == VT_BSTR && SUCCEEDED(CLSIDFromString(Class.bstrVal, &Parsed)) && Parsed == CLSID_WQCryptoSource;
    VariantClear(&Class);
    if (!Ours) continue;
    Entry.Found = true;
    VARIANT Value;
    VariantInit(&Value);
    if (SUCCEEDED(Properties->Read(L"FriendlyName", &Value, nullptr)) && Value.vt == VT_BSTR) Entry.Name = Value.bstrVal;
    VariantClear(&Value);
    // FilterData holds the registered REGFILTER2: version, then merit.
    if (SUCCEEDED(Properties->Read(L"FilterData", &Value, nullptr)) && Value.vt == (VT_ARRAY | VT_UI1)) {
      DWORD* Data = nullptr;
      if (SUCCEEDED(SafeArrayAccessData(Value.parray, reinterpret_cast<void**>(&Data)))) {
        Entry.Merit = Data[1];
        SafeArrayUnaccessData(Value.parray);
      }
    }
    VariantClear(&Value);
  }
  return Entry;
}

HRESULT CreateFilter(ComPtr<IBaseFilter>& Filter) {
  return CoCreateInstance(CLSID_WQCryptoSource, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IBaseFilter,
                          reinterpret_cast<void**>(Filter.ReleaseAndGetAddressOf()));
}

TEST(FilterRegistrationTest, Regsvr32RegistersAndUnregistersEverything) {
  ComPtr<IBaseFilter> Filter;
  ASSERT_EQ(CreateFilter(Filter), REGDB_E_CLASSNOTREG) << "a fresh prefix knows no filter";

  ASSERT_EQ(Regsvr32(L"/s"), 0u);
  EXPECT_EQ(CreateFilter(Filter), S_OK);
  Filter.Reset();
  std::wstring Server, Threading;
  ASSERT_TRUE(ReadString(ClassKey() + L"\\InprocServer32", nullptr, Server));
  EXPECT_EQ(CompareStringOrdinal(Server.c_str(), -1, Backslashed(FilterDll).c_str(), -1, TRUE), CSTR_EQUAL)
      << testing::PrintToString(Server);
  ASSERT_TRUE(ReadString(ClassKey() + L"\\InprocServer32", L"ThreadingModel", Threading));
  EXPECT_EQ(Threading, L"Both");
  const FilterEntry Registered = FindFilterEntry();
  EXPECT_TRUE(Registered.Found);
  EXPECT_EQ(Registered.Name, L"WQCryptoSource");
  EXPECT_EQ(Registered.Merit, static_cast<DWORD>(MERIT_DO_NOT_USE));

  // Registering twice is harmless.
  EXPECT_EQ(Regsvr32(L"/s"), 0u);

  ASSERT_EQ(Regsvr32(L"/s /u"), 0u);
  EXPECT_EQ(CreateFilter(Filter), REGDB_E_CLASSNOTREG);
  HKEY Gone = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, ClassKey().c_str(), 0, KEY_READ, &Gone), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(FindFilterEntry().Found);
}

// Intelligent connect never picks the filter for other files: a plain WAV renders without it.
TEST(FilterRegistrationTest, RenderingOtherFilesPassesTheFilterBy) {
  ASSERT_EQ(Regsvr32(L"/s"), 0u);
  ComPtr<IGraphBuilder> Graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                             reinterpret_cast<void**>(Graph.GetAddressOf())),
            S_OK);
  const std::wstring Media = Wide(KUZ_FILTER_MEDIA) + L"/tone.wav";
  const HRESULT Rendered = Graph->RenderFile(Media.c_str(), nullptr);
  EXPECT_TRUE(SUCCEEDED(Rendered)) << std::hex << Rendered;
  ComPtr<IEnumFilters> Filters;
  ASSERT_EQ(Graph->EnumFilters(&Filters), S_OK);
  int Count = 0;
  for (ComPtr<IBaseFilter> Filter; Filters->Next(1, Filter.ReleaseAndGetAddressOf(), nullptr) == S_OK; ++Count) {
    CLSID Class = {};
    Filter->GetClassID(&Class);
    EXPECT_FALSE(Class == CLSID_WQCryptoSource);
  }
  EXPECT_GE(Count, 2) << "a source and a renderer at least";
  Graph.Reset();
  EXPECT_EQ(Regsvr32(L"/s /u"), 0u);
}

}  // namespace
