#include "Enumerators.h"

#include <new>

#include "MediaTypes.h"

namespace {

// Next's result: S_OK when all Count were fetched, S_FALSE otherwise.
HRESULT NextResult(ULONG Done, ULONG Count, ULONG* Fetched) noexcept {
  if (Fetched) *Fetched = Done;
  return Done == Count ? S_OK : S_FALSE;
}

}  // namespace

HRESULT STDMETHODCALLTYPE TPinEnumerator::Next(ULONG Count, IPin** Pins, ULONG* Fetched) noexcept {
  if (!Pins) return E_POINTER;
  if (Count > 1 && !Fetched) return E_INVALIDARG;
  ULONG Done = 0;
  if (Count > 0 && Position.exchange(1) == 0) {
    Pins[0] = Pin.Get();
    Pins[0]->AddRef();
    Done = 1;
  }
  return NextResult(Done, Count, Fetched);
}

HRESULT STDMETHODCALLTYPE TPinEnumerator::Skip(ULONG Count) noexcept {
  const ULONG Before = Position.load();
  const ULONG After = Before + Count > 1 ? 1 : Before + Count;
  Position = After;
  return After - Before == Count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TPinEnumerator::Reset() noexcept {
  Position = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TPinEnumerator::Clone(IEnumPins** Copy) noexcept {
  if (!Copy) return E_POINTER;
  *Copy = new (std::nothrow) TPinEnumerator(Pin.Get(), Position.load());
  return *Copy ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE TMediaTypeEnumerator::Next(ULONG Count, AM_MEDIA_TYPE** Out,
                                                     ULONG* Fetched) noexcept {
  if (!Out) return E_POINTER;
  if (Count > 1 && !Fetched) return E_INVALIDARG;
  ULONG Done = 0;
  while (Done < Count) {
    const ULONG Index = Position.fetch_add(1);
    if (Index >= Types.size()) {
      Position = static_cast<ULONG>(Types.size());
      break;
    }
    Out[Done] = CreateMediaTypeCopy(Types[Index]);
    if (!Out[Done]) {
      for (ULONG I = 0; I < Done; ++I) CoTaskMemFree(Out[I]);
      if (Fetched) *Fetched = 0;
      return E_OUTOFMEMORY;
    }
    ++Done;
  }
  return NextResult(Done, Count, Fetched);
}

HRESULT STDMETHODCALLTYPE TMediaTypeEnumerator::Skip(ULONG Count) noexcept {
  const ULONG Size = static_cast<ULONG>(Types.size());
  const ULONG Before = Position.load();
  const ULONG After = Count > Size - std::min(Before, Size) ? Size : Before + Count;
  Position = After;
  return After - Before == Count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TMediaTypeEnumerator::Reset() noexcept {
  Position = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TMediaTypeEnumerator::Clone(IEnumMediaTypes** Copy) noexcept {
  if (!Copy) return E_POINTER;
  try {
    *Copy = new TMediaTypeEnumerator(Types, Position.load());
    return S_OK;
  } catch (const std::bad_alloc&) {
    *Copy = nullptr;
    return E_OUTOFMEMORY;
  }
}
