// Small helpers at the COM boundary: no exception leaves a COM method, and out-parameters are
// handled the same way everywhere.
#pragma once

#include <objbase.h>

#include <new>
#include <string_view>

// Runs Body and turns an escaping exception into a result code.
template <class Body>
HRESULT Guarded(Body&& Run) noexcept {
  try {
    return Run();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// Hands out an interface through an out-parameter with one reference for the caller.
template <class Interface>
HRESULT HandOut(Interface* Object, void** Out) noexcept {
  if (!Out) return E_POINTER;
  *Out = Object;
  if (!Object) return E_NOINTERFACE;
  Object->AddRef();
  return S_OK;
}

// A copy of Text in task memory, for strings that the caller frees with CoTaskMemFree.
inline HRESULT TaskMemoryString(std::wstring_view Text, LPWSTR* Out) noexcept {
  if (!Out) return E_POINTER;
  *Out = static_cast<LPWSTR>(CoTaskMemAlloc((Text.size() + 1) * sizeof(wchar_t)));
  if (!*Out) return E_OUTOFMEMORY;
  Text.copy(*Out, Text.size());
  (*Out)[Text.size()] = L'\0';
  return S_OK;
}
