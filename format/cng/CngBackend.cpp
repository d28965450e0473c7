// The CNG (bcrypt.dll) backend: AES-128-GCM and HMAC-SHA-512 through algorithm providers
// opened once, random bytes from the system-preferred RNG.
#include <windows.h>
#include <bcrypt.h>

#include <climits>

#include "Backends.h"
#include "kuz/Format.h"
#include "kuz/Secret.h"

namespace kuz {

namespace {

constexpr NTSTATUS StatusSuccess = 0;

struct AlgorithmTraits {
  using Type = BCRYPT_ALG_HANDLE;
  static void Close(Type Handle) noexcept { BCryptCloseAlgorithmProvider(Handle, 0); }
};
struct KeyTraits {
  using Type = BCRYPT_KEY_HANDLE;
  static void Close(Type Handle) noexcept { BCryptDestroyKey(Handle); }
};
struct HashTraits {
  using Type = BCRYPT_HASH_HANDLE;
  static void Close(Type Handle) noexcept { BCryptDestroyHash(Handle); }
};

// A CNG handle released on destruction. Move-only.
template <typename Traits>
class UniqueBcryptHandle {
 public:
  using Type = typename Traits::Type;
  UniqueBcryptHandle() noexcept = default;
  ~UniqueBcryptHandle() { Reset(); }
  UniqueBcryptHandle(const UniqueBcryptHandle&) = delete;
  UniqueBcryptHandle& operator=(const UniqueBcryptHandle&) = delete;
  UniqueBcryptHandle(UniqueBcryptHandle&& Other) noexcept : Handle(Other.Handle) { Other.Handle = nullptr; }
  UniqueBcryptHandle& operator=(UniqueBcryptHandle&& Other) noexcept {
    if (this != &Other) {
      Reset();
      Handle = Other.Handle;
      Other.Handle = nullptr;
    }
    return *this;
  }

  Type Get() const noexcept { return Handle; }
  explicit operator bool() const noexcept { return Handle != nullptr; }
  // For the functions that fill a handle in; releases the old one first.
  Type* Put() noexcept {
    Reset();
    return &Handle;
  }
  void Reset() noexcept {
    if (Handle) Traits::Close(Handle);
    Handle = nullptr;
  }

 private:
  Type Handle = nullptr;
};

using UniqueAlgorithm = UniqueBcryptHandle<AlgorithmTraits>;
using UniqueKey = UniqueBcryptHandle<KeyTraits>;
using UniqueHash = UniqueBcryptHandle<HashTraits>;

// The providers, opened once for the program; CNG allows their use from several threads.
struct Providers {
  UniqueAlgorithm AesGcm;
  UniqueAlgorithm HmacSha512;
  UniqueAlgorithm Sha512;

  Providers() noexcept {
    if (BCryptOpenAlgorithmProvider(AesGcm.Put(), BCRYPT_AES_ALGORITHM, nullptr, 0) != StatusSuccess ||
        BCryptSetProperty(AesGcm.Get(), BCRYPT_CHAINING_MODE,
                          reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM)),
                          sizeof(BCRYPT_CHAIN_MODE_GCM), 0) != StatusSuccess)
      AesGcm.Reset();
    if (BCryptOpenAlgorithmProvider(HmacSha512.Put(), BCRYPT_SHA512_ALGORITHM, nullptr,
                                    BCRYPT_ALG_HANDLE_HMAC_FLAG) != StatusSuccess)
      HmacSha512.Reset();
    if (BCryptOpenAlgorithmProvider(Sha512.Put(), BCRYPT_SHA512_ALGORITHM, nullptr, 0) != StatusSuccess) Sha512.Reset();
  }
};

const Providers& OpenProviders() noexcept {
  static const Providers Opened;
  return Opened;
}

PUCHAR Mutable(const std::uint8_t* Bytes) noexcept { return const_cast<PUCHAR>(Bytes); }

// GCM parameters of one chunk: its nonce and where its tag is. The tag length is fixed at 16 here,
// for sealing and opening alike: CNG would accept a shorter one and check fewer bytes.
BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO ChunkModeInfo(NonceSpan Nonce, std::uint8_t* Tag) noexcept {
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO Info;
  BCRYPT_INIT_AUTH_MODE_INFO(Info);
  Info.pbNonce = Mutable(Nonce.data());
  Info.cbNonce = NonceSize;
  Info.pbTag = Tag;
  Info.cbTag = TagSize;
  return Info;
}

class CngChunkCipher final : public ChunkCipher {
 public:
  explicit CngChunkCipher(UniqueKey Key) noexcept : Key(std::move(Key)) {}

  bool Seal(NonceSpan Nonce, std::span<const std::uint8_t> Plain, std::span<std::uint8_t> Out) noexcept override {
    if (Out.size() != Plain.size() + TagSize || Plain.size() > ULONG_MAX - TagSize) return false;
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO Info = ChunkModeInfo(Nonce, Out.data() + Plain.size());
    ULONG Written = 0;
    const ULONG Size = static_cast<ULONG>(Plain.size());
    std::uint8_t Dummy = 0;
    NTSTATUS Result = BCryptEncrypt(Key.Get(), Size ? Mutable(Plain.data()) : &Dummy, Size, &Info, nullptr, 0,
                                    Size ? Out.data() : &Dummy, Size, &Written, 0);
    return Result == StatusSuccess && Written == Size;
  }

  bool Open(NonceSpan Nonce, std::span<const std::uint8_t> Sealed, std::span<std::uint8_t> Out) noexcept override {
    if (Sealed.size() < TagSize || Out.size() != Sealed.size() - TagSize || Out.size() > ULONG_MAX) return false;
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO Info = ChunkModeInfo(Nonce, Mutable(Sealed.data() + Out.size()));
    ULONG Written = 0;
    const ULONG Size = static_cast<ULONG>(Out.size());
    // Never null buffers, even for an empty chunk: Wine's CNG then skips the tag check.
    std::uint8_t Dummy = 0;
    NTSTATUS Result = BCryptDecrypt(Key.Get(), Size ? Mutable(Sealed.data()) : &Dummy, Size, &Info, nullptr, 0,
                                    Size ? Out.data() : &Dummy, Size, &Written, 0);
    if (Result == StatusSuccess && Written == Size) return true;
    // CNG leaves the unauthenticated plaintext in Out when the tag does not match.
    SecureWipe(Out.data(), Out.size());
    return false;
  }

 private:
  UniqueKey Key;
};

class CngBackendImpl final : public CryptoBackend {
 public:
  const char* Name() const noexcept override { return "CNG"; }

  Status NewChunkCipher(std::span<const std::uint8_t, AeadKeySize> Key,
                        std::unique_ptr<ChunkCipher>& Cipher) const noexcept override {
    Cipher.reset();
    const Providers& P = OpenProviders();
    if (!P.AesGcm) return Failure(Error::CryptoFailure);
    UniqueKey Handle;
    if (BCryptGenerateSymmetricKey(P.AesGcm.Get(), Handle.Put(), nullptr, 0, Mutable(Key.data()), AeadKeySize, 0) !=
        StatusSuccess)
      return Failure(Error::CryptoFailure);
    Cipher.reset(new (std::nothrow) CngChunkCipher(std::move(Handle)));
    return Cipher ? Success() : Failure(Error::OutOfMemory);
  }

  bool HmacSha512(std::span<const std::uint8_t> Key, std::span<const std::span<const std::uint8_t>> Parts,
                  std::span<std::uint8_t, Sha512Size> Mac) const noexcept override {
    const Providers& P = OpenProviders();
    if (!P.HmacSha512 || Key.size() > ULONG_MAX) return false;
    UniqueHash Hash;
    if (BCryptCreateHash(P.HmacSha512.Get(), Hash.Put(), nullptr, 0, Mutable(Key.data()),
                         static_cast<ULONG>(Key.size()), 0) != StatusSuccess)
      return false;
    return HashParts(Hash, Parts, Mac);
  }

  bool Sha512(std::span<const std::uint8_t> Data, std::span<std::uint8_t, Sha512Size> Digest) const noexcept override {
    const Providers& P = OpenProviders();
    if (!P.Sha512) return false;
    UniqueHash Hash;
    if (BCryptCreateHash(P.Sha512.Get(), Hash.Put(), nullptr, 0, nullptr, 0, 0) != StatusSuccess) return false;
    const std::span<const std::uint8_t> Parts[] = {Data};
    return HashParts(Hash, Parts, Digest);
  }

  bool RandomBytes(std::span<std::uint8_t> Out) const noexcept override {
    if (Out.size() > ULONG_MAX) return false;
    return BCryptGenRandom(nullptr, Out.data(), static_cast<ULONG>(Out.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG) ==
           StatusSuccess;
  }

 private:
  static bool HashParts(const UniqueHash& Hash, std::span<const std::span<const std::uint8_t>> Parts,
                        std::span<std::uint8_t, Sha512Size> Out) noexcept {
    for (auto Part : Parts) {
      // Large inputs go in pieces that fit a ULONG.
      while (!Part.empty()) {
        ULONG Piece = static_cast<ULONG>(std::min<std::size_t>(Part.size(), 1u << 30));
        if (BCryptHashData(Hash.Get(), Mutable(Part.data()), Piece, 0) != StatusSuccess) return false;
        Part = Part.subspan(Piece);
      }
    }
    return BCryptFinishHash(Hash.Get(), Out.data(), Sha512Size, 0) == StatusSuccess;
  }
};

}  // namespace

const CryptoBackend& CngBackend() noexcept {
  static const CngBackendImpl Backend;
  return Backend;
}

}  // namespace kuz
