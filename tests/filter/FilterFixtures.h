// What the filter tests share: .kuz files written with the format library into a private temp
// folder, the plaintext they hold, and a loaded and keyed filter.
#pragma once

#include <dshow.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <vector>

#include "WQCryptoTypes.h"

using Microsoft::WRL::ComPtr;

inline const char TestKey[] = "d47e09c3a1f85b2e6c70d9a4e13b8f56";
inline const char OtherKey[] = "00112233445566778899aabbccddeeff";

// Deterministic plaintext that differs at every offset modulo a large prime.
std::vector<std::uint8_t> Pattern(size_t Size, std::uint32_t Variant = 1);

// A folder of its own under the prefix's temp folder, removed with its files at exit.
const std::wstring& TempFolder();
std::wstring TempPath(const std::wstring& Name);

// Writes Plaintext as a .kuz file encrypted with KeyText; returns its path.
std::wstring WriteKuz(const std::wstring& Name, const std::vector<std::uint8_t>& Plaintext,
                      const char* KeyText = TestKey);
void WriteBytes(const std::wstring& Path, const std::vector<std::uint8_t>& Bytes);
std::vector<std::uint8_t> ReadBytes(const std::wstring& Path);

// The three interfaces of one filter object.
struct TFilter {
  ComPtr<IBaseFilter> Base;
  ComPtr<IFileSourceFilter> File;
  ComPtr<IWQCryptoSourceControl> Control;
};

// Created through the registered class, as the player creates it (context 3).
HRESULT CreateFilter(TFilter& Filter);
// Created, loaded with Path and keyed with KeyText; asserts on the way.
TFilter OpenFilter(const std::wstring& Path, const char* KeyText = TestKey);

ComPtr<IPin> OutPin(const TFilter& Filter);
ComPtr<IAsyncReader> ReaderOf(const TFilter& Filter);

// Calls the filter DLL's own DllCanUnloadNow (the DLL must be loaded).
HRESULT FilterDllCanUnloadNow();
