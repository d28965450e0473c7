#include <windows.h>
#include <io.h>

#include <atomic>
#include <cstdio>

#include "Platform.h"
#include "kuz/Win32File.h"

namespace kuzpack {

namespace {

std::wstring Wide(const std::string& Utf8) {
  if (Utf8.empty()) return {};
  int Size = MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), static_cast<int>(Utf8.size()), nullptr, 0);
  std::wstring Out(static_cast<std::size_t>(Size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, Utf8.data(), static_cast<int>(Utf8.size()), Out.data(), Size);
  return Out;
}

std::string SystemError(DWORD Code = GetLastError()) {
  char Text[256] = {};
  DWORD Length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, Code, 0, Text,
                                sizeof Text, nullptr);
  while (Length > 0 && (Text[Length - 1] == '\n' || Text[Length - 1] == '\r' || Text[Length - 1] == '.')) --Length;
  if (Length == 0) return "error " + std::to_string(Code);
  return std::string(Text, Length);
}

std::atomic<bool> InterruptFlag{false};
std::atomic<bool> CleanedUp{false};

BOOL WINAPI OnConsoleEvent(DWORD Event) {
  InterruptFlag = true;
  // For a closing console the process ends when this returns: give the main thread time to
  // remove its temporary file first.
  if (Event == CTRL_CLOSE_EVENT || Event == CTRL_LOGOFF_EVENT || Event == CTRL_SHUTDOWN_EVENT) {
    for (int I = 0; I < 40 && !CleanedUp; ++I) Sleep(100);
  }
  return TRUE;
}

}  // namespace

struct InputFile::State {
  kuz::UniqueFileHandle File;
  std::uint64_t Size = 0;
};

InputFile::InputFile() noexcept = default;
InputFile::~InputFile() = default;

bool InputFile::Open(const std::string& Path, std::string& Error) {
  Impl = std::make_unique<State>();
  Impl->File.Reset(CreateFileW(Wide(Path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!Impl->File.Valid()) {
    Error = "cannot open: " + SystemError();
    return false;
  }
  BY_HANDLE_FILE_INFORMATION Info;
  if (GetFileInformationByHandle(Impl->File.Get(), &Info) && (Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Error = "is a folder";
    return false;
  }
  LARGE_INTEGER Size;
  if (GetFileType(Impl->File.Get()) == FILE_TYPE_DISK && GetFileSizeEx(Impl->File.Get(), &Size))
    Impl->Size = static_cast<std::uint64_t>(Size.QuadPart);
  return true;
}

bool InputFile::Read(std::span<std::uint8_t> Out, std::size_t& Count, std::string& Error) {
  Count = 0;
  while (Count < Out.size()) {
    DWORD Got = 0;
    if (!ReadFile(Impl->File.Get(), Out.data() + Count, static_cast<DWORD>(Out.size() - Count), &Got, nullptr)) {
      if (GetLastError() == ERROR_BROKEN_PIPE) break;
      Error = "cannot read: " + SystemError();
      return false;
    }
    if (Got == 0) break;
    Count += Got;
  }
  return true;
}

std::uint64_t InputFile::Size() const noexcept { return Impl ? Impl->Size : 0; }

struct OutputFile::State {
  std::wstring Target;
  std::wstring TempPath;
  bool Replace = false;
  kuz::UniqueFileHandle File;
  bool Committed = false;
  std::string WriteError;

  ~State() {
    File.Reset();
    if (!Committed && !TempPath.empty()) DeleteFileW(TempPath.c_str());
    CleanedUp = true;
  }
};

OutputFile::OutputFile() noexcept = default;
OutputFile::~OutputFile() = default;

bool OutputFile::Create(const std::string& Target, bool Replace, std::string& Error) {
  Impl = std::make_unique<State>();
  Impl->Target = Wide(Target);
  Impl->Replace = Replace;
  for (unsigned Attempt = 0; Attempt < 10 && !Impl->File.Valid(); ++Attempt) {
    wchar_t Suffix[64];
    swprintf(Suffix, 64, L".kuzpack-%lu-%lu-%u.tmp", GetCurrentProcessId(), GetTickCount(), Attempt);
    Impl->TempPath = Impl->Target + Suffix;
    Impl->File.Reset(CreateFileW(Impl->TempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!Impl->File.Valid() && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!Impl->File.Valid()) {
    Error = "cannot create a file beside it: " + SystemError();
    Impl->TempPath.clear();
    return false;
  }
  CleanedUp = false;
  return true;
}

kuz::Status OutputFile::Write(std::span<const std::uint8_t> Data) noexcept {
  while (!Data.empty()) {
    DWORD Put = 0;
    if (Interrupted()) {
      Impl->WriteError = "interrupted";
      return kuz::Failure(kuz::Error::WriteFailed);
    }
    if (!WriteFile(Impl->File.Get(), Data.data(), static_cast<DWORD>(Data.size()), &Put, nullptr) || Put == 0) {
      Impl->WriteError = "cannot write: " + SystemError();
      return kuz::Failure(kuz::Error::WriteFailed);
    }
    Data = Data.subspan(Put);
  }
  return kuz::Success();
}

const std::string& OutputFile::WriteError() const noexcept { return Impl->WriteError; }

bool OutputFile::Commit(std::string& Error) {
  State& S = *Impl;
  if (!FlushFileBuffers(S.File.Get())) {
    Error = "cannot write: " + SystemError();
    return false;
  }
  S.File.Reset();
  // Without MOVEFILE_REPLACE_EXISTING the move fails rather than replace a file.
  DWORD Flags = MOVEFILE_WRITE_THROUGH | (S.Replace ? MOVEFILE_REPLACE_EXISTING : 0);
  if (!MoveFileExW(S.TempPath.c_str(), S.Target.c_str(), Flags)) {
    DWORD Code = GetLastError();
    Error = Code == ERROR_ALREADY_EXISTS || Code == ERROR_FILE_EXISTS ? "exists (use --force to replace it)"
                                                                      : "cannot create: " + SystemError(Code);
    return false;
  }
  S.Committed = true;
  return true;
}

bool PathExists(const std::string& Path) { return GetFileAttributesW(Wide(Path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool SameFile(const std::string& A, const std::string& B) {
  auto Identify = [](const std::string& Path, BY_HANDLE_FILE_INFORMATION& Info) {
    kuz::UniqueFileHandle File(CreateFileW(Wide(Path).c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return File.Valid() && GetFileInformationByHandle(File.Get(), &Info);
  };
  BY_HANDLE_FILE_INFORMATION First, Second;
  return Identify(A, First) && Identify(B, Second) && First.dwVolumeSerialNumber == Second.dwVolumeSerialNumber &&
         First.nFileIndexHigh == Second.nFileIndexHigh && First.nFileIndexLow == Second.nFileIndexLow;
}

kuz::Status OpenSource(const std::string& Path, std::unique_ptr<kuz::ByteSource>& Source) {
  return kuz::OpenWin32File(Wide(Path).c_str(), Source);
}

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool Interrupted() noexcept { return InterruptFlag; }

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }
bool StandardInputIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

bool ReadStandardInputLine(const char* Prompt, std::string& Line) {
  Line.clear();
  Line.reserve(4097);  // no reallocation that would leave copies of the key behind
  HANDLE Input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD Mode = 0;
  bool Console = StandardInputIsTerminal() && GetConsoleMode(Input, &Mode);
  if (Console) {
    std::fputs(Prompt, stderr);
    SetConsoleMode(Input, Mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  }
  bool Ok = true;
  for (;;) {
    int C = std::fgetc(stdin);
    if (C == EOF || C == '\n') break;
    if (Line.size() >= 4096) {
      Ok = false;
      break;
    }
    Line += static_cast<char>(C);
  }
  if (Console) {
    SetConsoleMode(Input, Mode);
    std::fputs("\n", stderr);
  }
  return Ok;
}

}  // namespace kuzpack
