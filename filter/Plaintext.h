// The authenticated plaintext of one loaded .kuz file, as the output pin serves it: loading
// checks the header, the key checks the commitment and authenticates the final chunk, and
// reads hand out only authenticated bytes. The first failure met while reading is kept.
//
// Thread-safe: reads come from the parsers' threads while the filter's own calls arrive.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "SharedLock.h"
#include "kuz/Error.h"
#include "kuz/Reader.h"

// Told once about the first data error met by a read.
class IDataErrorListener {
 public:
  virtual void DataErrorFound(HRESULT Error) noexcept = 0;

 protected:
  ~IDataErrorListener() = default;
};

// The result code a .kuz status is reported as.
HRESULT StatusResult(const kuz::Status& Status) noexcept;

class TPlaintext {
 public:
  explicit TPlaintext(IDataErrorListener& Listener) noexcept : Listener(Listener) {}
  TPlaintext(const TPlaintext&) = delete;
  TPlaintext& operator=(const TPlaintext&) = delete;

  // Opens FileName for shared reading and checks its header; drops any earlier file and key.
  HRESULT Load(const wchar_t* FileName) noexcept;
  // Parses the key text, checks it against the file and chooses the output subtype.
  HRESULT SetKey(const char* KeyText) noexcept;
  void ClearKey() noexcept;

  bool Loaded() const noexcept;
  bool Keyed() const noexcept;
  // Plaintext bytes; 0 without a key.
  LONGLONG Length() const noexcept;
  DWORD FormatVersion() const noexcept;
  // The media subtype the first bytes announce; MEDIASUBTYPE_NULL when none.
  GUID Subtype() const noexcept;

  // Copies the plaintext at Position into Buffer: S_OK when all Count bytes were read, S_FALSE
  // when the data ended first (Done says how many). On a failing chunk the result is the error,
  // nothing is handed out (Done is 0, Buffer wiped), and the first such error is kept.
  HRESULT Read(LONGLONG Position, BYTE* Buffer, LONG Count, LONG& Done) noexcept;

  // The first data error and its chunk's plaintext offset; S_OK and -1 when none.
  void DataError(HRESULT& Error, LONGLONG& PlaintextOffset) const noexcept;

 private:
  void RecordDataError(const kuz::Status& Status) noexcept;

  IDataErrorListener& Listener;
  // Shared by reads; exclusive while the file or key changes.
  mutable TSharedLock Access;
  std::unique_ptr<kuz::Reader> Reader;  // null until a file is loaded
  GUID ChosenSubtype{};

  mutable std::mutex ErrorLock;
  HRESULT FirstError = S_OK;
  LONGLONG FirstErrorOffset = -1;
};
