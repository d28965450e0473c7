#include "FilterFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "SampleMedia.h"

namespace {

struct TempFolderOwner {
  std::wstring Path;
  TempFolderOwner() {
    wchar_t Base[MAX_PATH];
    GetTempPathW(MAX_PATH, Base);
    Path = std::wstring(Base) + L"kuz-filter-tests-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(Path.c_str(), nullptr);
  }
  ~TempFolderOwner() {
    WIN32_FIND_DATAW Found;
    HANDLE Search = FindFirstFileW((Path + L"\\*").c_str(), &Found);
    if (Search != INVALID_HANDLE_VALUE) {
      do {
        if (!(Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((Path + L"\\" + Found.cFileName).c_str());
      } while (FindNextFileW(Search, &Found));
      FindClose(Search);
    }
    RemoveDirectoryW(Path.c_str());
  }
};

}  // namespace

std::vector<std::uint8_t> Pattern(size_t Size, std::uint32_t Variant) {
  std::vector<std::uint8_t> Bytes(Size);
  std::uint32_t State = Variant * 2654435761u + 1;
  for (size_t I = 0; I < Size; ++I) {
    State = State * 1103515245u + 12345u;
    Bytes[I] = static_cast<std::uint8_t>(State >> 16);
  }
  return Bytes;
}

const std::wstring& TempFolder() {
  static TempFolderOwner Owner;
  return Owner.Path;
}

std::wstring TempPath(const std::wstring& Name) { return TempFolder() + L"\\" + Name; }

std::wstring WriteKuz(const std::wstring& Name, const std::vector<std::uint8_t>& Plaintext, const char* KeyText) {
  const std::wstring Path = TempPath(Name);
  EXPECT_TRUE(WriteKuzFile(Path, Plaintext, KeyText));
  return Path;
}

void WriteBytes(const std::wstring& Path, const std::vector<std::uint8_t>& Bytes) {
  FILE* File = _wfopen(Path.c_str(), L"wb");
  ASSERT_NE(File, nullptr);
  ASSERT_EQ(fwrite(Bytes.data(), 1, Bytes.size(), File), Bytes.size());
  ASSERT_EQ(fclose(File), 0);
}

std::vector<std::uint8_t> ReadBytes(const std::wstring& Path) {
  std::vector<std::uint8_t> Bytes;
  FILE* File = _wfopen(Path.c_str(), L"rb");
  if (!File) return Bytes;
  std::uint8_t Buffer[65536];
  for (size_t Got; (Got = fread(Buffer, 1, sizeof Buffer, File)) > 0;) Bytes.insert(Bytes.end(), Buffer, Buffer + Got);
  fclose(File);
  return Bytes;
}

HRESULT CreateFilter(TFilter& Filter) {
  HRESULT Result = CoCreateInstance(CLSID_WQCryptoSource, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                    IID_IBaseFilter, reinterpret_cast<void**>(Filter.Base.GetAddressOf()));
  if (FAILED(Result)) return Result;
  Result = Filter.Base.As(&Filter.File);
  if (SUCCEEDED(Result)) Result = Filter.Base.As(&Filter.Control);
  return Result;
}

TFilter OpenFilter(const std::wstring& Path, const char* KeyText) {
  TFilter Filter;
  EXPECT_EQ(CreateFilter(Filter), S_OK);
  if (!Filter.Control) return Filter;
  EXPECT_EQ(Filter.File->Load(Path.c_str(), nullptr), S_OK);
  EXPECT_EQ(Filter.Control->SetKey(KeyText), S_OK);
  return Filter;
}

ComPtr<IPin> OutPin(const TFilter& Filter) {
  ComPtr<IPin> Pin;
  EXPECT_EQ(Filter.Base->FindPin(L"Out", &Pin), S_OK);
  return Pin;
}

ComPtr<IAsyncReader> ReaderOf(const TFilter& Filter) {
  ComPtr<IAsyncReader> Reader;
  ComPtr<IPin> Pin = OutPin(Filter);
  if (Pin) {
    EXPECT_EQ(Pin.As(&Reader), S_OK);
  }
  return Reader;
}

HRESULT FilterDllCanUnloadNow() {
  HMODULE Dll = GetModuleHandleW(L"WQCryptoSource.dll");
  if (!Dll) return E_FAIL;
  auto CanUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(Dll, "DllCanUnloadNow")));
  return CanUnload ? CanUnload() : E_FAIL;
}
