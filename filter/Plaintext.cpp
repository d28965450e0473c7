#include "Plaintext.h"

#include <dshow.h>

#include <mutex>
#include <new>
#include <shared_mutex>

#include "CheckBytes.h"
#include "ReadAheadSource.h"
#include "kuz/KeyText.h"
#include "kuz/Win32File.h"

HRESULT StatusResult(const kuz::Status& Status) noexcept {
  switch (Status.Code) {
    case kuz::Error::None: return S_OK;
    case kuz::Error::NotKuzFile:
    case kuz::Error::UnsupportedVersion: return VFW_E_INVALID_FILE_FORMAT;
    case kuz::Error::TruncatedHeader:
    case kuz::Error::TruncatedData:
    case kuz::Error::DamagedData: return HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);
    case kuz::Error::MalformedKey: return E_INVALIDARG;
    case kuz::Error::WrongKey: return NTE_BAD_KEY;
    case kuz::Error::MessageTooLong: return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    case kuz::Error::NoKey: return NTE_NO_KEY;
    case kuz::Error::NotOpen: return VFW_E_WRONG_STATE;
    case kuz::Error::ReadFailed: return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    case kuz::Error::WriteFailed: return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    case kuz::Error::OutOfMemory: return E_OUTOFMEMORY;
    case kuz::Error::CryptoFailure: return NTE_FAIL;
  }
  return E_UNEXPECTED;
}

HRESULT TPlaintext::Load(const wchar_t* FileName) noexcept {
  std::unique_lock Exclusive(Access);
  Reader.reset();  // wipes the earlier file's key
  ChosenSubtype = MEDIASUBTYPE_NULL;
  {
    std::lock_guard Errors(ErrorLock);
    FirstError = S_OK;
    FirstErrorOffset = -1;
  }
  // Shared reading: others may read the file (and replace it) while it plays.
  kuz::UniqueFileHandle File(CreateFileW(FileName, GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr));
  if (!File.Valid()) return HRESULT_FROM_WIN32(GetLastError());
  auto Opened = std::unique_ptr<kuz::Reader>(new (std::nothrow) kuz::Reader);
  if (!Opened) return E_OUTOFMEMORY;
  std::unique_ptr<kuz::ByteSource> Source;
  kuz::Status Result = kuz::AdoptWin32File(std::move(File), Source);
  if (Result.Ok()) {
    auto Ahead = std::unique_ptr<kuz::ByteSource>(new (std::nothrow) TReadAheadSource(std::move(Source)));
    Result = Ahead ? Opened->Open(std::move(Ahead)) : kuz::Failure(kuz::Error::OutOfMemory);
  }
  if (!Result.Ok()) return StatusResult(Result);
  Reader = std::move(Opened);
  return S_OK;
}

HRESULT TPlaintext::SetKey(const char* KeyText) noexcept {
  std::unique_lock Exclusive(Access);
  if (!Reader) return VFW_E_WRONG_STATE;
  Reader->ClearKey();
  ChosenSubtype = MEDIASUBTYPE_NULL;
  kuz::InputKey Key;
  kuz::Status Result = kuz::ParseKeyText(KeyText, Key);
  if (Result.Ok()) Result = Reader->SetKey(Key.Bytes());
  if (!Result.Ok()) return StatusResult(Result);

  // The subtype from the first bytes, as the platform's own file source chooses it.
  const LONGLONG Size = static_cast<LONGLONG>(Reader->PlaintextSize());
  HRESULT Matched = S_OK;
  try {
    Matched = MatchSubtype(LoadCheckBytesRules(), Size,
                           [&](LONGLONG Offset, std::span<BYTE> Out) -> HRESULT {
                             size_t Count = 0;
                             kuz::Status Read = Reader->Read(static_cast<std::uint64_t>(Offset), Out, Count);
                             if (!Read.Ok()) return StatusResult(Read);
                             return Count == Out.size() ? S_OK : S_FALSE;
                           },
                           ChosenSubtype);
  } catch (const std::bad_alloc&) {
    Matched = E_OUTOFMEMORY;
  }
  if (FAILED(Matched)) {
    // A damaged first chunk: refuse the file now rather than at the first read.
    Reader->ClearKey();
    ChosenSubtype = MEDIASUBTYPE_NULL;
    return Matched;
  }
  return S_OK;
}

void TPlaintext::ClearKey() noexcept {
  std::unique_lock Exclusive(Access);
  if (Reader) Reader->ClearKey();
  ChosenSubtype = MEDIASUBTYPE_NULL;
}

bool TPlaintext::Loaded() const noexcept {
  std::shared_lock Shared(Access);
  return Reader != nullptr;
}

bool TPlaintext::Keyed() const noexcept {
  std::shared_lock Shared(Access);
  return Reader && Reader->HasKey();
}

LONGLONG TPlaintext::Length() const noexcept {
  std::shared_lock Shared(Access);
  return Reader ? static_cast<LONGLONG>(Reader->PlaintextSize()) : 0;
}

DWORD TPlaintext::FormatVersion() const noexcept {
  std::shared_lock Shared(Access);
  return Reader ? Reader->Facts().Version : 0;
}

GUID TPlaintext::Subtype() const noexcept {
  std::shared_lock Shared(Access);
  return ChosenSubtype;
}

HRESULT TPlaintext::Read(LONGLONG Position, BYTE* Buffer, LONG Count, LONG& Done) noexcept {
  Done = 0;
  if (Position < 0 || Count < 0) return E_INVALIDARG;
  kuz::Status Result;
  size_t Copied = 0;
  {
    std::shared_lock Shared(Access);
    if (!Reader || !Reader->HasKey()) return NTE_NO_KEY;
    Result = Reader->Read(static_cast<std::uint64_t>(Position),
                         std::span<std::uint8_t>(Buffer, static_cast<size_t>(Count)), Copied);
  }
  if (!Result.Ok()) {
    // The read fails as a whole: not even its authentic part is handed out.
    SecureZeroMemory(Buffer, static_cast<size_t>(Count));
    if (Result.Code == kuz::Error::DamagedData || Result.Code == kuz::Error::TruncatedData)
      RecordDataError(Result);
    return StatusResult(Result);
  }
  Done = static_cast<LONG>(Copied);
  return Copied == static_cast<size_t>(Count) ? S_OK : S_FALSE;
}

void TPlaintext::RecordDataError(const kuz::Status& Status) noexcept {
  const HRESULT Error = StatusResult(Status);
  {
    std::lock_guard Errors(ErrorLock);
    if (FirstError != S_OK) return;
    FirstError = Error;
    FirstErrorOffset = static_cast<LONGLONG>(Status.PlaintextOffset);
  }
  Listener.DataErrorFound(Error);
}

void TPlaintext::DataError(HRESULT& Error, LONGLONG& PlaintextOffset) const noexcept {
  std::lock_guard Errors(ErrorLock);
  Error = FirstError;
  PlaintextOffset = FirstErrorOffset;
}
