// The installer, run as a user would run it, in a fresh prefix of its own. A silent install puts
// the player, the filter, the uninstaller, the Start-menu shortcut and the Add/Remove Programs
// entry in place and registers the filter so that it is created from the installed DLL; the
// installed player plays a sample; the silent uninstall that the entry names takes all of it away.
// An installer whose filter refuses registration fails and leaves nothing behind. The setup and
// the uninstaller carry the product's version information.
#include <windows.h>

#include <dshow.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "PlayerDriver.h"
#include "SampleMedia.h"
#include "WQCryptoTypes.h"

namespace {

using Microsoft::WRL::ComPtr;

enum : int { Button1 = 101 };

std::wstring Wide(const char* Text) { return std::wstring(Text, Text + strlen(Text)); }

std::wstring Windows(const char* Path) {
  std::wstring Result = Wide(Path);
  for (wchar_t& C : Result)
    if (C == L'/') C = L'\\';
  return Result;
}

const std::wstring SetupProgram = Windows(KUZ_SETUP);
const std::wstring RefusingSetupProgram = Windows(KUZ_REFUSING_SETUP);
const std::wstring Version = Wide(KUZ_VERSION);
const wchar_t UninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KUZ Player";

std::wstring KnownFolder(REFKNOWNFOLDERID Id) {
  PWSTR Path = nullptr;
  std::wstring Result;
  if (SUCCEEDED(SHGetKnownFolderPath(Id, 0, nullptr, &Path))) Result = Path;
  CoTaskMemFree(Path);
  return Result;
}

// Where the installer puts things, with the folders as the platform names them.
struct Layout {
  std::wstring Folder = KnownFolder(FOLDERID_ProgramFiles) + L"\\KUZ Player";
  std::wstring Player = Folder + L"\\KUZ_Player.exe";
  std::wstring Filter = Folder + L"\\WQCryptoSource.dll";
  std::wstring Uninstaller = Folder + L"\\uninstall.exe";
  std::wstring ShortcutFolder = KnownFolder(FOLDERID_CommonPrograms) + L"\\KUZ Player";
  std::wstring Shortcut = ShortcutFolder + L"\\KUZ Player.lnk";
};

const Layout& Installed() {
  static const Layout Paths;
  return Paths;
}

std::wstring Quoted(const std::wstring& Text) { return L"\"" + Text + L"\""; }

bool SamePath(const std::wstring& A, const std::wstring& B) {
  return CompareStringOrdinal(A.c_str(), -1, B.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring ClassKey() {
  wchar_t Class[40];
  StringFromGUID2(CLSID_WQCryptoSource, Class, 40);
  return std::wstring(L"CLSID\\") + Class;
}

// The filter's entry in the legacy DirectShow filter category, as IFilterMapper2 writes it.
std::wstring FilterEntryKey() {
  wchar_t Category[40], Class[40];
  StringFromGUID2(CLSID_LegacyAmFilterCategory, Category, 40);
  StringFromGUID2(CLSID_WQCryptoSource, Class, 40);
  return std::wstring(L"CLSID\\") + Category + L"\\Instance\\" + Class;
}

bool FileExists(const std::wstring& Path) {
  const DWORD Attributes = GetFileAttributesW(Path.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && !(Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& Path) {
  const DWORD Attributes = GetFileAttributesW(Path.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool KeyExists(HKEY Root, const std::wstring& Key) {
  HKEY Opened = nullptr;
  if (RegOpenKeyExW(Root, Key.c_str(), 0, KEY_READ, &Opened) != ERROR_SUCCESS) return false;
  RegCloseKey(Opened);
  return true;
}

// Everything the installer creates, each with whether it is there now.
struct Trace {
  std::wstring What;
  bool Present;
};

std::vector<Trace> Traces() {
  const Layout& At = Installed();
  return {
      {At.Player, FileExists(At.Player)},
      {At.Filter, FileExists(At.Filter)},
      {At.Uninstaller, FileExists(At.Uninstaller)},
      {At.Folder, FolderExists(At.Folder)},
      {At.Shortcut, FileExists(At.Shortcut)},
      {At.ShortcutFolder, FolderExists(At.ShortcutFolder)},
      {std::wstring(L"HKLM\\") + UninstallKey, KeyExists(HKEY_LOCAL_MACHINE, UninstallKey)},
      {L"HKCR\\" + ClassKey(), KeyExists(HKEY_CLASSES_ROOT, ClassKey())},
      {L"HKCR\\" + FilterEntryKey(), KeyExists(HKEY_CLASSES_ROOT, FilterEntryKey())},
  };
}

void ExpectTraces(bool Present) {
  for (const Trace& Each : Traces()) EXPECT_EQ(Each.Present, Present) << Each.What;
}

bool NoTraces() {
  for (const Trace& Each : Traces())
    if (Each.Present) return false;
  return true;
}

HRESULT CreateFilter() {
  ComPtr<IBaseFilter> Filter;
  return CoCreateInstance(CLSID_WQCryptoSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(Filter.GetAddressOf()));
}

struct HandleCloser {
  void operator()(HANDLE Handle) const noexcept { CloseHandle(Handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// What became of a command and of the processes it started.
struct Outcome {
  bool Started = false;
  bool AllEnded = false;           // the command and everything it started
  DWORD ExitCode = STILL_ACTIVE;   // of the command's own process
};

// Runs CommandLine in a job and waits until every process in the job has ended. An NSIS
// uninstaller returns at once, after starting a copy of itself from the temp folder that does the
// work (unless told _?=folder, which leaves it unable to remove itself and its folder); the job
// holds that copy too, so this waits for the uninstall as Add/Remove Programs starts it, without
// polling for its results. What the work did is judged by what it leaves behind. Whatever still
// runs at the time limit is killed.
Outcome RunToTheEnd(std::wstring CommandLine, DWORD TimeoutMs = 60000) {
  Outcome Result;
  UniqueHandle Job(CreateJobObjectW(nullptr, nullptr));
  UniqueHandle Port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  if (!Job || !Port) return Result;
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT Association = {Job.get(), Port.get()};
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION Limits = {};
  Limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(Job.get(), JobObjectAssociateCompletionPortInformation, &Association, sizeof Association) ||
      !SetInformationJobObject(Job.get(), JobObjectExtendedLimitInformation, &Limits, sizeof Limits))
    return Result;

  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Info = {};
  if (!CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                      &Startup, &Info))
    return Result;
  UniqueHandle Process(Info.hProcess), Thread(Info.hThread);
  // Suspended until it is in the job, so that nothing it starts escapes the job.
  if (!AssignProcessToJobObject(Job.get(), Process.get())) {
    TerminateProcess(Process.get(), 1);
    return Result;
  }
  ResumeThread(Thread.get());
  Result.Started = true;

  const ULONGLONG End = GetTickCount64() + TimeoutMs;
  for (ULONGLONG Now; !Result.AllEnded && (Now = GetTickCount64()) < End;) {
    DWORD Message = 0;
    ULONG_PTR Key = 0;
    LPOVERLAPPED Detail = nullptr;
    if (!GetQueuedCompletionStatus(Port.get(), &Message, &Key, &Detail, static_cast<DWORD>(End - Now))) break;
    if (Key == reinterpret_cast<ULONG_PTR>(Job.get()) && Message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO)
      Result.AllEnded = true;
  }
  if (!GetExitCodeProcess(Process.get(), &Result.ExitCode)) Result.ExitCode = STILL_ACTIVE;
  return Result;
}

// Runs CommandLine to the end and expects it to succeed.
void ExpectSucceeds(const std::wstring& CommandLine) {
  const Outcome Run = RunToTheEnd(CommandLine);
  ASSERT_TRUE(Run.Started) << CommandLine;
  ASSERT_TRUE(Run.AllEnded) << CommandLine << " still runs";
  EXPECT_EQ(Run.ExitCode, 0u) << CommandLine;
}

bool ReadString(HKEY Root, const std::wstring& Key, const wchar_t* Name, std::wstring& Value) {
  wchar_t Buffer[2048] = {};
  DWORD Size = sizeof Buffer;
  if (RegGetValueW(Root, Key.c_str(), Name, RRF_RT_REG_SZ, nullptr, Buffer, &Size) != ERROR_SUCCESS) return false;
  Value = Buffer;
  return true;
}

bool ReadDword(HKEY Root, const std::wstring& Key, const wchar_t* Name, DWORD& Value) {
  DWORD Size = sizeof Value;
  return RegGetValueW(Root, Key.c_str(), Name, RRF_RT_REG_DWORD, nullptr, &Value, &Size) == ERROR_SUCCESS;
}

std::vector<char> Contents(const std::wstring& Path) {
  std::vector<char> Bytes;
  if (FILE* In = _wfopen(Path.c_str(), L"rb")) {
    char Buffer[65536];
    for (size_t Got; (Got = fread(Buffer, 1, sizeof Buffer, In)) > 0;) Bytes.insert(Bytes.end(), Buffer, Buffer + Got);
    fclose(In);
  }
  return Bytes;
}

bool SameContents(const std::wstring& A, const std::wstring& B) {
  const std::vector<char> First = Contents(A);
  return !First.empty() && First == Contents(B);
}

ULONGLONG FileSize(const std::wstring& Path) {
  WIN32_FILE_ATTRIBUTE_DATA Data = {};
  if (!GetFileAttributesExW(Path.c_str(), GetFileExInfoStandard, &Data)) return 0;
  return (static_cast<ULONGLONG>(Data.nFileSizeHigh) << 32) | Data.nFileSizeLow;
}

std::wstring ShortcutTarget(const std::wstring& Shortcut) {
  ComPtr<IShellLinkW> Link;
  ComPtr<IPersistFile> File;
  wchar_t Target[MAX_PATH] = {};
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&Link))) ||
      FAILED(Link.As(&File)) || FAILED(File->Load(Shortcut.c_str(), STGM_READ)) ||
      FAILED(Link->GetPath(Target, MAX_PATH, nullptr, 0)))
    return L"";
  return Target;
}

// What a file's version resource says: strings in its first language, and the fixed product version.
struct VersionInfo {
  bool Found = false;
  std::wstring ProductName, ProductVersion, CompanyName;
  DWORD ProductMS = 0, ProductLS = 0;
};

VersionInfo ReadVersionInfo(const std::wstring& Path) {
  VersionInfo Info;
  DWORD Ignored = 0;
  const DWORD Size = GetFileVersionInfoSizeW(Path.c_str(), &Ignored);
  if (!Size) return Info;
  std::vector<BYTE> Block(Size);
  VS_FIXEDFILEINFO* Fixed = nullptr;
  struct Translation {
    WORD Language, CodePage;
  }* Languages = nullptr;
  UINT Length = 0;
  if (!GetFileVersionInfoW(Path.c_str(), 0, Size, Block.data()) ||
      !VerQueryValueW(Block.data(), L"\\", reinterpret_cast<void**>(&Fixed), &Length) ||
      !VerQueryValueW(Block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&Languages), &Length) ||
      Length < sizeof *Languages)
    return Info;
  Info.Found = true;
  Info.ProductMS = Fixed->dwProductVersionMS;
  Info.ProductLS = Fixed->dwProductVersionLS;
  wchar_t StringTable[64];
  swprintf(StringTable, 64, L"\\StringFileInfo\\%04x%04x\\", Languages->Language, Languages->CodePage);
  auto Text = [&](const wchar_t* Name) {
    wchar_t* Value = nullptr;
    UINT Chars = 0;
    return VerQueryValueW(Block.data(), (StringTable + std::wstring(Name)).c_str(), reinterpret_cast<void**>(&Value), &Chars) && Value
               ? std::wstring(Value)
               : std::wstring(L"(none)");
  };
  Info.ProductName = Text(L"ProductName");
  Info.ProductVersion = Text(L"ProductVersion");
  Info.CompanyName = Text(L"CompanyName");
  return Info;
}

void ExpectProductVersionInfo(const std::wstring& Path) {
  const VersionInfo Info = ReadVersionInfo(Path);
  ASSERT_TRUE(Info.Found) << Path;
  EXPECT_EQ(Info.ProductName, L"KUZ Player") << Path;
  EXPECT_EQ(Info.CompanyName, L"KUZ Player developers") << Path;
  EXPECT_EQ(Info.ProductVersion, Version + L".0") << Path;
  wchar_t Fixed[64];
  swprintf(Fixed, 64, L"%u.%u.%u.%u", HIWORD(Info.ProductMS), LOWORD(Info.ProductMS), HIWORD(Info.ProductLS),
           LOWORD(Info.ProductLS));
  EXPECT_EQ(std::wstring(Fixed), Version + L".0") << Path;
}

void ExpectUninstallEntry() {
  const Layout& At = Installed();
  const struct {
    const wchar_t* Name;
    std::wstring Value;
  } Strings[] = {
      {L"DisplayName", L"KUZ Player"},
      {L"DisplayVersion", Version},
      {L"Publisher", L"KUZ Player developers"},
      {L"DisplayIcon", At.Player + L",0"},
      {L"InstallLocation", At.Folder},
      {L"UninstallString", Quoted(At.Uninstaller)},
      {L"QuietUninstallString", Quoted(At.Uninstaller) + L" /S"},
  };
  for (const auto& Expected : Strings) {
    std::wstring Value;
    EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, UninstallKey, Expected.Name, Value)) << Expected.Name;
    EXPECT_EQ(Value, Expected.Value) << Expected.Name;
  }
  const ULONGLONG Bytes = FileSize(At.Player) + FileSize(At.Filter) + FileSize(At.Uninstaller);
  const struct {
    const wchar_t* Name;
    DWORD Value;
  } Numbers[] = {
      {L"EstimatedSize", static_cast<DWORD>((Bytes + 1023) / 1024)},  // KiB
      {L"NoModify", 1},
      {L"NoRepair", 1},
  };
  for (const auto& Expected : Numbers) {
    DWORD Value = 0;
    EXPECT_TRUE(ReadDword(HKEY_LOCAL_MACHINE, UninstallKey, Expected.Name, Value)) << Expected.Name;
    EXPECT_EQ(Value, Expected.Value) << Expected.Name;
  }
}

// The class resolves to the installed DLL, and creating it loads exactly that file.
void ExpectFilterCreatedFromInstalledDll() {
  const std::wstring Dll = Installed().Filter;
  std::wstring Server;
  ASSERT_TRUE(ReadString(HKEY_CLASSES_ROOT, ClassKey() + L"\\InprocServer32", nullptr, Server));
  EXPECT_TRUE(SamePath(Server, Dll)) << Server;
  {
    ComPtr<IBaseFilter> Filter;
    ASSERT_EQ(CoCreateInstance(CLSID_WQCryptoSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               reinterpret_cast<void**>(Filter.GetAddressOf())),
              S_OK);
    EXPECT_NE(GetModuleHandleW(Dll.c_str()), nullptr);
  }
  // Unloaded again, or this process would hold the file the uninstaller must delete.
  EXPECT_TRUE(WaitUntil([&] {
    CoFreeUnusedLibrariesEx(0, 0);
    return GetModuleHandleW(Dll.c_str()) == nullptr;
  }));
}

void ExpectInstalledPlayerPlays() {
  const std::wstring Sample = WriteSampleKuz(std::string(KUZ_MEDIA) + "\\clip.avi", L"kuz-installer-clip.kuz");
  ASSERT_FALSE(Sample.empty());
  PlayerProcess Player(Installed().Player);
  ASSERT_TRUE(Player.Started());
  Player.Click(Button1);
  HWND Dialog = Player.WaitForDialog();
  ASSERT_NE(Dialog, nullptr);
  AcceptOpenDialog(Dialog, Sample);
  EXPECT_TRUE(WaitUntil([&] { return VideoWindowShown(Player); }, 15000)) << "no video";
  EXPECT_TRUE(Player.Dialogs().empty()) << "a message while opening a good file";
  EXPECT_EQ(Player.CloseAndWait(), 0u);
}

class InstallerTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(NoTraces()) << "the prefix holds an earlier install"; }
};

TEST(SetupProgramTest, CarriesTheProductsVersionInformation) { ExpectProductVersionInfo(SetupProgram); }

TEST_F(InstallerTest, RefusedRegistrationFailsTheInstallAndLeavesNothingBehind) {
  const Outcome Run = RunToTheEnd(Quoted(RefusingSetupProgram) + L" /S");
  ASSERT_TRUE(Run.Started);
  ASSERT_TRUE(Run.AllEnded);
  EXPECT_EQ(Run.ExitCode, 2u) << "NSIS: aborted by the script";
  ExpectTraces(false);
  EXPECT_EQ(CreateFilter(), REGDB_E_CLASSNOTREG);
}

TEST_F(InstallerTest, SilentInstallPlaysAndTheRegisteredSilentUninstallRemovesEverything) {
  ASSERT_EQ(CreateFilter(), REGDB_E_CLASSNOTREG);
  ASSERT_NO_FATAL_FAILURE(ExpectSucceeds(Quoted(SetupProgram) + L" /S"));
  ExpectTraces(true);
  const Layout& At = Installed();
  EXPECT_TRUE(SameContents(At.Player, Windows(KUZ_BUILT_PLAYER))) << "the player as packed";
  EXPECT_TRUE(SameContents(At.Filter, Windows(KUZ_BUILT_FILTER))) << "the filter as packed";
  for (const std::wstring& File : {At.Player, At.Filter, At.Uninstaller}) ExpectProductVersionInfo(File);
  EXPECT_TRUE(SamePath(ShortcutTarget(At.Shortcut), At.Player)) << ShortcutTarget(At.Shortcut);
  ExpectUninstallEntry();
  ASSERT_NO_FATAL_FAILURE(ExpectFilterCreatedFromInstalledDll());
  ASSERT_NO_FATAL_FAILURE(ExpectInstalledPlayerPlays());

  // Removed the way Add/Remove Programs removes it silently.
  std::wstring Uninstall;
  ASSERT_TRUE(ReadString(HKEY_LOCAL_MACHINE, UninstallKey, L"QuietUninstallString", Uninstall));
  ASSERT_NO_FATAL_FAILURE(ExpectSucceeds(Uninstall));
  ExpectTraces(false);
  EXPECT_EQ(CreateFilter(), REGDB_E_CLASSNOTREG);
}

}  // namespace
