#include "ImportHook.h"

#include <cstring>

namespace {

void** FindImportSlot(const char* Dll, const char* Function) {
  auto* Base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  auto* Dos = reinterpret_cast<IMAGE_DOS_HEADER*>(Base);
  auto* Nt = reinterpret_cast<IMAGE_NT_HEADERS*>(Base + Dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& Directory =
      Nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!Directory.VirtualAddress) return nullptr;
  for (auto* Import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(Base + Directory.VirtualAddress);
       Import->Name; ++Import) {
    if (_stricmp(reinterpret_cast<const char*>(Base + Import->Name), Dll) != 0) continue;
    auto* Names = reinterpret_cast<IMAGE_THUNK_DATA*>(Base + Import->OriginalFirstThunk);
    auto* Addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(Base + Import->FirstThunk);
    for (; Names->u1.AddressOfData; ++Names, ++Addresses) {
      if (IMAGE_SNAP_BY_ORDINAL(Names->u1.Ordinal)) continue;
      auto* ByName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(Base + Names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(ByName->Name), Function) == 0)
        return reinterpret_cast<void**>(&Addresses->u1.Function);
    }
  }
  return nullptr;
}

void Write(void** Slot, void* Value) {
  DWORD Protection = 0;
  VirtualProtect(Slot, sizeof *Slot, PAGE_READWRITE, &Protection);
  *Slot = Value;
  VirtualProtect(Slot, sizeof *Slot, Protection, &Protection);
}

}  // namespace

ImportHook::ImportHook(const char* Dll, const char* Function, const void* Replacement) {
  Slot = FindImportSlot(Dll, Function);
  if (!Slot) return;
  Previous = *Slot;
  Write(Slot, const_cast<void*>(Replacement));
}

ImportHook::~ImportHook() {
  if (Slot) Write(Slot, Previous);
}
