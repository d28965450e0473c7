// What kuzpack needs from the operating system, with one implementation for POSIX and one for
// Win32: files read in sequence, output files that appear only when complete, interruption,
// the terminal. Paths are UTF-8.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "kuz/Io.h"

namespace kuzpack {

class InputFile {
 public:
  InputFile() noexcept;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool Open(const std::string& Path, std::string& Error);
  // Bytes read into Out (fewer only at the end); false on an error.
  bool Read(std::span<std::uint8_t> Out, std::size_t& Count, std::string& Error);
  // The size of a regular file, 0 for others (pipes, devices).
  std::uint64_t Size() const noexcept;

 private:
  struct State;
  std::unique_ptr<State> Impl;
};

// A temporary file beside Target that becomes Target on Commit. Destroyed uncommitted, it
// leaves nothing behind.
class OutputFile final : public kuz::ByteSink {
 public:
  OutputFile() noexcept;
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Replace allows an existing Target to be replaced at Commit.
  bool Create(const std::string& Target, bool Replace, std::string& Error);
  kuz::Status Write(std::span<const std::uint8_t> Data) noexcept override;
  // The reason for the last failed Write.
  const std::string& WriteError() const noexcept;
  // Flushes to disk and gives the file its name; refuses an existing Target without Replace.
  bool Commit(std::string& Error);

 private:
  struct State;
  std::unique_ptr<State> Impl;
};

bool PathExists(const std::string& Path);
// True when both name the same existing file (also through links).
bool SameFile(const std::string& A, const std::string& B);

// A ByteSource for the format library's random-access reader.
kuz::Status OpenSource(const std::string& Path, std::unique_ptr<kuz::ByteSource>& Source);

// Ctrl-C and termination requests set a flag that the copying loops check.
void InstallInterruptHandler();
bool Interrupted() noexcept;

bool StandardErrorIsTerminal();
bool StandardInputIsTerminal();
// One line from standard input; on a terminal without echo, after Prompt on standard error.
bool ReadStandardInputLine(const char* Prompt, std::string& Line);

}  // namespace kuzpack
