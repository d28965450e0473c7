#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "Platform.h"
#include "kuz/PosixFile.h"

namespace kuzpack {

namespace {

std::string SystemError() { return std::strerror(errno); }

std::string Folder(const std::string& Path) {
  auto Slash = Path.find_last_of('/');
  if (Slash == std::string::npos) return ".";
  return Slash == 0 ? "/" : Path.substr(0, Slash);
}

std::string BaseName(const std::string& Path) {
  auto Slash = Path.find_last_of('/');
  return Slash == std::string::npos ? Path : Path.substr(Slash + 1);
}

volatile sig_atomic_t InterruptFlag = 0;

void OnInterrupt(int) { InterruptFlag = 1; }

// A name beside Target that no one else uses: .NAME.kuzpack-RANDOM
std::string SiblingName(const std::string& Target) {
  std::random_device Random;
  char Suffix[32];
  std::snprintf(Suffix, sizeof Suffix, ".kuzpack-%08x%08x", Random(), Random());
  std::string Dir = Folder(Target);
  return (Dir == "/" ? "" : Dir) + "/." + BaseName(Target) + Suffix;
}

}  // namespace

struct InputFile::State {
  int Fd = -1;
  std::uint64_t Size = 0;
  ~State() {
    if (Fd >= 0) close(Fd);
  }
};

InputFile::InputFile() noexcept = default;
InputFile::~InputFile() = default;

bool InputFile::Open(const std::string& Path, std::string& Error) {
  Impl = std::make_unique<State>();
  Impl->Fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat Info;
  if (Impl->Fd < 0 || fstat(Impl->Fd, &Info) != 0) {
    Error = "cannot open: " + SystemError();
    return false;
  }
  if (S_ISDIR(Info.st_mode)) {
    Error = "is a folder";
    return false;
  }
  if (S_ISREG(Info.st_mode)) Impl->Size = static_cast<std::uint64_t>(Info.st_size);
  return true;
}

bool InputFile::Read(std::span<std::uint8_t> Out, std::size_t& Count, std::string& Error) {
  Count = 0;
  while (Count < Out.size()) {
    ssize_t Got = read(Impl->Fd, Out.data() + Count, Out.size() - Count);
    if (Got < 0 && errno == EINTR && !Interrupted()) continue;
    if (Got < 0) {
      Error = Interrupted() ? "interrupted" : "cannot read: " + SystemError();
      return false;
    }
    if (Got == 0) break;
    Count += static_cast<std::size_t>(Got);
  }
  return true;
}

std::uint64_t InputFile::Size() const noexcept { return Impl ? Impl->Size : 0; }

struct OutputFile::State {
  std::string Target;
  std::string TempPath;  // empty for an unnamed (O_TMPFILE) file
  bool Replace = false;
  int Fd = -1;
  bool Committed = false;
  std::string WriteError;

  ~State() {
    if (Fd >= 0) close(Fd);
    if (!Committed && !TempPath.empty()) unlink(TempPath.c_str());
  }
};

OutputFile::OutputFile() noexcept = default;
OutputFile::~OutputFile() = default;

bool OutputFile::Create(const std::string& Target, bool Replace, std::string& Error) {
  Impl = std::make_unique<State>();
  Impl->Target = Target;
  Impl->Replace = Replace;
  // An unnamed file first: if the process dies, the file system drops it.
  Impl->Fd = open(Folder(Target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (Impl->Fd >= 0) return true;
  // Otherwise a hidden name beside the target, removed on every failure path.
  mode_t Mask = umask(0);
  umask(Mask);
  for (int Attempt = 0; Attempt < 10 && Impl->Fd < 0; ++Attempt) {
    Impl->TempPath = SiblingName(Target);
    Impl->Fd = open(Impl->TempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666 & ~Mask);
    if (Impl->Fd < 0 && errno != EEXIST) break;
  }
  if (Impl->Fd < 0) {
    Impl->TempPath.clear();
    Error = "cannot create a file beside it: " + SystemError();
    return false;
  }
  return true;
}

kuz::Status OutputFile::Write(std::span<const std::uint8_t> Data) noexcept {
  while (!Data.empty()) {
    ssize_t Put = write(Impl->Fd, Data.data(), Data.size());
    if (Put < 0 && errno == EINTR && !Interrupted()) continue;
    if (Put <= 0) {
      Impl->WriteError = Interrupted() ? "interrupted" : "cannot write: " + SystemError();
      return kuz::Failure(kuz::Error::WriteFailed);
    }
    Data = Data.subspan(static_cast<std::size_t>(Put));
  }
  return kuz::Success();
}

const std::string& OutputFile::WriteError() const noexcept { return Impl->WriteError; }

bool OutputFile::Commit(std::string& Error) {
  State& S = *Impl;
  if (fsync(S.Fd) != 0) {
    Error = "cannot write: " + SystemError();
    return false;
  }
  if (S.TempPath.empty()) {
    // Give the unnamed file a name. link never replaces, so Replace goes through a hidden name.
    char Proc[64];
    std::snprintf(Proc, sizeof Proc, "/proc/self/fd/%d", S.Fd);
    std::string Name = S.Replace ? SiblingName(S.Target) : S.Target;
    if (linkat(AT_FDCWD, Proc, AT_FDCWD, Name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      Error = errno == EEXIST ? "exists (use --force to replace it)" : "cannot create: " + SystemError();
      return false;
    }
    if (S.Replace) S.TempPath = Name;
  }
  if (!S.TempPath.empty()) {
    if (S.Replace) {
      if (rename(S.TempPath.c_str(), S.Target.c_str()) != 0) {
        Error = "cannot replace: " + SystemError();
        return false;
      }
    } else {
      // link, not rename: it fails instead of replacing a file that appeared meanwhile.
      if (link(S.TempPath.c_str(), S.Target.c_str()) != 0) {
        Error = errno == EEXIST ? "exists (use --force to replace it)" : "cannot create: " + SystemError();
        return false;
      }
      unlink(S.TempPath.c_str());
    }
  }
  S.Committed = true;
  close(S.Fd);
  S.Fd = -1;
  // The new name reaches the disk with its folder.
  int Dir = open(Folder(S.Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Dir >= 0) {
    fsync(Dir);
    close(Dir);
  }
  return true;
}

bool PathExists(const std::string& Path) {
  struct stat Info;
  return lstat(Path.c_str(), &Info) == 0;
}

bool SameFile(const std::string& A, const std::string& B) {
  struct stat First, Second;
  return stat(A.c_str(), &First) == 0 && stat(B.c_str(), &Second) == 0 && First.st_dev == Second.st_dev &&
         First.st_ino == Second.st_ino;
}

kuz::Status OpenSource(const std::string& Path, std::unique_ptr<kuz::ByteSource>& Source) {
  return kuz::OpenPosixFile(Path.c_str(), Source);
}

void InstallInterruptHandler() {
  struct sigaction Action;
  std::memset(&Action, 0, sizeof Action);
  Action.sa_handler = OnInterrupt;
  sigemptyset(&Action.sa_mask);
  Action.sa_flags = 0;  // no SA_RESTART: a blocked read returns and the loop sees the flag
  for (int Signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(Signal, &Action, nullptr);
}

bool Interrupted() noexcept { return InterruptFlag != 0; }

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }
bool StandardInputIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool ReadStandardInputLine(const char* Prompt, std::string& Line) {
  Line.clear();
  Line.reserve(4097);  // no reallocation that would leave copies of the key behind
  termios Saved;
  bool Terminal = StandardInputIsTerminal() && tcgetattr(STDIN_FILENO, &Saved) == 0;
  if (Terminal) {
    std::fputs(Prompt, stderr);
    termios Silent = Saved;
    Silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &Silent);
  }
  bool Ok = true;
  for (;;) {
    char C;
    ssize_t Got = read(STDIN_FILENO, &C, 1);
    if (Got < 0 && errno == EINTR && !Interrupted()) continue;
    if (Got < 0) Ok = false;
    if (Got <= 0 || C == '\n') break;
    if (Line.size() >= 4096) {
      Ok = false;
      break;
    }
    Line += C;
  }
  if (Terminal) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &Saved);
    std::fputs("\n", stderr);
  }
  return Ok;
}

}  // namespace kuzpack
