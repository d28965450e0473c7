// kuzpack's commands. Each returns its exit status and, on failure, the one line for standard
// error.
#pragma once

#include <string>

#include "Options.h"
#include "kuz/KeyText.h"

namespace kuzpack {

struct Outcome {
  int ExitCode = 0;
  std::string Message;  // printed as "kuzpack: MESSAGE"
};

inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitInterrupted = 130;

Outcome Run(const Options& Parsed);

// The file commands with the key already in hand (the benchmark calls these too).
Outcome EncryptFile(const std::string& In, const std::string& Out, const kuz::InputKey& Key, bool Replace);
Outcome DecryptFile(const std::string& In, const std::string& Out, const kuz::InputKey& Key, bool Replace);

// The key from --key, --key-file, KUZ_KEY or standard input, in that order of preference.
bool ObtainKey(const Options& Parsed, kuz::InputKey& Key, std::string& Error);

}  // namespace kuzpack
