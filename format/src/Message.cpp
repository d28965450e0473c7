#include "kuz/Message.h"

#include <string_view>

namespace kuz {

namespace {

constexpr std::string_view InfoPrefix = "c2sp.org/chunked-encryption@v1+";
constexpr std::string_view AeadName = "AEAD_AES_128_GCM";

std::span<const std::uint8_t> AsBytes(std::string_view Text) noexcept {
  return {reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size()};
}

}  // namespace

bool HkdfExpandSha512(const CryptoBackend& Backend, std::span<const std::uint8_t> Prk,
                      std::span<const std::span<const std::uint8_t>> InfoParts, std::span<std::uint8_t> Okm) noexcept {
  if (Okm.size() > 255 * Sha512Size) return false;
  // T(i) = HMAC(PRK, T(i-1) || info || i); parts: previous block, the info parts, the counter.
  constexpr std::size_t MaxInfoParts = 8;
  if (InfoParts.size() > MaxInfoParts) return false;
  std::span<const std::uint8_t> Parts[MaxInfoParts + 2];
  SecretBytes<Sha512Size> Block;
  std::uint8_t Counter = 0;
  std::size_t Done = 0;
  while (Done < Okm.size()) {
    ++Counter;
    std::size_t Count = 0;
    if (Counter > 1) Parts[Count++] = Block.Span();
    for (auto Part : InfoParts) Parts[Count++] = Part;
    Parts[Count++] = std::span<const std::uint8_t>(&Counter, 1);
    if (!Backend.HmacSha512(Prk, std::span<const std::span<const std::uint8_t>>(Parts, Count), Block.Span()))
      return false;
    std::size_t Take = std::min(Sha512Size, Okm.size() - Done);
    for (std::size_t I = 0; I < Take; ++I) Okm[Done + I] = Block.Data()[I];
    Done += Take;
  }
  return true;
}

Status DeriveMessageKeys(const CryptoBackend& Backend, std::span<const std::uint8_t> InputKey,
                         std::span<const std::uint8_t, SaltSize> Salt, std::span<const std::uint8_t> Context,
                         MessageKeys& Keys) noexcept {
  Keys.Clear();
  if (InputKey.size() != AeadKeySize) return Failure(Error::MalformedKey);
  const std::uint8_t Zero = 0;
  const std::span<const std::uint8_t> Info[] = {AsBytes(InfoPrefix), AsBytes(AeadName), {&Zero, 1}, Salt, Context};
  SecretBytes<AeadKeySize + NonceSize + CommitmentSize> Okm;
  if (!HkdfExpandSha512(Backend, InputKey, Info, Okm.Span())) return Failure(Error::CryptoFailure);
  const std::uint8_t* Next = Okm.Data();
  for (auto& Byte : Keys.AeadKey.Span()) Byte = *Next++;
  for (auto& Byte : Keys.BaseNonce.Span()) Byte = *Next++;
  for (auto& Byte : Keys.Commitment.Span()) Byte = *Next++;
  return Success();
}

std::array<std::uint8_t, NonceSize> ChunkNonce(std::span<const std::uint8_t, NonceSize> BaseNonce,
                                               std::uint64_t ChunkIndex) noexcept {
  std::array<std::uint8_t, NonceSize> Nonce;
  for (std::size_t I = 0; I < NonceSize; ++I) Nonce[I] = BaseNonce[I];
  // Big-endian across the 12 bytes: the index's low byte goes into the last byte.
  for (std::size_t I = 0; I < 8; ++I) Nonce[NonceSize - 1 - I] ^= static_cast<std::uint8_t>(ChunkIndex >> (8 * I));
  return Nonce;
}

bool CommitmentsEqual(std::span<const std::uint8_t, CommitmentSize> A,
                      std::span<const std::uint8_t, CommitmentSize> B) noexcept {
  volatile std::uint8_t Difference = 0;
  for (std::size_t I = 0; I < CommitmentSize; ++I) Difference = Difference | (A[I] ^ B[I]);
  return Difference == 0;
}

}  // namespace kuz
