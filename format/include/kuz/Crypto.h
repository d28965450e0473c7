// The crypto the format needs, behind one small interface with one backend per platform:
// CNG (bcrypt.dll) on Windows, OpenSSL's libcrypto elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "kuz/Error.h"

namespace kuz {

inline constexpr std::size_t AeadKeySize = 16;
inline constexpr std::size_t NonceSize = 12;
inline constexpr std::size_t Sha512Size = 64;
using NonceSpan = std::span<const std::uint8_t, NonceSize>;

// AES-128-GCM under one key with 16-byte tags and no associated data. Not safe for use from
// several threads at once; the backend's key schedule is made once per cipher.
class ChunkCipher {
 public:
  virtual ~ChunkCipher() = default;

  // Encrypts Plain into Out, which has room for Plain.size() + 16 bytes: ciphertext, then tag.
  virtual bool Seal(NonceSpan Nonce, std::span<const std::uint8_t> Plain, std::span<std::uint8_t> Out) noexcept = 0;

  // Authenticates and decrypts Sealed (ciphertext, then 16-byte tag) into Out, which holds
  // Sealed.size() - 16 bytes. False when the tag does not match; Out is wiped then, since some
  // backends write unauthenticated plaintext into it before checking.
  virtual bool Open(NonceSpan Nonce, std::span<const std::uint8_t> Sealed, std::span<std::uint8_t> Out) noexcept = 0;
};

// A backend: stateless and safe for use from several threads at once.
class CryptoBackend {
 public:
  virtual const char* Name() const noexcept = 0;

  virtual Status NewChunkCipher(std::span<const std::uint8_t, AeadKeySize> Key,
                                std::unique_ptr<ChunkCipher>& Cipher) const noexcept = 0;

  // HMAC-SHA-512 of the concatenation of Parts.
  virtual bool HmacSha512(std::span<const std::uint8_t> Key, std::span<const std::span<const std::uint8_t>> Parts,
                          std::span<std::uint8_t, Sha512Size> Mac) const noexcept = 0;

  virtual bool Sha512(std::span<const std::uint8_t> Data, std::span<std::uint8_t, Sha512Size> Digest) const noexcept = 0;

  // Bytes from the operating system's CSPRNG.
  virtual bool RandomBytes(std::span<std::uint8_t> Out) const noexcept = 0;

 protected:
  ~CryptoBackend() = default;
};

// CNG on Windows, OpenSSL elsewhere.
const CryptoBackend& DefaultBackend() noexcept;

// Every backend built into this program (the tests run each).
std::span<const CryptoBackend* const> AvailableBackends() noexcept;

}  // namespace kuz
