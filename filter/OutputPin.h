// The filter's one output pin, "Out": offers the plaintext as a byte stream and connects only
// to input pins that pull it through IAsyncReader.
#pragma once

#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <mutex>

#include "AsyncReader.h"
#include "Plaintext.h"

class TCryptoSourceFilter;

class TOutputPin final : public IPin {
 public:
  static constexpr wchar_t Name[] = L"Out";

  TOutputPin(TCryptoSourceFilter& Filter, TPlaintext& Source) noexcept
      : Filter(Filter), Source(Source), Reader(*this, Source) {}
  ~TOutputPin();
  TOutputPin(const TOutputPin&) = delete;
  TOutputPin& operator=(const TOutputPin&) = delete;

  bool IsConnected() const noexcept;

  // IUnknown: the filter's identity and count; QueryInterface adds IAsyncReader.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Out) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;

  // IPin
  HRESULT STDMETHODCALLTYPE Connect(IPin* Receiver, const AM_MEDIA_TYPE* Type) noexcept override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* Connector, const AM_MEDIA_TYPE* Type) noexcept override;
  HRESULT STDMETHODCALLTYPE Disconnect() noexcept override;
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** Pin) noexcept override;
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* Type) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* Info) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* Direction) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* Id) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* Type) noexcept override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** Types) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** Pins, ULONG* Count) noexcept override;
  HRESULT STDMETHODCALLTYPE EndOfStream() noexcept override;
  HRESULT STDMETHODCALLTYPE BeginFlush() noexcept override;
  HRESULT STDMETHODCALLTYPE EndFlush() noexcept override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME Start, REFERENCE_TIME Stop, double Rate) noexcept override;

 private:
  // Offers Type to Receiver; succeeds only if Receiver took it and asked for IAsyncReader.
  HRESULT TryConnection(IPin* Receiver, const AM_MEDIA_TYPE& Type) noexcept;
  void Forget() noexcept;

  TCryptoSourceFilter& Filter;
  TPlaintext& Source;
  TAsyncReader Reader;

  mutable std::mutex Lock;
  Microsoft::WRL::ComPtr<IPin> Connected;
  AM_MEDIA_TYPE ConnectionType = {};
  std::atomic<bool> AsyncReaderAsked{false};
};
