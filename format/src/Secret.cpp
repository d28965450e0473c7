#include "kuz/Secret.h"

#include <cstring>

namespace kuz {

void SecureWipe(void* Data, std::size_t Size) noexcept {
  if (Size == 0) return;
  std::memset(Data, 0, Size);
  // The empty asm "reads" the memory, so the stores above cannot be dropped as dead.
  __asm__ __volatile__("" : : "r"(Data) : "memory");
}

}  // namespace kuz
