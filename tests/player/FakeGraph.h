// Stand-ins for the filter graph manager and the decrypting source filter, registered with
// CoRegisterClassObject so that the production code's CoCreateInstance reaches them unchanged.
//
// Every call the code under test makes is written to a log, one line per call, and every
// result can be scripted by operation name ("Load", "Render", "create GraphManager", ...).
// Each interface of a fake is a facet of its own, so a Release is logged with the interface it
// came through: that is how the release order of the graph references becomes visible.
#pragma once

#include <dshow.h>

#include <map>
#include <string>
#include <vector>

#include "WQCryptoTypes.h"

struct FakeWorld {
  std::vector<std::string> Log;
  std::map<std::string, HRESULT> Results;  // operation name -> result; S_OK when absent
  int GraphManagers = 0;
  int Sources = 0;
  int Pins = 0;
  int LiveObjects = 0;

  HRESULT ResultOf(const std::string& Operation) const;
  // The log lines that start with Prefix, in order.
  std::vector<std::string> Lines(const std::string& Prefix) const;
};

// Registers the two fake classes for the calling apartment while alive.
class FakeClassRegistration {
 public:
  // Context is what the class objects are registered for (CLSCTX_INPROC_SERVER by default).
  explicit FakeClassRegistration(FakeWorld& World, DWORD Context = CLSCTX_INPROC_SERVER);
  ~FakeClassRegistration();
  // The result of the registration; S_OK when both classes are registered.
  HRESULT Result = E_UNEXPECTED;
  FakeClassRegistration(const FakeClassRegistration&) = delete;
  FakeClassRegistration& operator=(const FakeClassRegistration&) = delete;

 private:
  DWORD GraphCookie = 0;
  DWORD SourceCookie = 0;
};
