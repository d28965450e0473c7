#include "ReadAheadSource.h"

#include <algorithm>
#include <cstring>
#include <new>

TReadAheadSource::~TReadAheadSource() {
  {
    std::lock_guard Guard(Lock);
    Stopping = true;
  }
  Changed.notify_all();
  if (Thread.joinable()) Thread.join();
}

kuz::Status TReadAheadSource::Size(std::uint64_t& Size) noexcept {
  if (!Sized) {
    if (kuz::Status Result = Inner->Size(FileSize); !Result.Ok()) return Result;
    Sized = true;
  }
  Size = FileSize;
  return kuz::Success();
}

kuz::Status TReadAheadSource::ReadInner(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept {
  std::lock_guard Guard(InnerLock);
  return Inner->ReadAt(Offset, Out);
}

kuz::Status TReadAheadSource::Fill(TWindow& Target, std::uint64_t Start) noexcept {
  const std::uint64_t Length = std::min<std::uint64_t>(Window, FileSize > Start ? FileSize - Start : 0);
  try {
    Target.Bytes.resize(static_cast<std::size_t>(Length));
  } catch (const std::bad_alloc&) {
    Target.Bytes.clear();
    return kuz::Failure(kuz::Error::OutOfMemory);
  }
  Target.Start = Start;
  kuz::Status Result = ReadInner(Start, Target.Bytes);
  if (!Result.Ok()) Target.Bytes.clear();
  return Result;
}

kuz::Status TReadAheadSource::ReadAt(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept {
  const bool Sequential = Offset == NextSequential;
  NextSequential = Offset + Out.size();
  std::uint64_t Ignored = 0;
  if (kuz::Status Known = Size(Ignored); !Known.Ok()) return Known;

  if (!Current.Holds(Offset, Out.size())) {
    if (!Sequential || Out.size() >= Window) return ReadInner(Offset, Out);
    if (!TakePrefetched(Offset, Out.size())) {
      if (FileSize < Offset + Out.size()) return ReadInner(Offset, Out);  // reports the short file
      if (kuz::Status Read = Fill(Current, Offset); !Read.Ok()) return ReadInner(Offset, Out);
    }
  }
  std::memcpy(Out.data(), Current.Bytes.data() + (Offset - Current.Start), Out.size());
  // Past the middle of the window: time to read the next one, on the other thread.
  if (Sequential && Offset + Out.size() > Current.Start + Current.Bytes.size() / 2) PrefetchAfterCurrent();
  return kuz::Success();
}

void TReadAheadSource::PrefetchAfterCurrent() noexcept {
  if (Current.End() >= FileSize) return;
  std::unique_lock Guard(Lock);
  if (State != TPrefetch::Idle) return;
  if (!Thread.joinable()) {
    try {
      Thread = std::thread(&TReadAheadSource::Prefetcher, this);
    } catch (...) {
      return;  // no thread: reads stay synchronous
    }
  }
  Ahead.Start = Current.End();
  State = TPrefetch::Requested;
  Guard.unlock();
  Changed.notify_all();
}

bool TReadAheadSource::TakePrefetched(std::uint64_t Offset, std::size_t Count) noexcept {
  std::unique_lock Guard(Lock);
  if (State == TPrefetch::Idle) return false;
  Changed.wait(Guard, [&] { return State != TPrefetch::Requested; });
  const bool Usable = State == TPrefetch::Done && Ahead.Holds(Offset, Count);
  State = TPrefetch::Idle;
  if (Usable) std::swap(Current, Ahead);
  return Usable;
}

void TReadAheadSource::Prefetcher() noexcept {
  std::unique_lock Guard(Lock);
  for (;;) {
    Changed.wait(Guard, [&] { return Stopping || State == TPrefetch::Requested; });
    if (Stopping) return;
    const std::uint64_t Start = Ahead.Start;
    Guard.unlock();
    const bool Read = Fill(Ahead, Start).Ok();
    Guard.lock();
    State = Read ? TPrefetch::Done : TPrefetch::Failed;
    Changed.notify_all();
  }
}
