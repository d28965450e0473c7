// Benchmark of the decrypting source filter (not a test): prints figures, asserts nothing.
//
//   filter_bench --media=AVI --work=DIR [--megabytes=N]
//
// 1. CNG AES-128-GCM alone: decrypting 16 KiB chunks with BCryptDecrypt, the filter's ceiling.
// 2. The filter's sequential SyncRead of a large .kuz file: throughput and share of (1).
// 3. Whole graphs run to their end without a reference clock into null renderers: the .kuz
//    through the filter against the plain file through File Source (Async).
// 4. SetKey for a 1 MiB and a 1 GiB file: its cost does not grow with the file.
// 5. Peak working set while reading the large file.
#include <windows.h>

#include <bcrypt.h>
#include <dshow.h>
#include <psapi.h>
#include <wrl/client.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "WQCryptoTypes.h"
#include "kuz/Io.h"
#include "kuz/KeyText.h"
#include "kuz/Writer.h"

namespace {

using Microsoft::WRL::ComPtr;
using Clock = std::chrono::steady_clock;

const char Key[] = "d47e09c3a1f85b2e6c70d9a4e13b8f56";

// The platform's Null Renderer (qedit), which takes any media type and discards it.
constexpr CLSID NullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

double Seconds(Clock::time_point Since) { return std::chrono::duration<double>(Clock::now() - Since).count(); }

std::wstring Wide(const std::string& Text) {
  std::wstring Out(Text.begin(), Text.end());
  for (wchar_t& C : Out)
    if (C == L'/') C = L'\\';
  if (!Out.empty() && Out[0] == L'\\') Out = L"Z:" + Out;
  return Out;
}

class FileSink final : public kuz::ByteSink {
 public:
  explicit FileSink(const std::wstring& Path)
      : File(CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~FileSink() override { CloseHandle(File); }
  kuz::Status Write(std::span<const std::uint8_t> Data) noexcept override {
    DWORD Written = 0;
    return WriteFile(File, Data.data(), static_cast<DWORD>(Data.size()), &Written, nullptr) && Written == Data.size()
               ? kuz::Success()
               : kuz::Failure(kuz::Error::WriteFailed);
  }
  HANDLE File;
};

// Writes Size bytes of Fill (repeated) as a .kuz file.
bool WriteKuz(const std::wstring& Path, const std::vector<std::uint8_t>& Fill, std::uint64_t Size) {
  kuz::InputKey Input;
  if (!kuz::ParseKeyText(Key, Input).Ok()) return false;
  FileSink Sink(Path);
  kuz::StreamWriter Writer;
  if (!Writer.Start(Sink, Input.Bytes()).Ok()) return false;
  for (std::uint64_t Done = 0; Done < Size;) {
    const size_t Piece = static_cast<size_t>(std::min<std::uint64_t>(Fill.size(), Size - Done));
    if (!Writer.Write(std::span(Fill.data(), Piece)).Ok()) return false;
    Done += Piece;
  }
  return Writer.Finish().Ok();
}

std::vector<std::uint8_t> ReadWhole(const std::wstring& Path) {
  std::vector<std::uint8_t> Bytes;
  HANDLE File = CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER Size{};
  if (File != INVALID_HANDLE_VALUE && GetFileSizeEx(File, &Size)) {
    Bytes.resize(static_cast<size_t>(Size.QuadPart));
    DWORD Got = 0;
    ReadFile(File, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Got, nullptr);
    Bytes.resize(Got);
  }
  if (File != INVALID_HANDLE_VALUE) CloseHandle(File);
  return Bytes;
}

struct TFilter {
  ComPtr<IBaseFilter> Base;
  ComPtr<IAsyncReader> Reader;
};

HRESULT OpenFilter(const std::wstring& Path, TFilter& Filter, double* SetKeySeconds = nullptr) {
  HRESULT Result = CoCreateInstance(CLSID_WQCryptoSource, nullptr, CLSCTX_INPROC, IID_IBaseFilter,
                                    reinterpret_cast<void**>(Filter.Base.GetAddressOf()));
  if (FAILED(Result)) return Result;
  ComPtr<IFileSourceFilter> File;
  ComPtr<IWQCryptoSourceControl> Control;
  Filter.Base.As(&File);
  Filter.Base.As(&Control);
  if (FAILED(Result = File->Load(Path.c_str(), nullptr))) return Result;
  const auto Start = Clock::now();
  Result = Control->SetKey(Key);
  if (SetKeySeconds) *SetKeySeconds = Seconds(Start);
  if (FAILED(Result)) return Result;
  ComPtr<IPin> Pin;
  if (FAILED(Result = Filter.Base->FindPin(L"Out", &Pin))) return Result;
  return Pin.As(&Filter.Reader);
}

double CngAloneMegabytesPerSecond(double Megabytes) {
  BCRYPT_ALG_HANDLE Aes = nullptr;
  BCRYPT_KEY_HANDLE AesKey = nullptr;
  BCryptOpenAlgorithmProvider(&Aes, BCRYPT_AES_ALGORITHM, nullptr, 0);
  BCryptSetProperty(Aes, BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM)),
                    sizeof(BCRYPT_CHAIN_MODE_GCM), 0);
  UCHAR KeyBytes[16] = {1, 2, 3};
  BCryptGenerateSymmetricKey(Aes, &AesKey, nullptr, 0, KeyBytes, sizeof KeyBytes, 0);
  std::vector<UCHAR> Plain(16384, 0x5A), Sealed(16384), Opened(16384);
  UCHAR Nonce[12] = {}, Tag[16] = {};
  BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO Info;
  BCRYPT_INIT_AUTH_MODE_INFO(Info);
  Info.pbNonce = Nonce;
  Info.cbNonce = sizeof Nonce;
  Info.pbTag = Tag;
  Info.cbTag = sizeof Tag;
  ULONG Done = 0;
  BCryptEncrypt(AesKey, Plain.data(), 16384, &Info, nullptr, 0, Sealed.data(), 16384, &Done, 0);
  const int Chunks = static_cast<int>(Megabytes * 1024 * 1024 / 16384);
  const auto Start = Clock::now();
  for (int I = 0; I < Chunks; ++I)
    BCryptDecrypt(AesKey, Sealed.data(), 16384, &Info, nullptr, 0, Opened.data(), 16384, &Done, 0);
  const double Elapsed = Seconds(Start);
  BCryptDestroyKey(AesKey);
  BCryptCloseAlgorithmProvider(Aes, 0);
  return Chunks * 16384.0 / (1024 * 1024) / Elapsed;
}

SIZE_T PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS Memory = {};
  Memory.cb = sizeof Memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &Memory, sizeof Memory);
  return Memory.PeakWorkingSetSize;
}

double Failed(const char* What, HRESULT Result) {
  fprintf(stderr, "filter_bench: %s failed: 0x%08lX\n", What, static_cast<unsigned long>(Result));
  return -1;
}

// The source's output through the AVI splitter into null renderers: demultiplexing without
// decoding or presenting.
double RunToNullRenderers(IBaseFilter* Source, const wchar_t* Name) {
  ComPtr<IGraphBuilder> Graph;
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder, reinterpret_cast<void**>(Graph.GetAddressOf()));
  Graph->AddFilter(Source, Name);
  ComPtr<IBaseFilter> Splitter;
  CoCreateInstance(CLSID_AviSplitter, nullptr, CLSCTX_INPROC, IID_IBaseFilter, reinterpret_cast<void**>(Splitter.GetAddressOf()));
  Graph->AddFilter(Splitter.Get(), L"AVI Splitter");
  auto FirstPin = [](IBaseFilter* Filter, PIN_DIRECTION Wanted, int Skip = 0) {
    ComPtr<IEnumPins> Pins;
    Filter->EnumPins(&Pins);
    for (ComPtr<IPin> Pin; Pins->Next(1, Pin.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
      PIN_DIRECTION Direction;
      Pin->QueryDirection(&Direction);
      if (Direction == Wanted && Skip-- == 0) return Pin;
    }
    return ComPtr<IPin>();
  };
  if (!Splitter) return Failed("no AVI Splitter", REGDB_E_CLASSNOTREG);
  HRESULT Result = Graph->ConnectDirect(FirstPin(Source, PINDIR_OUTPUT).Get(), FirstPin(Splitter.Get(), PINDIR_INPUT).Get(), nullptr);
  if (FAILED(Result)) return Failed("connecting the splitter", Result);
  // Every stream straight into a null renderer of its own.
  for (int Stream = 0;; ++Stream) {
    ComPtr<IPin> Out = FirstPin(Splitter.Get(), PINDIR_OUTPUT, Stream);
    if (!Out) break;
    ComPtr<IBaseFilter> Null;
    CoCreateInstance(NullRenderer, nullptr, CLSCTX_INPROC, IID_IBaseFilter, reinterpret_cast<void**>(Null.GetAddressOf()));
    if (!Null) return Failed("creating a null renderer", REGDB_E_CLASSNOTREG);
    Graph->AddFilter(Null.Get(), Stream == 0 ? L"Null 1" : L"Null 2");
    if (FAILED(Result = Graph->ConnectDirect(Out.Get(), FirstPin(Null.Get(), PINDIR_INPUT).Get(), nullptr)))
      return Failed("connecting a null renderer", Result);
  }
  ComPtr<IMediaFilter> Timing;
  Graph.As(&Timing);
  Timing->SetSyncSource(nullptr);
  ComPtr<IMediaControl> Control;
  ComPtr<IMediaEvent> Events;
  Graph.As(&Control);
  Graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(Events.GetAddressOf()));
  const auto Start = Clock::now();
  Control->Run();
  long Code = 0;
  Result = Events->WaitForCompletion(120000, &Code);
  const double Elapsed = Seconds(Start);
  Control->Stop();
  return Code == EC_COMPLETE ? Elapsed : Failed("running to the end", Result);
}

}  // namespace

int main(int argc, char** argv) {
  std::string Media, Work;
  double Megabytes = 256;
  for (int I = 1; I < argc; ++I) {
    const std::string Argument = argv[I];
    if (Argument.rfind("--media=", 0) == 0) Media = Argument.substr(8);
    else if (Argument.rfind("--work=", 0) == 0) Work = Argument.substr(7);
    else if (Argument.rfind("--megabytes=", 0) == 0) Megabytes = std::stod(Argument.substr(12));
  }
  if (Media.empty() || Work.empty()) {
    fprintf(stderr, "usage: filter_bench --media=AVI --work=DIR [--megabytes=N]\n");
    return 2;
  }
  CoInitialize(nullptr);
  const std::wstring Folder = Wide(Work);
  CreateDirectoryW(Folder.c_str(), nullptr);


  // 2 and 5: the large file, read sequentially in 64 KiB pieces.
  const std::wstring Large = Folder + L"\\bench-large.kuz";
  const std::vector<std::uint8_t> Fill(1 << 20, 0xA5);
  WriteKuz(Large, Fill, static_cast<std::uint64_t>(Megabytes * 1024 * 1024));
  {
    TFilter Filter;
    if (FAILED(OpenFilter(Large, Filter))) return 1;
    LONGLONG Total = 0, Available = 0;
    Filter.Reader->Length(&Total, &Available);
    std::vector<BYTE> Buffer(65536);
    const SIZE_T PeakBefore = PeakWorkingSet();
    // CNG alone and the filter in turn, best of three each: what a quiet machine gives, with
    // both measured under the same load.
    double Cng = 0, Rate = 0;
    for (int Run = 0; Run < 3; ++Run) {
      Cng = std::max(Cng, CngAloneMegabytesPerSecond(Megabytes));
      const auto Start = Clock::now();
      for (LONGLONG Position = 0; Position < Total; Position += 65536)
        Filter.Reader->SyncRead(Position, 65536, Buffer.data());
      Rate = std::max(Rate, Total / (1024.0 * 1024) / Seconds(Start));
    }
    printf("CNG AES-128-GCM alone (16 KiB chunks):   %8.1f MiB/s\n", Cng);
    printf("filter SyncRead, sequential 64 KiB:      %8.1f MiB/s  (%.0f%% of CNG alone; %.0f MiB file)\n", Rate,
           100 * Rate / Cng, Total / (1024.0 * 1024));
    printf("peak working set: %.1f MiB before reading, %.1f MiB after reading %.0f MiB\n", PeakBefore / 1048576.0,
           PeakWorkingSet() / 1048576.0, Total / 1048576.0);
  }
  DeleteFileW(Large.c_str());

  // 3: whole graphs into null renderers, the .kuz against the plain file.
  const std::wstring Plain = Wide(Media);
  const std::wstring Encrypted = Folder + L"\\bench-media.kuz";
  const std::vector<std::uint8_t> MediaBytes = ReadWhole(Plain);
  WriteKuz(Encrypted, MediaBytes, MediaBytes.size());
  for (int Round = 0; Round < 2; ++Round) {
    ComPtr<IBaseFilter> FileSource;
    ComPtr<IFileSourceFilter> Load;
    CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC, IID_IBaseFilter, reinterpret_cast<void**>(FileSource.GetAddressOf()));
    FileSource.As(&Load);
    Load->Load(Plain.c_str(), nullptr);
    const double PlainSeconds = RunToNullRenderers(FileSource.Get(), L"File Source (Async)");
    TFilter Filter;
    if (FAILED(OpenFilter(Encrypted, Filter))) return 1;
    const double KuzSeconds = RunToNullRenderers(Filter.Base.Get(), L"WQCryptoSource");
    if (Round == 1)
      printf("graph to null renderers, %.1f MiB AVI:    plain %.3f s, .kuz %.3f s, ratio %.2f\n",
             MediaBytes.size() / 1048576.0, PlainSeconds, KuzSeconds, KuzSeconds / PlainSeconds);
  }
  DeleteFileW(Encrypted.c_str());

  // 4: SetKey against the file size.
  for (std::uint64_t Size : {std::uint64_t{1} << 20, std::uint64_t{1} << 30}) {
    const std::wstring Path = Folder + L"\\bench-setkey.kuz";
    WriteKuz(Path, Fill, Size);
    double Best = 1e9;
    for (int I = 0; I < 5; ++I) {
      TFilter Filter;
      double Elapsed = 0;
      OpenFilter(Path, Filter, &Elapsed);
      Best = std::min(Best, Elapsed);
    }
    printf("SetKey, %4.0f MiB file:                   %8.3f ms\n", Size / 1048576.0, Best * 1000);
    DeleteFileW(Path.c_str());
  }
  CoUninitialize();
  return 0;
}
