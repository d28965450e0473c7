#include "Progress.h"

#include <cstdio>

#include "Platform.h"

namespace kuzpack {

Progress::Progress(const char* Verb, std::uint64_t Total)
    : Verb(Verb), Total(Total), Shown(Total >= MinimumSize && StandardErrorIsTerminal()) {}

Progress::~Progress() {
  // Clears the bar's line.
  if (Shown && DrawnWidth > 0) std::fprintf(stderr, "\r%*s\r", DrawnWidth, "");
}

void Progress::Update(std::uint64_t Done) {
  if (!Shown) return;
  auto Now = std::chrono::steady_clock::now();
  if (Now - LastDrawn < std::chrono::milliseconds(100) && Done < Total) return;
  LastDrawn = Now;
  constexpr int Width = 30;
  int Percent = static_cast<int>(Done * 100 / Total);
  int Filled = Percent * Width / 100;
  char Bar[Width + 1];
  for (int I = 0; I < Width; ++I) Bar[I] = I < Filled ? '#' : '.';
  Bar[Width] = '\0';
  int Printed = std::fprintf(stderr, "\rkuzpack: %s [%s] %3d%% %.1f of %.1f MiB", Verb, Bar, Percent, Done / 1048576.0,
                            Total / 1048576.0);
  if (Printed - 1 > DrawnWidth) DrawnWidth = Printed - 1;
  std::fflush(stderr);
}

}  // namespace kuzpack
