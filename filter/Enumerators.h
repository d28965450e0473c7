// The enumerators the filter hands out: its one pin, and the pin's media types. Each is a
// snapshot taken when it is created; Clone copies the position.
#pragma once

#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <vector>

#include "Module.h"

// Reference counting shared by the enumerators.
template <class Interface>
class TCountedEnumerator : public Interface, protected TModuleObject {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Out) noexcept override {
    if (!Out) return E_POINTER;
    if (Iid == IID_IUnknown || Iid == __uuidof(Interface)) {
      *Out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *Out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++References; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG Left = --References;
    if (Left == 0) delete this;
    return Left;
  }

 protected:
  virtual ~TCountedEnumerator() = default;

 private:
  std::atomic<ULONG> References{1};
};

class TPinEnumerator final : public TCountedEnumerator<IEnumPins> {
 public:
  // Starts with one reference, for the caller.
  TPinEnumerator(IPin* Pin, ULONG Position = 0) noexcept : Pin(Pin), Position(Position) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG Count, IPin** Pins, ULONG* Fetched) noexcept override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG Count) noexcept override;
  HRESULT STDMETHODCALLTYPE Reset() noexcept override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins** Copy) noexcept override;

 private:
  Microsoft::WRL::ComPtr<IPin> Pin;
  std::atomic<ULONG> Position;
};

class TMediaTypeEnumerator final : public TCountedEnumerator<IEnumMediaTypes> {
 public:
  // Starts with one reference, for the caller.
  TMediaTypeEnumerator(std::vector<AM_MEDIA_TYPE> Types, ULONG Position = 0) noexcept
      : Types(std::move(Types)), Position(Position) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG Count, AM_MEDIA_TYPE** Out, ULONG* Fetched) noexcept override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG Count) noexcept override;
  HRESULT STDMETHODCALLTYPE Reset() noexcept override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** Copy) noexcept override;

 private:
  const std::vector<AM_MEDIA_TYPE> Types;  // no format blocks: nothing to free
  std::atomic<ULONG> Position;
};
