// A sink that passes its bytes on to another sink from a background thread, so that writing to
// disk overlaps the crypto. Two buffers: constant memory.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "kuz/Io.h"

namespace kuzpack {

class WriteBehind final : public kuz::ByteSink {
 public:
  static constexpr std::size_t DefaultBufferSize = 4u << 20;

  explicit WriteBehind(kuz::ByteSink& Target, std::size_t BufferSize = DefaultBufferSize);
  // Stops the thread; bytes not yet handed over by Finish are dropped.
  ~WriteBehind() override;
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Copies into the buffer being filled; a full buffer goes to the thread. Fails with the
  // target's first error.
  kuz::Status Write(std::span<const std::uint8_t> Data) noexcept override;

  // Hands over the rest and waits until the target has it all.
  kuz::Status Finish() noexcept;

 private:
  kuz::Status HandOver() noexcept;
  void Run() noexcept;

  kuz::ByteSink& Target;
  std::vector<std::uint8_t> Filling;
  std::size_t Filled = 0;
  std::vector<std::uint8_t> Pending;  // the thread's, while PendingSize > 0
  std::size_t PendingSize = 0;
  bool Stopping = false;
  kuz::Status FirstError;
  std::mutex Lock;
  std::condition_variable Changed;
  std::thread Worker;  // last: starts once everything above is ready
};

}  // namespace kuzpack
