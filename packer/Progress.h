// A progress bar on standard error, shown only when it is a terminal and the file is large.
#pragma once

#include <chrono>
#include <cstdint>

namespace kuzpack {

class Progress {
 public:
  static constexpr std::uint64_t MinimumSize = 64ull << 20;

  Progress(const char* Verb, std::uint64_t Total);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Update(std::uint64_t Done);

 private:
  const char* Verb;
  std::uint64_t Total;
  bool Shown;
  int DrawnWidth = 0;  // the widest line drawn, without its carriage return
  std::chrono::steady_clock::time_point LastDrawn;
};

}  // namespace kuzpack
