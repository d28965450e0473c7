// Records every byte the filter's IAsyncReader hands to whoever pulls from it, by replacing the
// read entries of its vtable for the tap's lifetime. Shows what a real parser in a real graph
// actually received, which no call from outside could.
#pragma once

#include <dshow.h>

#include <cstdint>
#include <vector>

class ReadTap {
 public:
  struct Delivery {
    LONGLONG Position;
    std::vector<BYTE> Bytes;
  };

  explicit ReadTap(IAsyncReader* Reader);
  ~ReadTap();
  ReadTap(const ReadTap&) = delete;
  ReadTap& operator=(const ReadTap&) = delete;

  std::vector<Delivery> Deliveries() const;
  size_t Calls() const;
};
