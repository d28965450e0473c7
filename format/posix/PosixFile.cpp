#include "kuz/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace kuz {

namespace {

// A file descriptor closed on destruction. Move-only.
class UniqueFd {
 public:
  explicit UniqueFd(int Fd) noexcept : Fd(Fd) {}
  ~UniqueFd() {
    if (Fd >= 0) close(Fd);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd(UniqueFd&& Other) noexcept : Fd(Other.Fd) { Other.Fd = -1; }
  UniqueFd& operator=(UniqueFd&&) = delete;
  int Get() const noexcept { return Fd; }

 private:
  int Fd;
};

class PosixFileSource final : public ByteSource {
 public:
  PosixFileSource(UniqueFd File, std::uint64_t FileSize) noexcept : File(std::move(File)), FileSize(FileSize) {}

  Status Size(std::uint64_t& Size) noexcept override {
    Size = FileSize;
    return Success();
  }

  Status ReadAt(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept override {
    std::size_t Done = 0;
    while (Done < Out.size()) {
      ssize_t Got = pread(File.Get(), Out.data() + Done, Out.size() - Done, static_cast<off_t>(Offset + Done));
      if (Got < 0 && errno == EINTR) continue;
      if (Got <= 0) return Failure(Error::ReadFailed);
      Done += static_cast<std::size_t>(Got);
    }
    return Success();
  }

 private:
  UniqueFd File;
  std::uint64_t FileSize;
};

}  // namespace

Status AdoptPosixFile(int Descriptor, std::unique_ptr<ByteSource>& Source) noexcept {
  UniqueFd File(Descriptor);
  Source.reset();
  struct stat Info;
  if (Descriptor < 0 || fstat(File.Get(), &Info) != 0 || Info.st_size < 0) return Failure(Error::ReadFailed);
  Source.reset(new (std::nothrow) PosixFileSource(std::move(File), static_cast<std::uint64_t>(Info.st_size)));
  return Source ? Success() : Failure(Error::OutOfMemory);
}

Status OpenPosixFile(const char* Path, std::unique_ptr<ByteSource>& Source) noexcept {
  int Fd;
  do Fd = open(Path, O_RDONLY | O_CLOEXEC);
  while (Fd < 0 && errno == EINTR);
  if (Fd < 0) {
    Source.reset();
    return Failure(Error::ReadFailed);
  }
  return AdoptPosixFile(Fd, Source);
}

}  // namespace kuz
