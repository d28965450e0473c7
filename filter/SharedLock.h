// A reader-writer lock on the system's slim reader/writer lock, usable with std::shared_lock and
// std::unique_lock. std::shared_mutex is not used here: with mingw-w64's thread library it keeps
// two kernel handles that nothing ever closes, two per filter ever loaded.
#pragma once

#include <windows.h>

class TSharedLock {
 public:
  TSharedLock() noexcept = default;
  TSharedLock(const TSharedLock&) = delete;
  TSharedLock& operator=(const TSharedLock&) = delete;

  void lock() noexcept { AcquireSRWLockExclusive(&Lock); }
  void unlock() noexcept { ReleaseSRWLockExclusive(&Lock); }
  void lock_shared() noexcept { AcquireSRWLockShared(&Lock); }
  void unlock_shared() noexcept { ReleaseSRWLockShared(&Lock); }

 private:
  SRWLOCK Lock = SRWLOCK_INIT;  // needs no cleanup
};
