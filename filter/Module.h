// The DLL's own state: its instance handle and the count of live objects and server locks that
// DllCanUnloadNow answers from.
#pragma once

#include <windows.h>

namespace Module {

HINSTANCE Instance() noexcept;

// Every COM object of this DLL counts itself from construction to destruction.
void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;

void Lock(bool Locked) noexcept;

bool CanUnload() noexcept;

}  // namespace Module

// Base of this DLL's COM objects: keeps the DLL loaded while any object lives.
class TModuleObject {
 protected:
  TModuleObject() noexcept { Module::ObjectCreated(); }
  ~TModuleObject() { Module::ObjectDestroyed(); }
  TModuleObject(const TModuleObject&) = delete;
  TModuleObject& operator=(const TModuleObject&) = delete;
};
