// The backends built into this program; each lives in its own folder (openssl/, cng/).
#pragma once

#include "kuz/Crypto.h"

namespace kuz {

#if defined(KUZ_HAVE_OPENSSL)
const CryptoBackend& OpenSslBackend() noexcept;
#endif
#if defined(KUZ_HAVE_CNG)
const CryptoBackend& CngBackend() noexcept;
#endif

}  // namespace kuz
