// Replaces one function that the running executable imports from a DLL, for the hook's
// lifetime: lets a test see the exact arguments of a platform call that no fake can observe.
#pragma once

#include <windows.h>

class ImportHook {
 public:
  ImportHook(const char* Dll, const char* Function, const void* Replacement);
  ~ImportHook();
  ImportHook(const ImportHook&) = delete;
  ImportHook& operator=(const ImportHook&) = delete;

  bool Installed() const { return Slot != nullptr; }
  // The function the import pointed at before.
  template <class Function>
  Function Original() const {
    return reinterpret_cast<Function>(Previous);
  }

 private:
  void** Slot = nullptr;
  void* Previous = nullptr;
};
