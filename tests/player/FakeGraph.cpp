#include "FakeGraph.h"

#include <memory>

namespace {

FakeWorld* CurrentWorld = nullptr;

// Which fake interface a pointer is, so that calls taking an interface can log what they got.
std::map<const void*, std::string>& FacetNames() {
  static std::map<const void*, std::string> Names;
  return Names;
}

std::string Describe(const void* Interface) {
  if (!Interface) return "(null)";
  auto Found = FacetNames().find(Interface);
  return Found == FacetNames().end() ? "(foreign)" : Found->second;
}

std::string Narrow(LPCWSTR Text) {
  if (!Text) return "(null)";
  std::string Out;
  for (; *Text; ++Text) {
    wchar_t C = *Text;
    if (C >= 0x20 && C < 0x7F) {
      Out += static_cast<char>(C);
    } else {
      char Escape[12];
      snprintf(Escape, sizeof Escape, "\\u%04X", static_cast<unsigned>(C));
      Out += Escape;
    }
  }
  return Out;
}

std::string Bytes(LPCSTR Text) {
  if (!Text) return "(null)";
  std::string Out;
  for (; *Text; ++Text) {
    unsigned char C = static_cast<unsigned char>(*Text);
    if (C >= 0x20 && C < 0x7F) {
      Out += static_cast<char>(C);
    } else {
      char Escape[8];
      snprintf(Escape, sizeof Escape, "\\x%02X", C);
      Out += Escape;
    }
  }
  return Out;
}

// Reference counting and identity shared by the facets of one fake object.
class FakeObject {
 public:
  explicit FakeObject(std::string Name) : Name(std::move(Name)) { ++CurrentWorld->LiveObjects; }
  virtual ~FakeObject() {
    --CurrentWorld->LiveObjects;
    CurrentWorld->Log.push_back("destroy " + Name);
  }

  ULONG AddRef() { return ++References; }
  ULONG Release() {
    ULONG Left = --References;
    if (Left == 0) delete this;
    return Left;
  }

  HRESULT QueryInterface(REFIID Iid, void** Out) {
    if (!Out) return E_POINTER;
    *Out = Facet(Iid);
    if (!*Out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }

  // A logged QueryInterface, as the code under test makes it.
  HRESULT LoggedQueryInterface(REFIID Iid, void** Out, const char* IidName) {
    Log("QueryInterface " + std::string(IidName));
    HRESULT Scripted = CurrentWorld->ResultOf(IidName);
    if (FAILED(Scripted)) {
      *Out = nullptr;
      return Scripted;
    }
    return QueryInterface(Iid, Out);
  }

  void Log(const std::string& Line) { CurrentWorld->Log.push_back(Name + " " + Line); }
  HRESULT Call(const std::string& Operation, const std::string& Arguments = "") {
    Log(Arguments.empty() ? Operation : Operation + " " + Arguments);
    return CurrentWorld->ResultOf(Operation);
  }

  const std::string Name;

 protected:
  virtual void* Facet(REFIID Iid) = 0;

 private:
  ULONG References = 0;
};

const char* IidName(REFIID Iid) {
  if (Iid == IID_IMediaControl) return "IMediaControl";
  if (Iid == IID_IFileSourceFilter) return "IFileSourceFilter";
  if (Iid == IID_IWQCryptoSourceControl) return "IWQCryptoSourceControl";
  if (Iid == IID_IBaseFilter) return "IBaseFilter";
  if (Iid == IID_IGraphBuilder) return "IGraphBuilder";
  return nullptr;
}

// One interface of a fake object: forwards identity and counting, logs every Release.
template <class Interface>
class Facet : public Interface {
 public:
  Facet(FakeObject& Owner, const char* Name) : Owner(Owner), Name(Name) {
    FacetNames()[static_cast<Interface*>(this)] = std::string(Name) + " of " + Owner.Name;
  }
  ~Facet() { FacetNames().erase(static_cast<Interface*>(this)); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Out) override {
    const char* Known = IidName(Iid);
    return Known ? Owner.LoggedQueryInterface(Iid, Out, Known) : Owner.QueryInterface(Iid, Out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Owner.AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override {
    CurrentWorld->Log.push_back("release " + std::string(Name) + " of " + Owner.Name);
    return Owner.Release();
  }

 protected:
  FakeObject& Owner;
  const char* const Name;
};

class FakeGraphManager;

class GraphBuilderFacet final : public Facet<IGraphBuilder> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter* Filter, LPCWSTR Name) override;
  HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter*) override { return Owner.Call("RemoveFilter"); }
  HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters**) override { return Owner.Call("EnumFilters"); }
  HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR, IBaseFilter**) override {
    return Owner.Call("FindFilterByName");
  }
  HRESULT STDMETHODCALLTYPE ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override {
    return Owner.Call("ConnectDirect");
  }
  HRESULT STDMETHODCALLTYPE Reconnect(IPin*) override { return Owner.Call("Reconnect"); }
  HRESULT STDMETHODCALLTYPE Disconnect(IPin*) override { return Owner.Call("Disconnect"); }
  HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override {
    return Owner.Call("SetDefaultSyncSource");
  }
  HRESULT STDMETHODCALLTYPE Connect(IPin*, IPin*) override { return Owner.Call("Connect"); }
  HRESULT STDMETHODCALLTYPE Render(IPin* Pin) override;
  HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR, LPCWSTR) override { return Owner.Call("RenderFile"); }
  HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**) override {
    return Owner.Call("AddSourceFilter");
  }
  HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR) override { return Owner.Call("SetLogFile"); }
  HRESULT STDMETHODCALLTYPE Abort() override { return Owner.Call("Abort"); }
  HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override {
    return Owner.Call("ShouldOperationContinue");
  }
};

class MediaControlFacet final : public Facet<IMediaControl> {
 public:
  using Facet::Facet;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Run() override { return Owner.Call("Run"); }
  HRESULT STDMETHODCALLTYPE Pause() override { return Owner.Call("Pause"); }
  HRESULT STDMETHODCALLTYPE Stop() override { return Owner.Call("Stop"); }
  HRESULT STDMETHODCALLTYPE GetState(LONG, OAFilterState*) override { return Owner.Call("GetState"); }
  HRESULT STDMETHODCALLTYPE RenderFile(BSTR) override { return Owner.Call("RenderFile"); }
  HRESULT STDMETHODCALLTYPE AddSourceFilter(BSTR, IDispatch**) override {
    return Owner.Call("AddSourceFilter");
  }
  HRESULT STDMETHODCALLTYPE get_FilterCollection(IDispatch**) override {
    return Owner.Call("get_FilterCollection");
  }
  HRESULT STDMETHODCALLTYPE get_RegFilterCollection(IDispatch**) override {
    return Owner.Call("get_RegFilterCollection");
  }
  HRESULT STDMETHODCALLTYPE StopWhenReady() override { return Owner.Call("StopWhenReady"); }
};

class FakeGraphManager final : public FakeObject {
 public:
  FakeGraphManager() : FakeObject("GraphManager#" + std::to_string(++CurrentWorld->GraphManagers)) {}

 protected:
  void* Facet(REFIID Iid) override {
    if (Iid == IID_IUnknown || Iid == IID_IGraphBuilder || Iid == IID_IFilterGraph)
      return static_cast<IGraphBuilder*>(&Builder);
    if (Iid == IID_IMediaControl) return static_cast<IMediaControl*>(&Control);
    return nullptr;
  }

 private:
  GraphBuilderFacet Builder{*this, "IGraphBuilder"};
  MediaControlFacet Control{*this, "IMediaControl"};
};

class FakePin final : public FakeObject {
 public:
  FakePin() : FakeObject("Pin#" + std::to_string(++CurrentWorld->Pins)) {}

 protected:
  void* Facet(REFIID Iid) override {
    if (Iid == IID_IUnknown || Iid == IID_IPin) return static_cast<IPin*>(&Pin);
    return nullptr;
  }

 private:
  class PinFacet final : public ::Facet<IPin> {
   public:
    using Facet::Facet;
    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return Owner.Call("Connect"); }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override {
      return Owner.Call("ReceiveConnection");
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override { return Owner.Call("Disconnect"); }
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin**) override { return Owner.Call("ConnectedTo"); }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override {
      return Owner.Call("ConnectionMediaType");
    }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO*) override { return Owner.Call("QueryPinInfo"); }
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION*) override {
      return Owner.Call("QueryDirection");
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return Owner.Call("QueryId"); }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return Owner.Call("QueryAccept"); }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override {
      return Owner.Call("EnumMediaTypes");
    }
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override {
      return Owner.Call("QueryInternalConnections");
    }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return Owner.Call("EndOfStream"); }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return Owner.Call("BeginFlush"); }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return Owner.Call("EndFlush"); }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
      return Owner.Call("NewSegment");
    }
  };
  PinFacet Pin{*this, "IPin"};
};

class FakeSource final : public FakeObject {
 public:
  FakeSource() : FakeObject("Source#" + std::to_string(++CurrentWorld->Sources)) {}

 protected:
  void* Facet(REFIID Iid) override {
    if (Iid == IID_IUnknown || Iid == IID_IBaseFilter || Iid == IID_IMediaFilter || Iid == IID_IPersist)
      return static_cast<IBaseFilter*>(&Filter);
    if (Iid == IID_IFileSourceFilter) return static_cast<IFileSourceFilter*>(&File);
    if (Iid == IID_IWQCryptoSourceControl) return static_cast<IWQCryptoSourceControl*>(&Control);
    return nullptr;
  }

 private:
  class FilterFacet final : public ::Facet<IBaseFilter> {
   public:
    using Facet::Facet;
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return Owner.Call("GetClassID"); }
    HRESULT STDMETHODCALLTYPE Stop() override { return Owner.Call("Stop"); }
    HRESULT STDMETHODCALLTYPE Pause() override { return Owner.Call("Pause"); }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return Owner.Call("Run"); }
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE*) override { return Owner.Call("GetState"); }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override {
      return Owner.Call("SetSyncSource");
    }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock**) override {
      return Owner.Call("GetSyncSource");
    }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins**) override { return Owner.Call("EnumPins"); }
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR Id, IPin** Pin) override {
      HRESULT Result = Owner.Call("FindPin", "\"" + Narrow(Id) + "\"");
      *Pin = nullptr;
      if (FAILED(Result)) return Result;
      auto* NewPin = new FakePin;
      NewPin->QueryInterface(IID_IPin, reinterpret_cast<void**>(Pin));
      return Result;
    }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO*) override {
      return Owner.Call("QueryFilterInfo");
    }
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override {
      return Owner.Call("JoinFilterGraph");
    }
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return Owner.Call("QueryVendorInfo"); }
  };

  class FileFacet final : public ::Facet<IFileSourceFilter> {
   public:
    using Facet::Facet;
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR FileName, const AM_MEDIA_TYPE* Type) override {
      return Owner.Call("Load", "\"" + Narrow(FileName) + "\"" + (Type ? " type" : " no-type"));
    }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*, AM_MEDIA_TYPE*) override {
      return Owner.Call("GetCurFile");
    }
  };

  class ControlFacet final : public ::Facet<IWQCryptoSourceControl> {
   public:
    using Facet::Facet;
    HRESULT STDMETHODCALLTYPE SetKey(LPCSTR KeyText) override {
      return Owner.Call("SetKey", "\"" + Bytes(KeyText) + "\"");
    }
    HRESULT STDMETHODCALLTYPE ClearKey() override { return Owner.Call("ClearKey"); }
    HRESULT STDMETHODCALLTYPE GetPlainLength(LONGLONG*) override { return Owner.Call("GetPlainLength"); }
    HRESULT STDMETHODCALLTYPE GetFormatVersion(DWORD*) override { return Owner.Call("GetFormatVersion"); }
    HRESULT STDMETHODCALLTYPE GetDataError(HRESULT*, LONGLONG*) override {
      return Owner.Call("GetDataError");
    }
  };

  FilterFacet Filter{*this, "IBaseFilter"};
  FileFacet File{*this, "IFileSourceFilter"};
  ControlFacet Control{*this, "IWQCryptoSourceControl"};
};

HRESULT STDMETHODCALLTYPE GraphBuilderFacet::AddFilter(IBaseFilter* Filter, LPCWSTR Name) {
  return Owner.Call("AddFilter", Describe(Filter) + " \"" + Narrow(Name) + "\"");
}

HRESULT STDMETHODCALLTYPE GraphBuilderFacet::Render(IPin* Pin) {
  return Owner.Call("Render", Describe(Pin));
}

template <class Object>
class FakeFactory final : public IClassFactory {
 public:
  explicit FakeFactory(const char* Kind) : Kind(Kind) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Out) override {
    if (Iid == IID_IUnknown || Iid == IID_IClassFactory) {
      *Out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *Out = nullptr;
    return E_NOINTERFACE;
  }
  // Lives in static storage for the whole test run.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* Outer, REFIID Iid, void** Out) override {
    *Out = nullptr;
    std::string Operation = std::string("create ") + Kind;
    CurrentWorld->Log.push_back(Operation + (Outer ? " aggregated" : ""));
    HRESULT Scripted = CurrentWorld->ResultOf(Operation);
    if (FAILED(Scripted)) return Scripted;
    auto* Created = new Object;
    Created->AddRef();
    HRESULT Result = Created->QueryInterface(Iid, Out);
    Created->Release();
    return Result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  const char* const Kind;
};

FakeFactory<FakeGraphManager> GraphFactory("GraphManager");
FakeFactory<FakeSource> SourceFactory("Source");

}  // namespace

HRESULT FakeWorld::ResultOf(const std::string& Operation) const {
  auto Found = Results.find(Operation);
  return Found == Results.end() ? S_OK : Found->second;
}

std::vector<std::string> FakeWorld::Lines(const std::string& Prefix) const {
  std::vector<std::string> Out;
  for (const auto& Line : Log)
    if (Line.compare(0, Prefix.size(), Prefix) == 0) Out.push_back(Line);
  return Out;
}

FakeClassRegistration::FakeClassRegistration(FakeWorld& World, DWORD Context) {
  CurrentWorld = &World;
  Result = CoRegisterClassObject(CLSID_FilterGraph, &GraphFactory, Context, REGCLS_MULTIPLEUSE,
                                 &GraphCookie);
  if (SUCCEEDED(Result))
    Result = CoRegisterClassObject(CLSID_WQCryptoSource, &SourceFactory, Context,
                                   REGCLS_MULTIPLEUSE, &SourceCookie);
}

FakeClassRegistration::~FakeClassRegistration() {
  if (GraphCookie) CoRevokeClassObject(GraphCookie);
  if (SourceCookie) CoRevokeClassObject(SourceCookie);
}
