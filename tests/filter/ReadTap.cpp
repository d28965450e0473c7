#include "ReadTap.h"

#include <mutex>

namespace {

// Positions of IAsyncReader's methods in its vtable, after IUnknown's three.
enum Slot : int { WaitForNextSlot = 5, SyncReadAlignedSlot = 6, SyncReadSlot = 7, LengthSlot = 8 };

using WaitForNextFunction = HRESULT(STDMETHODCALLTYPE*)(IAsyncReader*, DWORD, IMediaSample**, DWORD_PTR*);
using SyncReadAlignedFunction = HRESULT(STDMETHODCALLTYPE*)(IAsyncReader*, IMediaSample*);
using SyncReadFunction = HRESULT(STDMETHODCALLTYPE*)(IAsyncReader*, LONGLONG, LONG, BYTE*);
using LengthFunction = HRESULT(STDMETHODCALLTYPE*)(IAsyncReader*, LONGLONG*, LONGLONG*);

std::mutex Lock;
void** Table = nullptr;
void* Originals[9] = {};
std::vector<ReadTap::Delivery> Recorded;
size_t CallCount = 0;

void Record(LONGLONG Position, const BYTE* Data, size_t Count) {
  std::lock_guard Guard(Lock);
  Recorded.push_back({Position, std::vector<BYTE>(Data, Data + Count)});
}

void RecordSample(IMediaSample* Sample) {
  REFERENCE_TIME Start = 0, Stop = 0;
  BYTE* Data = nullptr;
  if (FAILED(Sample->GetTime(&Start, &Stop)) || FAILED(Sample->GetPointer(&Data))) return;
  Record(Start / 10000000, Data, static_cast<size_t>(Sample->GetActualDataLength()));
}

HRESULT STDMETHODCALLTYPE TappedWaitForNext(IAsyncReader* This, DWORD Timeout, IMediaSample** Sample, DWORD_PTR* User) {
  const HRESULT Result = reinterpret_cast<WaitForNextFunction>(Originals[WaitForNextSlot])(This, Timeout, Sample, User);
  { std::lock_guard Guard(Lock); ++CallCount; }
  if (SUCCEEDED(Result) && Sample && *Sample) RecordSample(*Sample);
  return Result;
}

HRESULT STDMETHODCALLTYPE TappedSyncReadAligned(IAsyncReader* This, IMediaSample* Sample) {
  const HRESULT Result = reinterpret_cast<SyncReadAlignedFunction>(Originals[SyncReadAlignedSlot])(This, Sample);
  { std::lock_guard Guard(Lock); ++CallCount; }
  if (SUCCEEDED(Result)) RecordSample(Sample);
  return Result;
}

HRESULT STDMETHODCALLTYPE TappedSyncRead(IAsyncReader* This, LONGLONG Position, LONG Length, BYTE* Buffer) {
  const HRESULT Result = reinterpret_cast<SyncReadFunction>(Originals[SyncReadSlot])(This, Position, Length, Buffer);
  { std::lock_guard Guard(Lock); ++CallCount; }
  if (SUCCEEDED(Result)) {
    LONGLONG Total = 0, Available = 0;
    reinterpret_cast<LengthFunction>(Originals[LengthSlot])(This, &Total, &Available);
    const LONGLONG Count = std::max<LONGLONG>(0, std::min<LONGLONG>(Length, Total - Position));
    Record(Position, Buffer, static_cast<size_t>(Count));
  }
  return Result;
}

void Patch(int Index, void* Function) {
  DWORD Protection = 0;
  VirtualProtect(&Table[Index], sizeof(void*), PAGE_READWRITE, &Protection);
  Table[Index] = Function;
  VirtualProtect(&Table[Index], sizeof(void*), Protection, &Protection);
}

}  // namespace

ReadTap::ReadTap(IAsyncReader* Reader) {
  std::lock_guard Guard(Lock);
  Table = *reinterpret_cast<void***>(Reader);
  for (int Index : {WaitForNextSlot, SyncReadAlignedSlot, SyncReadSlot, LengthSlot}) Originals[Index] = Table[Index];
  Recorded.clear();
  CallCount = 0;
  Patch(WaitForNextSlot, reinterpret_cast<void*>(&TappedWaitForNext));
  Patch(SyncReadAlignedSlot, reinterpret_cast<void*>(&TappedSyncReadAligned));
  Patch(SyncReadSlot, reinterpret_cast<void*>(&TappedSyncRead));
}

ReadTap::~ReadTap() {
  std::lock_guard Guard(Lock);
  for (int Index : {WaitForNextSlot, SyncReadAlignedSlot, SyncReadSlot}) Patch(Index, Originals[Index]);
}

std::vector<ReadTap::Delivery> ReadTap::Deliveries() const {
  std::lock_guard Guard(Lock);
  return Recorded;
}

size_t ReadTap::Calls() const {
  std::lock_guard Guard(Lock);
  return CallCount;
}
