// The decrypting source filter, CLSID_WQCryptoSource: loads a .kuz file, takes its key, and
// offers the authenticated plaintext on its output pin "Out" as a byte stream that any parser
// pulls through IAsyncReader. One object offers IBaseFilter, IFileSourceFilter and
// IWQCryptoSourceControl; its pin shares its identity and count.
#pragma once

#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <mutex>
#include <string>

#include "Module.h"
#include "OutputPin.h"
#include "Plaintext.h"
#include "WQCryptoTypes.h"

class TCryptoSourceFilter final : public IBaseFilter,
                                  public IFileSourceFilter,
                                  public IWQCryptoSourceControl,
                                  private IDataErrorListener,
                                  private TModuleObject {
 public:
  // The class factory's CreateInstance.
  static HRESULT Create(IUnknown* Outer, REFIID Iid, void** Out) noexcept;

  bool IsStopped() const noexcept;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Out) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;

  // IPersist
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* Class) noexcept override;

  // IMediaFilter: a pull source has nothing to start or stop; it only keeps the state.
  HRESULT STDMETHODCALLTYPE Stop() noexcept override;
  HRESULT STDMETHODCALLTYPE Pause() noexcept override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME Start) noexcept override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD Timeout, FILTER_STATE* State) noexcept override;
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* Clock) noexcept override;
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** Clock) noexcept override;

  // IBaseFilter
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** Pins) noexcept override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR Id, IPin** Pin) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* Info) noexcept override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* Graph, LPCWSTR Name) noexcept override;
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* Info) noexcept override;

  // IFileSourceFilter
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR FileName, const AM_MEDIA_TYPE* Type) noexcept override;
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* FileName, AM_MEDIA_TYPE* Type) noexcept override;

  // IWQCryptoSourceControl
  HRESULT STDMETHODCALLTYPE SetKey(LPCSTR KeyText) noexcept override;
  HRESULT STDMETHODCALLTYPE ClearKey() noexcept override;
  HRESULT STDMETHODCALLTYPE GetPlainLength(LONGLONG* Length) noexcept override;
  HRESULT STDMETHODCALLTYPE GetFormatVersion(DWORD* Version) noexcept override;
  HRESULT STDMETHODCALLTYPE GetDataError(HRESULT* Error, LONGLONG* PlainOffset) noexcept override;

 private:
  TCryptoSourceFilter() noexcept = default;
  ~TCryptoSourceFilter() = default;

  HRESULT ChangeState(FILTER_STATE NewState) noexcept;
  // Sends the graph an error event: parsers leave reporting a failed read to the source.
  void DataErrorFound(HRESULT Error) noexcept override;

  std::atomic<ULONG> References{1};

  mutable std::mutex Lock;
  FILTER_STATE State = State_Stopped;
  IFilterGraph* Graph = nullptr;  // not counted: the graph holds the filter, not the reverse
  std::wstring NameInGraph;
  Microsoft::WRL::ComPtr<IReferenceClock> Clock;
  std::wstring FileName;

  TPlaintext Plaintext{*this};
  TOutputPin Pin{*this, Plaintext};
};
