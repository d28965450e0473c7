#include <cstdio>
#include <cstdlib>

#include "Commands.h"
#include "Platform.h"
#include "kuz/Secret.h"

namespace kuzpack {

namespace {

// Key text is wiped however the function ends.
class WipedText {
 public:
  WipedText() { Text.reserve(4097); }
  ~WipedText() { kuz::SecureWipe(Text.data(), Text.size()); }
  WipedText(const WipedText&) = delete;
  WipedText& operator=(const WipedText&) = delete;
  std::string Text;
};

bool ReadKeyFile(const std::string& Path, std::string& Text, std::string& Error) {
  InputFile File;
  if (!File.Open(Path, Error)) return false;
  char Buffer[4097];
  std::size_t Count = 0;
  bool Read = File.Read(std::span(reinterpret_cast<std::uint8_t*>(Buffer), sizeof Buffer), Count, Error);
  Text.assign(Buffer, Count);
  kuz::SecureWipe(Buffer, sizeof Buffer);
  if (!Read) return false;
  if (Count == sizeof Buffer) {
    Error = "too large for a key file";
    return false;
  }
  return true;
}

}  // namespace

bool ObtainKey(const Options& Parsed, kuz::InputKey& Key, std::string& Error) {
  WipedText Secret;
  std::string Source;
  if (Parsed.KeyText) {
    std::fputs("kuzpack: warning: a key given with --key is visible to other users; prefer --key-file or KUZ_KEY\n",
               stderr);
    Source = "--key";
    Secret.Text = *Parsed.KeyText;
  } else if (Parsed.KeyFile) {
    Source = *Parsed.KeyFile;
    if (!ReadKeyFile(*Parsed.KeyFile, Secret.Text, Error)) {
      Error = Source + ": " + Error;
      return false;
    }
  } else if (const char* Environment = std::getenv("KUZ_KEY")) {
    Source = "KUZ_KEY";
    Secret.Text = Environment;
  } else {
    Source = "key from standard input";
    if (!ReadStandardInputLine("kuzpack: key: ", Secret.Text)) {
      Error = Source + ": cannot read it";
      return false;
    }
  }
  kuz::Status Result = kuz::ParseKeyText(Secret.Text, Key);
  if (!Result.Ok()) {
    char Text[160];
    Error = Source + ": " + kuz::DescribeStatus(Result, Text, sizeof Text);
    return false;
  }
  return true;
}

}  // namespace kuzpack
