// The message layer: Cobblestone-128 (c2sp.org/chunked-encryption with AES-128-GCM and
// HKDF-Expand over HMAC-SHA-512). The writer and readers build on these; tests use them to make
// chunks directly.
//
//   info = "c2sp.org/chunked-encryption@v1+" "AEAD_AES_128_GCM" 0x00 || salt || context
//   okm  = HKDF-Expand(PRK = input key, info, 60) = aead key (16) || base nonce (12) || commitment (32)
//   nonce of chunk k = base nonce XOR k (as a 96-bit big-endian integer)
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "kuz/Crypto.h"
#include "kuz/Error.h"
#include "kuz/Format.h"
#include "kuz/Secret.h"

namespace kuz {

struct MessageKeys {
  SecretBytes<AeadKeySize> AeadKey;
  SecretBytes<NonceSize> BaseNonce;
  SecretBytes<CommitmentSize> Commitment;

  void Clear() noexcept {
    AeadKey.Clear();
    BaseNonce.Clear();
    Commitment.Clear();
  }
};

// HKDF-Expand (RFC 5869) with HMAC-SHA-512; Okm.size() at most 255 * 64. The info is the
// concatenation of InfoParts.
bool HkdfExpandSha512(const CryptoBackend& Backend, std::span<const std::uint8_t> Prk,
                      std::span<const std::span<const std::uint8_t>> InfoParts, std::span<std::uint8_t> Okm) noexcept;

// MalformedKey unless InputKey has 16 bytes.
Status DeriveMessageKeys(const CryptoBackend& Backend, std::span<const std::uint8_t> InputKey,
                         std::span<const std::uint8_t, SaltSize> Salt, std::span<const std::uint8_t> Context,
                         MessageKeys& Keys) noexcept;

std::array<std::uint8_t, NonceSize> ChunkNonce(std::span<const std::uint8_t, NonceSize> BaseNonce,
                                               std::uint64_t ChunkIndex) noexcept;

// Compares two commitments in time independent of where they differ.
bool CommitmentsEqual(std::span<const std::uint8_t, CommitmentSize> A,
                      std::span<const std::uint8_t, CommitmentSize> B) noexcept;

}  // namespace kuz
