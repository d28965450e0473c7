// The DLL's entry points: DllMain, DllGetClassObject, DllCanUnloadNow; and the class factory.
#include "Module.h"

#include <objbase.h>

#include <atomic>

#include "ComSupport.h"
#include "Filter.h"
#include "WQCryptoTypes.h"

namespace {

HINSTANCE ModuleInstance = nullptr;
std::atomic<long> LiveObjects{0};
std::atomic<long> ServerLocks{0};

// Lives as long as the DLL: only locks count, not references.
class TClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Out) noexcept override {
    if (!Out) return E_POINTER;
    if (Iid == IID_IUnknown || Iid == IID_IClassFactory) return HandOut(static_cast<IClassFactory*>(this), Out);
    *Out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override {
    Module::Lock(true);
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    Module::Lock(false);
    return 1;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* Outer, REFIID Iid, void** Out) noexcept override {
    return TCryptoSourceFilter::Create(Outer, Iid, Out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL Locked) noexcept override {
    Module::Lock(Locked != FALSE);
    return S_OK;
  }
};

TClassFactory Factory;

}  // namespace

namespace Module {

HINSTANCE Instance() noexcept { return ModuleInstance; }
void ObjectCreated() noexcept { ++LiveObjects; }
void ObjectDestroyed() noexcept { --LiveObjects; }
void Lock(bool Locked) noexcept { Locked ? ++ServerLocks : --ServerLocks; }
bool CanUnload() noexcept { return LiveObjects == 0 && ServerLocks == 0; }

}  // namespace Module

extern "C" BOOL WINAPI DllMain(HINSTANCE Instance, DWORD Reason, LPVOID) {
  if (Reason == DLL_PROCESS_ATTACH) {
    ModuleInstance = Instance;
    DisableThreadLibraryCalls(Instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID Class, REFIID Iid, void** Out) {
  if (!Out) return E_POINTER;
  *Out = nullptr;
  if (Class != CLSID_WQCryptoSource) return CLASS_E_CLASSNOTAVAILABLE;
  return Factory.QueryInterface(Iid, Out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return Module::CanUnload() ? S_OK : S_FALSE; }
