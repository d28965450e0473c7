#include "WriteBehind.h"

#include <algorithm>
#include <cstring>

namespace kuzpack {

WriteBehind::WriteBehind(kuz::ByteSink& Target, std::size_t BufferSize)
    : Target(Target), Filling(BufferSize), Pending(BufferSize), Worker([this] { Run(); }) {}

WriteBehind::~WriteBehind() {
  {
    std::lock_guard<std::mutex> Guard(Lock);
    Stopping = true;
  }
  Changed.notify_all();
  Worker.join();
}

void WriteBehind::Run() noexcept {
  std::unique_lock<std::mutex> Guard(Lock);
  for (;;) {
    Changed.wait(Guard, [this] { return PendingSize > 0 || Stopping; });
    if (PendingSize == 0) return;
    // The buffer is the thread's until PendingSize goes back to 0.
    Guard.unlock();
    kuz::Status Written = FirstError.Ok() ? Target.Write(std::span(Pending).first(PendingSize)) : kuz::Success();
    Guard.lock();
    if (FirstError.Ok()) FirstError = Written;
    PendingSize = 0;
    Changed.notify_all();
  }
}

kuz::Status WriteBehind::HandOver() noexcept {
  std::unique_lock<std::mutex> Guard(Lock);
  Changed.wait(Guard, [this] { return PendingSize == 0; });
  if (!FirstError.Ok()) return FirstError;
  if (Filled == 0) return kuz::Success();
  Filling.swap(Pending);
  PendingSize = Filled;
  Filled = 0;
  Changed.notify_all();
  return kuz::Success();
}

kuz::Status WriteBehind::Write(std::span<const std::uint8_t> Data) noexcept {
  while (!Data.empty()) {
    std::size_t Take = std::min(Filling.size() - Filled, Data.size());
    std::memcpy(Filling.data() + Filled, Data.data(), Take);
    Filled += Take;
    Data = Data.subspan(Take);
    if (Filled == Filling.size()) {
      if (kuz::Status Handed = HandOver(); !Handed.Ok()) return Handed;
    }
  }
  return kuz::Success();
}

kuz::Status WriteBehind::Finish() noexcept {
  if (kuz::Status Handed = HandOver(); !Handed.Ok()) return Handed;
  std::unique_lock<std::mutex> Guard(Lock);
  Changed.wait(Guard, [this] { return PendingSize == 0; });
  return FirstError;
}

}  // namespace kuzpack
