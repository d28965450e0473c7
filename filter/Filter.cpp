#include "Filter.h"

#include <new>

#include "ComSupport.h"
#include "Enumerators.h"
#include "MediaTypes.h"

HRESULT TCryptoSourceFilter::Create(IUnknown* Outer, REFIID Iid, void** Out) noexcept {
  if (!Out) return E_POINTER;
  *Out = nullptr;
  if (Outer) return CLASS_E_NOAGGREGATION;
  auto* Filter = new (std::nothrow) TCryptoSourceFilter;
  if (!Filter) return E_OUTOFMEMORY;
  const HRESULT Result = Filter->QueryInterface(Iid, Out);
  Filter->Release();
  return Result;
}

bool TCryptoSourceFilter::IsStopped() const noexcept {
  std::lock_guard Guard(Lock);
  return State == State_Stopped;
}

// IUnknown

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::QueryInterface(REFIID Iid, void** Out) noexcept {
  if (!Out) return E_POINTER;
  if (Iid == IID_IUnknown || Iid == IID_IPersist || Iid == IID_IMediaFilter || Iid == IID_IBaseFilter)
    return HandOut(static_cast<IBaseFilter*>(this), Out);
  if (Iid == IID_IFileSourceFilter) return HandOut(static_cast<IFileSourceFilter*>(this), Out);
  if (Iid == IID_IWQCryptoSourceControl) return HandOut(static_cast<IWQCryptoSourceControl*>(this), Out);
  *Out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TCryptoSourceFilter::AddRef() noexcept { return ++References; }

ULONG STDMETHODCALLTYPE TCryptoSourceFilter::Release() noexcept {
  const ULONG Left = --References;
  if (Left == 0) delete this;  // the plaintext wipes its key on the way
  return Left;
}

// IPersist

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::GetClassID(CLSID* Class) noexcept {
  if (!Class) return E_POINTER;
  *Class = CLSID_WQCryptoSource;
  return S_OK;
}

// IMediaFilter

HRESULT TCryptoSourceFilter::ChangeState(FILTER_STATE NewState) noexcept {
  std::lock_guard Guard(Lock);
  State = NewState;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::Stop() noexcept { return ChangeState(State_Stopped); }

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::Pause() noexcept { return ChangeState(State_Paused); }

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::Run(REFERENCE_TIME) noexcept { return ChangeState(State_Running); }

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::GetState(DWORD, FILTER_STATE* Current) noexcept {
  if (!Current) return E_POINTER;
  std::lock_guard Guard(Lock);
  *Current = State;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::SetSyncSource(IReferenceClock* NewClock) noexcept {
  std::lock_guard Guard(Lock);
  Clock = NewClock;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::GetSyncSource(IReferenceClock** Current) noexcept {
  if (!Current) return E_POINTER;
  std::lock_guard Guard(Lock);
  *Current = Clock.Get();
  if (*Current) (*Current)->AddRef();
  return S_OK;
}

// IBaseFilter

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::EnumPins(IEnumPins** Pins) noexcept {
  if (!Pins) return E_POINTER;
  *Pins = new (std::nothrow) TPinEnumerator(&Pin);
  return *Pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::FindPin(LPCWSTR Id, IPin** Found) noexcept {
  if (!Id || !Found) return E_POINTER;
  *Found = nullptr;
  if (wcscmp(Id, TOutputPin::Name) != 0) return VFW_E_NOT_FOUND;
  return HandOut(static_cast<IPin*>(&Pin), reinterpret_cast<void**>(Found));
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::QueryFilterInfo(FILTER_INFO* Info) noexcept {
  if (!Info) return E_POINTER;
  std::lock_guard Guard(Lock);
  const size_t Length = std::min(NameInGraph.size(), static_cast<size_t>(MAX_FILTER_NAME - 1));
  NameInGraph.copy(Info->achName, Length);
  Info->achName[Length] = L'\0';
  Info->pGraph = Graph;
  if (Graph) Graph->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::JoinFilterGraph(IFilterGraph* NewGraph, LPCWSTR Name) noexcept {
  return Guarded([&] {
    std::lock_guard Guard(Lock);
    Graph = NewGraph;
    NameInGraph = NewGraph && Name ? Name : L"";
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::QueryVendorInfo(LPWSTR* Info) noexcept {
  if (!Info) return E_POINTER;
  *Info = nullptr;
  return E_NOTIMPL;
}

// IFileSourceFilter

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::Load(LPCOLESTR Name, const AM_MEDIA_TYPE*) noexcept {
  if (!Name) return E_POINTER;
  if (Pin.IsConnected()) return VFW_E_ALREADY_CONNECTED;
  return Guarded([&] {
    std::wstring Requested(Name);
    {
      std::lock_guard Guard(Lock);
      FileName.clear();
    }
    const HRESULT Result = Plaintext.Load(Requested.c_str());
    if (SUCCEEDED(Result)) {
      std::lock_guard Guard(Lock);
      FileName = std::move(Requested);
    }
    return Result;
  });
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::GetCurFile(LPOLESTR* Name, AM_MEDIA_TYPE* Type) noexcept {
  if (!Name) return E_POINTER;
  *Name = nullptr;
  return Guarded([&] {
    std::wstring Current;
    {
      std::lock_guard Guard(Lock);
      Current = FileName;
    }
    if (Current.empty()) return E_FAIL;  // no file loaded
    HRESULT Result = TaskMemoryString(Current, Name);
    if (SUCCEEDED(Result) && Type) {
      Result = CopyMediaType(StreamMediaType(Plaintext.Subtype()), *Type);
      if (FAILED(Result)) {
        CoTaskMemFree(*Name);
        *Name = nullptr;
      }
    }
    return Result;
  });
}

// IWQCryptoSourceControl

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::SetKey(LPCSTR KeyText) noexcept {
  if (!KeyText) return E_POINTER;
  if (!Plaintext.Loaded()) return VFW_E_WRONG_STATE;
  if (Pin.IsConnected()) return VFW_E_ALREADY_CONNECTED;
  return Plaintext.SetKey(KeyText);
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::ClearKey() noexcept {
  Plaintext.ClearKey();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::GetPlainLength(LONGLONG* Length) noexcept {
  if (!Length) return E_POINTER;
  *Length = 0;
  if (!Plaintext.Loaded()) return VFW_E_WRONG_STATE;
  if (!Plaintext.Keyed()) return NTE_NO_KEY;
  *Length = Plaintext.Length();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::GetFormatVersion(DWORD* Version) noexcept {
  if (!Version) return E_POINTER;
  *Version = 0;
  if (!Plaintext.Loaded()) return VFW_E_WRONG_STATE;
  *Version = Plaintext.FormatVersion();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TCryptoSourceFilter::GetDataError(HRESULT* Error, LONGLONG* PlainOffset) noexcept {
  if (!Error || !PlainOffset) return E_POINTER;
  Plaintext.DataError(*Error, *PlainOffset);
  return S_OK;
}

void TCryptoSourceFilter::DataErrorFound(HRESULT Error) noexcept {
  Microsoft::WRL::ComPtr<IMediaEventSink> Events;
  {
    std::lock_guard Guard(Lock);
    if (Graph) Graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(Events.GetAddressOf()));
  }
  // Outside the lock: the graph may stop the filters in answer.
  if (Events) Events->Notify(EC_ERRORABORT, static_cast<LONG_PTR>(Error), 0);
}
