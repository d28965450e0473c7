// The OpenSSL (libcrypto) backend: EVP AES-128-GCM, EVP_MAC HMAC, and getrandom(2).
#include <openssl/evp.h>
#include <openssl/params.h>
#include <sys/random.h>

#include <cerrno>
#include <climits>

#include "Backends.h"
#include "kuz/Format.h"
#include "kuz/Secret.h"

namespace kuz {

namespace {

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* Context) const noexcept { EVP_CIPHER_CTX_free(Context); }
};
struct MacContextFree {
  void operator()(EVP_MAC_CTX* Context) const noexcept { EVP_MAC_CTX_free(Context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;
using MacContext = std::unique_ptr<EVP_MAC_CTX, MacContextFree>;

// One context per direction, each keyed once; a chunk only sets the nonce.
class OpenSslChunkCipher final : public ChunkCipher {
 public:
  bool Init(std::span<const std::uint8_t, AeadKeySize> Key) noexcept {
    Encrypt.reset(EVP_CIPHER_CTX_new());
    Decrypt.reset(EVP_CIPHER_CTX_new());
    return Encrypt && Decrypt &&
           EVP_EncryptInit_ex(Encrypt.get(), EVP_aes_128_gcm(), nullptr, Key.data(), nullptr) == 1 &&
           EVP_DecryptInit_ex(Decrypt.get(), EVP_aes_128_gcm(), nullptr, Key.data(), nullptr) == 1;
  }

  bool Seal(NonceSpan Nonce, std::span<const std::uint8_t> Plain, std::span<std::uint8_t> Out) noexcept override {
    if (Out.size() != Plain.size() + TagSize || Plain.size() > INT_MAX) return false;
    EVP_CIPHER_CTX* C = Encrypt.get();
    int Length = 0;
    if (EVP_EncryptInit_ex(C, nullptr, nullptr, nullptr, Nonce.data()) != 1) return false;
    if (!Plain.empty() && EVP_EncryptUpdate(C, Out.data(), &Length, Plain.data(), static_cast<int>(Plain.size())) != 1)
      return false;
    int Tail = 0;
    if (EVP_EncryptFinal_ex(C, Out.data() + Length, &Tail) != 1) return false;
    return EVP_CIPHER_CTX_ctrl(C, EVP_CTRL_GCM_GET_TAG, static_cast<int>(TagSize), Out.data() + Plain.size()) == 1;
  }

  bool Open(NonceSpan Nonce, std::span<const std::uint8_t> Sealed, std::span<std::uint8_t> Out) noexcept override {
    if (Sealed.size() < TagSize || Out.size() != Sealed.size() - TagSize || Out.size() > INT_MAX) return false;
    if (!Authenticate(Nonce, Sealed, Out)) {
      SecureWipe(Out.data(), Out.size());
      return false;
    }
    return true;
  }

 private:
  bool Authenticate(NonceSpan Nonce, std::span<const std::uint8_t> Sealed, std::span<std::uint8_t> Out) noexcept {
    EVP_CIPHER_CTX* C = Decrypt.get();
    const std::size_t Size = Out.size();
    int Length = 0;
    if (EVP_DecryptInit_ex(C, nullptr, nullptr, nullptr, Nonce.data()) != 1) return false;
    if (Size > 0 && EVP_DecryptUpdate(C, Out.data(), &Length, Sealed.data(), static_cast<int>(Size)) != 1) return false;
    // The tag length is fixed here, never taken from the data.
    if (EVP_CIPHER_CTX_ctrl(C, EVP_CTRL_GCM_SET_TAG, static_cast<int>(TagSize),
                            const_cast<std::uint8_t*>(Sealed.data() + Size)) != 1)
      return false;
    int Tail = 0;
    return EVP_DecryptFinal_ex(C, Out.data() + Length, &Tail) == 1;
  }

  CipherContext Encrypt;
  CipherContext Decrypt;
};

class OpenSslBackendImpl final : public CryptoBackend {
 public:
  const char* Name() const noexcept override { return "OpenSSL"; }

  Status NewChunkCipher(std::span<const std::uint8_t, AeadKeySize> Key,
                        std::unique_ptr<ChunkCipher>& Cipher) const noexcept override {
    Cipher.reset();
    std::unique_ptr<OpenSslChunkCipher> Made(new (std::nothrow) OpenSslChunkCipher());
    if (!Made) return Failure(Error::OutOfMemory);
    if (!Made->Init(Key)) return Failure(Error::CryptoFailure);
    Cipher = std::move(Made);
    return Success();
  }

  bool HmacSha512(std::span<const std::uint8_t> Key, std::span<const std::span<const std::uint8_t>> Parts,
                  std::span<std::uint8_t, Sha512Size> Mac) const noexcept override {
    static EVP_MAC* const Hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    if (!Hmac) return false;
    MacContext Context(EVP_MAC_CTX_new(Hmac));
    if (!Context) return false;
    char Digest[] = "SHA512";
    OSSL_PARAM Params[] = {OSSL_PARAM_construct_utf8_string("digest", Digest, 0), OSSL_PARAM_construct_end()};
    if (EVP_MAC_init(Context.get(), Key.data(), Key.size(), Params) != 1) return false;
    for (auto Part : Parts)
      if (!Part.empty() && EVP_MAC_update(Context.get(), Part.data(), Part.size()) != 1) return false;
    std::size_t Length = 0;
    return EVP_MAC_final(Context.get(), Mac.data(), &Length, Mac.size()) == 1 && Length == Sha512Size;
  }

  bool Sha512(std::span<const std::uint8_t> Data, std::span<std::uint8_t, Sha512Size> Digest) const noexcept override {
    unsigned int Length = 0;
    return EVP_Digest(Data.data(), Data.size(), Digest.data(), &Length, EVP_sha512(), nullptr) == 1 &&
           Length == Sha512Size;
  }

  bool RandomBytes(std::span<std::uint8_t> Out) const noexcept override {
    std::size_t Done = 0;
    while (Done < Out.size()) {
      ssize_t Got = getrandom(Out.data() + Done, Out.size() - Done, 0);
      if (Got < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      Done += static_cast<std::size_t>(Got);
    }
    return true;
  }
};

}  // namespace

const CryptoBackend& OpenSslBackend() noexcept {
  static const OpenSslBackendImpl Backend;
  return Backend;
}

}  // namespace kuz
