// kuzpack's command line: one command, its files, and where the key comes from.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace kuzpack {

enum class Command { Help, Encrypt, Decrypt, Verify, Info, Keygen };

struct Options {
  Command Action = Command::Help;
  std::string Input;
  std::string Output;
  std::optional<std::string> KeyFile;
  std::optional<std::string> KeyText;  // --key: visible to other users, so it draws a warning
  bool Force = false;
};

// False with a one-line reason on a usage error.
bool ParseOptions(std::span<const std::string> Args, Options& Parsed, std::string& Error);

extern const char* const UsageText;

}  // namespace kuzpack
