#include "OutputPin.h"

#include <vector>

#include "ComSupport.h"
#include "Enumerators.h"
#include "Filter.h"
#include "MediaTypes.h"

TOutputPin::~TOutputPin() { FreeMediaTypeContents(ConnectionType); }

bool TOutputPin::IsConnected() const noexcept {
  std::lock_guard Guard(Lock);
  return Connected != nullptr;
}

HRESULT STDMETHODCALLTYPE TOutputPin::QueryInterface(REFIID Iid, void** Out) noexcept {
  if (!Out) return E_POINTER;
  if (Iid == IID_IUnknown || Iid == IID_IPin) return HandOut(static_cast<IPin*>(this), Out);
  if (Iid == IID_IAsyncReader) {
    // A pulling input pin asks for this while it takes the connection.
    AsyncReaderAsked = true;
    return HandOut(static_cast<IAsyncReader*>(&Reader), Out);
  }
  *Out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TOutputPin::AddRef() noexcept { return Filter.AddRef(); }

ULONG STDMETHODCALLTYPE TOutputPin::Release() noexcept { return Filter.Release(); }

HRESULT STDMETHODCALLTYPE TOutputPin::Connect(IPin* Receiver, const AM_MEDIA_TYPE* Type) noexcept {
  if (!Receiver) return E_POINTER;
  {
    std::lock_guard Guard(Lock);
    if (Connected) return VFW_E_ALREADY_CONNECTED;
  }
  if (!Filter.IsStopped()) return VFW_E_NOT_STOPPED;
  if (!Source.Keyed()) return NTE_NO_KEY;

  return Guarded([&] {
    // Our types first, then whatever the receiver proposes that is a stream.
    HRESULT Last = VFW_E_NO_ACCEPTABLE_TYPES;
    for (const AM_MEDIA_TYPE& Offered : OfferedMediaTypes(Source.Subtype())) {
      if (!MatchesPartialType(Offered, Type)) continue;
      Last = TryConnection(Receiver, Offered);
      if (SUCCEEDED(Last)) return Last;
    }
    Microsoft::WRL::ComPtr<IEnumMediaTypes> Proposed;
    if (SUCCEEDED(Receiver->EnumMediaTypes(&Proposed)) && Proposed) {
      AM_MEDIA_TYPE* Candidate = nullptr;
      while (Proposed->Next(1, &Candidate, nullptr) == S_OK) {
        HRESULT Result = VFW_E_TYPE_NOT_ACCEPTED;
        if (AcceptableMediaType(*Candidate) && MatchesPartialType(*Candidate, Type))
          Result = TryConnection(Receiver, *Candidate);
        FreeMediaTypeContents(*Candidate);
        CoTaskMemFree(Candidate);
        if (SUCCEEDED(Result)) return Result;
        if (Result != VFW_E_TYPE_NOT_ACCEPTED) Last = Result;
      }
    }
    return Last;
  });
}

HRESULT TOutputPin::TryConnection(IPin* Receiver, const AM_MEDIA_TYPE& Type) noexcept {
  {
    std::lock_guard Guard(Lock);
    // Connected before the receiver is asked, so that it sees a connected pin.
    Connected = Receiver;
    FreeMediaTypeContents(ConnectionType);
    if (FAILED(CopyMediaType(Type, ConnectionType))) {
      Connected.Reset();
      return E_OUTOFMEMORY;
    }
  }
  AsyncReaderAsked = false;
  HRESULT Result = Receiver->ReceiveConnection(this, &Type);
  if (SUCCEEDED(Result) && !AsyncReaderAsked) {
    // A pin that does not pull through IAsyncReader would never read anything.
    Receiver->Disconnect();
    Result = VFW_E_NO_TRANSPORT;
  }
  if (FAILED(Result)) Forget();
  return Result;
}

void TOutputPin::Forget() noexcept {
  {
    std::lock_guard Guard(Lock);
    Connected.Reset();
    FreeMediaTypeContents(ConnectionType);
    ConnectionType = {};
  }
  Reader.Disconnected();
}

HRESULT STDMETHODCALLTYPE TOutputPin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) noexcept {
  return VFW_E_INVALID_DIRECTION;  // an output pin connects, it is not connected to
}

HRESULT STDMETHODCALLTYPE TOutputPin::Disconnect() noexcept {
  if (!Filter.IsStopped()) return VFW_E_NOT_STOPPED;
  if (!IsConnected()) return S_FALSE;
  Forget();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOutputPin::ConnectedTo(IPin** Pin) noexcept {
  if (!Pin) return E_POINTER;
  std::lock_guard Guard(Lock);
  *Pin = Connected.Get();
  if (!*Pin) return VFW_E_NOT_CONNECTED;
  (*Pin)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOutputPin::ConnectionMediaType(AM_MEDIA_TYPE* Type) noexcept {
  if (!Type) return E_POINTER;
  std::lock_guard Guard(Lock);
  if (!Connected) {
    *Type = {};
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(ConnectionType, *Type);
}

HRESULT STDMETHODCALLTYPE TOutputPin::QueryPinInfo(PIN_INFO* Info) noexcept {
  if (!Info) return E_POINTER;
  Info->pFilter = static_cast<IBaseFilter*>(&Filter);
  Info->pFilter->AddRef();
  Info->dir = PINDIR_OUTPUT;
  wcscpy(Info->achName, Name);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOutputPin::QueryDirection(PIN_DIRECTION* Direction) noexcept {
  if (!Direction) return E_POINTER;
  *Direction = PINDIR_OUTPUT;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TOutputPin::QueryId(LPWSTR* Id) noexcept { return TaskMemoryString(Name, Id); }

HRESULT STDMETHODCALLTYPE TOutputPin::QueryAccept(const AM_MEDIA_TYPE* Type) noexcept {
  if (!Type) return E_POINTER;
  return AcceptableMediaType(*Type) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TOutputPin::EnumMediaTypes(IEnumMediaTypes** Types) noexcept {
  if (!Types) return E_POINTER;
  *Types = nullptr;
  return Guarded([&] {
    // Without a key there is no plaintext to describe.
    std::vector<AM_MEDIA_TYPE> Offered;
    if (Source.Keyed()) Offered = OfferedMediaTypes(Source.Subtype());
    *Types = new TMediaTypeEnumerator(std::move(Offered));
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE TOutputPin::QueryInternalConnections(IPin**, ULONG*) noexcept { return E_NOTIMPL; }

// Stream control travels downstream from an input pin; an output pin takes none of it.
HRESULT STDMETHODCALLTYPE TOutputPin::EndOfStream() noexcept { return E_UNEXPECTED; }
HRESULT STDMETHODCALLTYPE TOutputPin::BeginFlush() noexcept { return E_UNEXPECTED; }
HRESULT STDMETHODCALLTYPE TOutputPin::EndFlush() noexcept { return E_UNEXPECTED; }
HRESULT STDMETHODCALLTYPE TOutputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) noexcept {
  return E_UNEXPECTED;
}
