// IAsyncReader of the output pin: how parsers pull the plaintext. Requests queue up and are
// answered in order by WaitForNext, which reads them on the caller's thread; synchronous
// reads go straight to the plaintext. Positions and lengths must keep the alignment agreed in
// RequestAllocator (SyncRead excepted); a read that ends early reports S_FALSE; a flush fails
// new requests and hands back the queued ones.
#pragma once

#include <dshow.h>

#include <condition_variable>
#include <deque>
#include <mutex>

#include "Plaintext.h"

class TAsyncReader final : public IAsyncReader {
 public:
  // Owner gives identity and reference count: the reader is part of the pin.
  TAsyncReader(IPin& Owner, TPlaintext& Source) noexcept : Owner(Owner), Source(Source) {}
  TAsyncReader(const TAsyncReader&) = delete;
  TAsyncReader& operator=(const TAsyncReader&) = delete;

  // Forgets the agreed alignment and any queued request: the pin was disconnected.
  void Disconnected() noexcept;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Out) noexcept override;
  ULONG STDMETHODCALLTYPE AddRef() noexcept override;
  ULONG STDMETHODCALLTYPE Release() noexcept override;

  // IAsyncReader
  HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* Preferred, ALLOCATOR_PROPERTIES* Properties,
                                             IMemAllocator** Actual) noexcept override;
  HRESULT STDMETHODCALLTYPE Request(IMediaSample* Sample, DWORD_PTR User) noexcept override;
  HRESULT STDMETHODCALLTYPE WaitForNext(DWORD Timeout, IMediaSample** Sample, DWORD_PTR* User) noexcept override;
  HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* Sample) noexcept override;
  HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG Position, LONG Length, BYTE* Buffer) noexcept override;
  HRESULT STDMETHODCALLTYPE Length(LONGLONG* Total, LONGLONG* Available) noexcept override;
  HRESULT STDMETHODCALLTYPE BeginFlush() noexcept override;
  HRESULT STDMETHODCALLTYPE EndFlush() noexcept override;

 private:
  struct TRequest {
    IMediaSample* Sample;  // the caller keeps its reference while the request is out
    DWORD_PTR User;
    LONGLONG Start;
    LONG Length;
  };

  // The byte range a sample's times ask for, checked against the agreed alignment.
  HRESULT RangeOf(IMediaSample* Sample, LONGLONG& Start, LONG& Length) const noexcept;
  // Reads the range into the sample; a short read shortens its stop time.
  HRESULT Fill(IMediaSample* Sample, LONGLONG Start, LONG Length) noexcept;

  IPin& Owner;
  TPlaintext& Source;

  mutable std::mutex Lock;
  std::condition_variable Changed;
  std::deque<TRequest> Queue;
  bool Flushing = false;
  LONG Alignment = 1;
};
