#include "AsyncReader.h"

#include <wrl/client.h>

#include <chrono>

#include "ComSupport.h"

namespace {

// Sample times hold byte positions times this.
constexpr LONGLONG BytePositionUnits = 10000000;

bool Aligned(LONGLONG Value, LONG Alignment) noexcept { return Value % Alignment == 0; }

}  // namespace

void TAsyncReader::Disconnected() noexcept {
  std::lock_guard Guard(Lock);
  Queue.clear();
  Flushing = false;
  Alignment = 1;
  Changed.notify_all();
}

HRESULT STDMETHODCALLTYPE TAsyncReader::QueryInterface(REFIID Iid, void** Out) noexcept {
  return Owner.QueryInterface(Iid, Out);
}

ULONG STDMETHODCALLTYPE TAsyncReader::AddRef() noexcept { return Owner.AddRef(); }

ULONG STDMETHODCALLTYPE TAsyncReader::Release() noexcept { return Owner.Release(); }

HRESULT STDMETHODCALLTYPE TAsyncReader::RequestAllocator(IMemAllocator* Preferred,
                                                         ALLOCATOR_PROPERTIES* Properties,
                                                         IMemAllocator** Actual) noexcept {
  if (!Properties || !Actual) return E_POINTER;
  *Actual = nullptr;
  ALLOCATOR_PROPERTIES Wanted = *Properties;
  if (Wanted.cbAlign < 1) Wanted.cbAlign = 1;

  auto Agree = [&](IMemAllocator* Allocator) -> HRESULT {
    ALLOCATOR_PROPERTIES Got = {};
    const HRESULT Result = Allocator->SetProperties(&Wanted, &Got);
    if (FAILED(Result)) return Result;
    {
      std::lock_guard Guard(Lock);
      Alignment = Got.cbAlign > 0 ? Got.cbAlign : 1;
    }
    *Actual = Allocator;
    Allocator->AddRef();
    return S_OK;
  };

  // Any alignment suits the plaintext: the caller's allocator is taken when it agrees.
  if (Preferred && SUCCEEDED(Agree(Preferred))) return S_OK;
  Microsoft::WRL::ComPtr<IMemAllocator> Own;
  const HRESULT Created = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IMemAllocator, reinterpret_cast<void**>(Own.GetAddressOf()));
  if (FAILED(Created)) return Created;
  return Agree(Own.Get());
}

HRESULT TAsyncReader::RangeOf(IMediaSample* Sample, LONGLONG& Start, LONG& Length) const noexcept {
  REFERENCE_TIME StartTime = 0;
  REFERENCE_TIME StopTime = 0;
  if (FAILED(Sample->GetTime(&StartTime, &StopTime))) return VFW_E_SAMPLE_TIME_NOT_SET;
  Start = StartTime / BytePositionUnits;
  const LONGLONG Stop = StopTime / BytePositionUnits;
  if (Start < 0 || Stop < Start || Stop - Start > Sample->GetSize()) return E_INVALIDARG;
  Length = static_cast<LONG>(Stop - Start);
  BYTE* Buffer = nullptr;
  if (FAILED(Sample->GetPointer(&Buffer)) || !Buffer) return E_POINTER;
  std::lock_guard Guard(Lock);
  const bool BufferAligned = reinterpret_cast<UINT_PTR>(Buffer) % static_cast<UINT_PTR>(Alignment) == 0;
  if (!Aligned(Start, Alignment) || !Aligned(Length, Alignment) || !BufferAligned) return VFW_E_BADALIGN;
  return S_OK;
}

HRESULT TAsyncReader::Fill(IMediaSample* Sample, LONGLONG Start, LONG Length) noexcept {
  BYTE* Buffer = nullptr;
  HRESULT Result = Sample->GetPointer(&Buffer);
  if (FAILED(Result)) return Result;
  LONG Done = 0;
  Result = Source.Read(Start, Buffer, Length, Done);
  Sample->SetActualDataLength(Done);
  if (FAILED(Result)) return Result;
  if (Done < Length) {
    // The stop time was aligned past the end: it now says where the data ended.
    REFERENCE_TIME StartTime = Start * BytePositionUnits;
    REFERENCE_TIME StopTime = (Start + Done) * BytePositionUnits;
    Sample->SetTime(&StartTime, &StopTime);
  }
  return Result;
}

HRESULT STDMETHODCALLTYPE TAsyncReader::Request(IMediaSample* Sample, DWORD_PTR User) noexcept {
  if (!Sample) return E_POINTER;
  LONGLONG Start = 0;
  LONG Count = 0;
  const HRESULT Valid = RangeOf(Sample, Start, Count);
  if (FAILED(Valid)) return Valid;
  if (!Source.Keyed()) return NTE_NO_KEY;
  if (Start >= Source.Length()) return HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
  return Guarded([&] {
    std::lock_guard Guard(Lock);
    if (Flushing) return VFW_E_WRONG_STATE;
    Queue.push_back({Sample, User, Start, Count});
    Changed.notify_one();
    return S_OK;
  });
}

HRESULT STDMETHODCALLTYPE TAsyncReader::WaitForNext(DWORD Timeout, IMediaSample** Sample,
                                                    DWORD_PTR* User) noexcept {
  if (!Sample || !User) return E_POINTER;
  *Sample = nullptr;
  *User = 0;
  TRequest Next;
  {
    std::unique_lock Guard(Lock);
    auto Ready = [&] { return !Queue.empty() || Flushing; };
    if (Timeout == INFINITE) {
      Changed.wait(Guard, Ready);
    } else if (!Changed.wait_for(Guard, std::chrono::milliseconds(Timeout), Ready)) {
      return VFW_E_TIMEOUT;
    }
    if (Queue.empty()) return VFW_E_WRONG_STATE;  // flushing, nothing left to hand back
    Next = Queue.front();
    Queue.pop_front();
    if (Flushing) {
      // Handed back unread, so that the caller can release it.
      Next.Sample->SetActualDataLength(0);
      *Sample = Next.Sample;
      *User = Next.User;
      return VFW_E_WRONG_STATE;
    }
  }
  const HRESULT Result = Fill(Next.Sample, Next.Start, Next.Length);
  *Sample = Next.Sample;
  *User = Next.User;
  return Result;
}

HRESULT STDMETHODCALLTYPE TAsyncReader::SyncReadAligned(IMediaSample* Sample) noexcept {
  if (!Sample) return E_POINTER;
  LONGLONG Start = 0;
  LONG Count = 0;
  const HRESULT Valid = RangeOf(Sample, Start, Count);
  if (FAILED(Valid)) return Valid;
  return Fill(Sample, Start, Count);
}

HRESULT STDMETHODCALLTYPE TAsyncReader::SyncRead(LONGLONG Position, LONG Count, BYTE* Buffer) noexcept {
  if (!Buffer && Count > 0) return E_POINTER;
  if (Position < 0 || Count < 0) return E_INVALIDARG;
  LONG Done = 0;
  return Source.Read(Position, Buffer, Count, Done);
}

HRESULT STDMETHODCALLTYPE TAsyncReader::Length(LONGLONG* Total, LONGLONG* Available) noexcept {
  if (!Total || !Available) return E_POINTER;
  *Total = *Available = 0;
  if (!Source.Keyed()) return NTE_NO_KEY;
  *Total = *Available = Source.Length();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TAsyncReader::BeginFlush() noexcept {
  std::lock_guard Guard(Lock);
  Flushing = true;
  Changed.notify_all();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TAsyncReader::EndFlush() noexcept {
  std::lock_guard Guard(Lock);
  Flushing = false;
  return S_OK;
}
