// Soak runs in one process: many open, read or play, and close cycles of a real .kuz file through
// the registered filter. Handles, windows and private bytes must settle, and the filter's DLL
// must be free to unload at the end. The platform's own graph keeps some of each per graph
// (seen with its own file source too); the player's graph is held to that, the filter to zero.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include <wrl/client.h>

#include "PlaybackGraph.h"
#include "SampleMedia.h"

namespace {

using Microsoft::WRL::ComPtr;

constexpr int Cycles = 200;
constexpr int Baseline = 20;  // cycles run before measuring, so that caches are warm

std::wstring WriteSample() { return WriteSampleKuz(KUZ_SOAK_MEDIA, L"kuz-soak.kuz"); }

struct Usage {
  size_t Handles = 0;
  size_t Windows = 0;
  size_t PrivateBytes = 0;
};

// This process's kernel handles, from the system's handle table: GetProcessHandleCount and
// GetGuiResources answer 0 under Wine, the table does not.
size_t HandleCount() {
  struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO
    USHORT Process;
    USHORT BackTrace;
    UCHAR Type;
    UCHAR Attributes;
    USHORT Handle;
    PVOID Object;
    ULONG Access;
  };
  struct Table {
    ULONG Count;
    Entry Entries[1];
  };
  using QueryFunction = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  auto Query = reinterpret_cast<QueryFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  std::vector<BYTE> Buffer(1 << 20);
  for (;;) {
    ULONG Needed = 0;
    const LONG Status = Query(16 /* SystemHandleInformation */, Buffer.data(), static_cast<ULONG>(Buffer.size()), &Needed);
    if (Status == 0) break;
    if (Buffer.size() >= (64u << 20)) return 0;
    Buffer.resize(Buffer.size() * 2);
  }
  const auto* Handles = reinterpret_cast<const Table*>(Buffer.data());
  size_t Mine = 0;
  for (ULONG I = 0; I < Handles->Count; ++I) Mine += Handles->Entries[I].Process == static_cast<USHORT>(GetCurrentProcessId());
  return Mine;
}

BOOL CALLBACK CountWindow(HWND Window, LPARAM Count) {
  DWORD Process = 0;
  GetWindowThreadProcessId(Window, &Process);
  if (Process == GetCurrentProcessId()) ++*reinterpret_cast<size_t*>(Count);
  return TRUE;
}

// Committed private memory, region by region.
size_t PrivateBytes() {
  size_t Total = 0;
  MEMORY_BASIC_INFORMATION Region;
  for (const BYTE* Address = nullptr; VirtualQuery(Address, &Region, sizeof Region) == sizeof Region;
       Address = static_cast<const BYTE*>(Region.BaseAddress) + Region.RegionSize) {
    if (Region.State == MEM_COMMIT && Region.Type == MEM_PRIVATE) Total += Region.RegionSize;
    if (static_cast<const BYTE*>(Region.BaseAddress) + Region.RegionSize < Address) break;
  }
  return Total;
}

Usage Measure() {
  Usage Now;
  Now.Handles = HandleCount();
  EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&Now.Windows));
  Now.PrivateBytes = PrivateBytes();
  return Now;
}

// Handles the messages of the renderer's window, which lives on this thread.
void PumpFor(DWORD Milliseconds) {
  const ULONGLONG End = GetTickCount64() + Milliseconds;
  do {
    MSG Message;
    while (PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&Message);
      DispatchMessageW(&Message);
    }
    Sleep(5);
  } while (GetTickCount64() < End);
}

void Report(const char* What, int Cycles, const Usage& From, const Usage& To) {
  printf("soak: %s, %d cycles after warm-up: handles %zu -> %zu, top-level windows %zu -> %zu, "
         "private bytes %zu KiB -> %zu KiB\n",
         What, Cycles, From.Handles, To.Handles, From.Windows, To.Windows, From.PrivateBytes / 1024, To.PrivateBytes / 1024);
  fflush(stdout);
}

// Runs Cycle Count times after Warm cycles; the usage before and after the counted ones.
template <class Body>
std::pair<Usage, Usage> Soak(int Warm, int Count, Body Cycle) {
  for (int I = 0; I < Warm; ++I) Cycle(I);
  const Usage Before = Measure();
  for (int I = 0; I < Count; ++I) Cycle(Warm + I);
  return {Before, Measure()};
}

HRESULT FilterDllCanUnloadNow() {
  HMODULE Filter = GetModuleHandleW(L"WQCryptoSource.dll");
  if (!Filter) return E_FAIL;
  auto CanUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(Filter, "DllCanUnloadNow")));
  return CanUnload ? CanUnload() : E_FAIL;
}

// The filter alone, read to its end by a puller of our own, synchronously and through the
// request queue: everything the filter takes, it gives back. (No graph manager: Wine's keeps one
// handle per instance, which would hide a leak of the filter's.)
TEST(SoakTest, FilterCyclesLeaveNothingBehind) {
  const std::wstring Sample = WriteSample();
  ASSERT_FALSE(Sample.empty());
  std::vector<BYTE> Buffer(64 * 1024);
  auto [Before, After] = Soak(Baseline, Cycles - Baseline, [&](int Cycle) {
    ComPtr<IBaseFilter> Source;
    ASSERT_EQ(CoCreateInstance(CLSID_WQCryptoSource, nullptr, CLSCTX_INPROC, IID_IBaseFilter,
                               reinterpret_cast<void**>(Source.GetAddressOf())), S_OK);
    ComPtr<IFileSourceFilter> File;
    ComPtr<IWQCryptoSourceControl> Control;
    ASSERT_EQ(Source.As(&File), S_OK);
    ASSERT_EQ(Source.As(&Control), S_OK);
    ASSERT_EQ(File->Load(Sample.c_str(), nullptr), S_OK) << "cycle " << Cycle;
    ASSERT_EQ(Control->SetKey("d47e09c3a1f85b2e6c70d9a4e13b8f56"), S_OK);
    ComPtr<IPin> Pin;
    ComPtr<IAsyncReader> Reader;
    ASSERT_EQ(Source->FindPin(L"Out", &Pin), S_OK);
    ASSERT_EQ(Pin.As(&Reader), S_OK);
    LONGLONG Total = 0, Available = 0;
    ASSERT_EQ(Reader->Length(&Total, &Available), S_OK);
    for (LONGLONG Position = 0; Position < Total; Position += static_cast<LONGLONG>(Buffer.size()))
      ASSERT_TRUE(SUCCEEDED(Reader->SyncRead(Position, static_cast<LONG>(Buffer.size()), Buffer.data())));
    ComPtr<IMemAllocator> Allocator;
    ALLOCATOR_PROPERTIES Wanted = {2, 16384, 1, 0};
    ASSERT_EQ(Reader->RequestAllocator(nullptr, &Wanted, &Allocator), S_OK);
    ASSERT_EQ(Allocator->Commit(), S_OK);
    for (LONGLONG Position = 0; Position + 16384 <= Total; Position += 16384 * 8) {
      ComPtr<IMediaSample> Sample;
      ASSERT_EQ(Allocator->GetBuffer(&Sample, nullptr, nullptr, 0), S_OK);
      REFERENCE_TIME From = Position * 10000000, To = (Position + 16384) * 10000000;
      Sample->SetTime(&From, &To);
      ASSERT_EQ(Reader->Request(Sample.Get(), 0), S_OK);
      IMediaSample* Done = nullptr;
      DWORD_PTR User = 0;
      ASSERT_EQ(Reader->WaitForNext(5000, &Done, &User), S_OK);
    }
    Allocator->Decommit();
  });
  Report("filter read through", Cycles - Baseline, Before, After);
  ASSERT_GT(Before.Handles, 0u);
  ASSERT_GT(Before.PrivateBytes, 0u);
  // A leak of one handle per cycle would show as 180; of one 16 KiB chunk, 2.8 MiB.
  EXPECT_LE(After.Handles, Before.Handles + 16);
  EXPECT_LE(After.Windows, Before.Windows + 2);
  EXPECT_LE(After.PrivateBytes, Before.PrivateBytes + 2 * 1024 * 1024);
  EXPECT_EQ(FilterDllCanUnloadNow(), S_OK) << "an object of the filter is still alive";
}

// The player's whole graph, with the platform's parser and renderers, against the platform's
// own graph for the plain file: whatever the platform keeps per graph, the player adds nothing.
TEST(SoakTest, PlayerGraphCyclesKeepNoMoreThanThePlatformsOwn) {
  const std::wstring Sample = WriteSample();
  ASSERT_FALSE(Sample.empty());
  const std::wstring Plain = std::wstring(KUZ_SOAK_MEDIA_W);
  constexpr int Counted = 100;

  auto [PlatformBefore, PlatformAfter] = Soak(4, Counted, [&](int) {
    ComPtr<IGraphBuilder> Graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                               reinterpret_cast<void**>(Graph.GetAddressOf())), S_OK);
    ASSERT_TRUE(SUCCEEDED(Graph->RenderFile(Plain.c_str(), nullptr)));
    ComPtr<IMediaControl> Control;
    Graph.As(&Control);
    Control->Run();
    PumpFor(60);
    Control->Stop();
    Graph.Reset();
    PumpFor(5);
  });
  Report("platform graph, plain file", Counted, PlatformBefore, PlatformAfter);

  auto [PlayerBefore, PlayerAfter] = Soak(4, Counted, [&](int Cycle) {
    TPlaybackGraph Graph;
    ASSERT_NO_THROW(Graph.BuildGraph(Sample, "d47e09c3a1f85b2e6c70d9a4e13b8f56")) << "cycle " << Cycle;
    PumpFor(60);
    Graph.ClearGraph();
    PumpFor(5);
  });
  Report("player graph, .kuz file", Counted, PlayerBefore, PlayerAfter);

  const long long PlatformHandles = static_cast<long long>(PlatformAfter.Handles) - PlatformBefore.Handles;
  const long long PlayerHandles = static_cast<long long>(PlayerAfter.Handles) - PlayerBefore.Handles;
  const long long PlatformBytes = static_cast<long long>(PlatformAfter.PrivateBytes) - PlatformBefore.PrivateBytes;
  const long long PlayerBytes = static_cast<long long>(PlayerAfter.PrivateBytes) - PlayerBefore.PrivateBytes;
  printf("soak: growth per cycle: handles %.1f (platform %.1f), private bytes %.0f KiB (platform %.0f KiB)\n",
         PlayerHandles / double(Counted), PlatformHandles / double(Counted), PlayerBytes / 1024.0 / Counted,
         PlatformBytes / 1024.0 / Counted);
  // One handle or one chunk more per cycle than the platform keeps would exceed these.
  EXPECT_LE(PlayerHandles, PlatformHandles + Counted / 2);
  EXPECT_LE(PlayerBytes, PlatformBytes + 16 * 1024 * Counted / 2);
  EXPECT_LE(PlayerAfter.Windows, PlayerBefore.Windows + 2);
  EXPECT_EQ(FilterDllCanUnloadNow(), S_OK) << "an object of the filter is still alive";
}

}  // namespace
