// A byte source that reads ahead while its reads follow each other: the reader asks for one
// sealed chunk at a time, and a system read per 16 KiB chunk costs more than decrypting it.
// Sequential reads are served from a 1 MiB window, and the window after it is read on a thread
// of its own meanwhile, so that reading overlaps decrypting. Any other read goes through as it
// is: a seek costs no more than without the window. Memory stays at two windows whatever the
// file's size. Not thread-safe (the reader calls it under its lock); the prefetch thread touches
// only the window it fills, and the inner source sees one read at a time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "kuz/Io.h"

class TReadAheadSource final : public kuz::ByteSource {
 public:
  static constexpr std::size_t Window = 64 * 16400;  // 64 sealed chunks, about 1 MiB

  explicit TReadAheadSource(std::unique_ptr<kuz::ByteSource> Inner) noexcept : Inner(std::move(Inner)) {}
  // Stops the prefetch thread, if one runs.
  ~TReadAheadSource() override;
  TReadAheadSource(const TReadAheadSource&) = delete;
  TReadAheadSource& operator=(const TReadAheadSource&) = delete;

  kuz::Status Size(std::uint64_t& Size) noexcept override;
  kuz::Status ReadAt(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept override;

 private:
  struct TWindow {
    std::vector<std::uint8_t> Bytes;
    std::uint64_t Start = 0;
    bool Holds(std::uint64_t Offset, std::size_t Count) const noexcept {
      return Offset >= Start && Offset + Count <= Start + Bytes.size();
    }
    std::uint64_t End() const noexcept { return Start + Bytes.size(); }
  };
  enum class TPrefetch { Idle, Requested, Done, Failed };

  // Fills Target with the window at Start (shorter at the end of the file).
  kuz::Status Fill(TWindow& Target, std::uint64_t Start) noexcept;
  // Asks the prefetch thread for the window after the current one.
  void PrefetchAfterCurrent() noexcept;
  // Takes the prefetched window when it holds [Offset, Offset + Count); waits for it if needed.
  bool TakePrefetched(std::uint64_t Offset, std::size_t Count) noexcept;
  void Prefetcher() noexcept;

  kuz::Status ReadInner(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept;

  std::unique_ptr<kuz::ByteSource> Inner;
  std::mutex InnerLock;  // one inner read at a time, ours or the prefetch thread's
  std::uint64_t FileSize = 0;
  bool Sized = false;
  TWindow Current;
  std::uint64_t NextSequential = UINT64_MAX;  // where a read following the last one starts

  std::mutex Lock;
  std::condition_variable Changed;
  TWindow Ahead;  // the prefetch thread's while Requested, ours otherwise
  TPrefetch State = TPrefetch::Idle;
  bool Stopping = false;
  std::thread Thread;
};
