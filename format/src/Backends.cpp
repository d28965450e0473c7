#include "Backends.h"

namespace kuz {

std::span<const CryptoBackend* const> AvailableBackends() noexcept {
  // A function-local table, so it is complete even when used during static initialisation.
  static const CryptoBackend* const Built[] = {
#if defined(KUZ_HAVE_CNG)
      &CngBackend(),
#endif
#if defined(KUZ_HAVE_OPENSSL)
      &OpenSslBackend(),
#endif
  };
  return Built;
}

const CryptoBackend& DefaultBackend() noexcept { return *AvailableBackends()[0]; }

}  // namespace kuz
