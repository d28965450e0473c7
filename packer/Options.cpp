#include "Options.h"

#include <vector>

namespace kuzpack {

const char* const UsageText =
    "Usage: kuzpack [options] COMMAND [FILES]\n"
    "Makes and checks .kuz files: media encrypted with AES-128-GCM in 16 KiB chunks.\n"
    "\n"
    "Commands:\n"
    "  encrypt IN OUT   encrypt IN into the .kuz file OUT\n"
    "  decrypt IN OUT   decrypt the .kuz file IN into OUT, authenticating every byte\n"
    "  verify IN        authenticate the whole .kuz file IN without writing anything\n"
    "  info IN          show the format version, sizes and chunk count (no key needed)\n"
    "  keygen           print a new random key (32 hexadecimal digits)\n"
    "\n"
    "Options:\n"
    "  --key-file FILE  read the key text from FILE\n"
    "  --key TEXT       the key text itself (visible to other users: prefer --key-file)\n"
    "  -f, --force      replace OUT if it exists\n"
    "  -h, --help       show this text\n"
    "\n"
    "Without --key-file or --key, the key comes from the environment variable KUZ_KEY, or\n"
    "else from standard input (a prompt when it is a terminal).\n"
    "OUT is written to a temporary file beside it and renamed when complete; nothing is left\n"
    "behind on failure or interruption. Exit status: 0 success, 1 failure, 2 usage error,\n"
    "130 interrupted.\n";

namespace {

struct CommandName {
  const char* Name;
  Command Action;
  std::size_t Files;
  bool Output;
};

constexpr CommandName Commands[] = {
    {"encrypt", Command::Encrypt, 2, true}, {"decrypt", Command::Decrypt, 2, true},
    {"verify", Command::Verify, 1, false},  {"info", Command::Info, 1, false},
    {"keygen", Command::Keygen, 0, false},
};

}  // namespace

bool ParseOptions(std::span<const std::string> Args, Options& Parsed, std::string& Error) {
  Parsed = {};
  std::vector<std::string> Words;
  bool Help = false;
  bool OptionsEnded = false;
  for (std::size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    if (OptionsEnded || Arg.size() < 2 || Arg[0] != '-') {
      Words.push_back(Arg);
      continue;
    }
    auto Value = [&](const char* Name, std::optional<std::string>& Into) {
      std::string Prefix = std::string(Name) + "=";
      if (Into) {
        Error = std::string("option ") + Name + " given twice";
        return false;
      }
      if (Arg.compare(0, Prefix.size(), Prefix) == 0) {
        Into = Arg.substr(Prefix.size());
        return true;
      }
      if (I + 1 >= Args.size()) {
        Error = std::string("option ") + Name + " needs a value";
        return false;
      }
      Into = Args[++I];
      return true;
    };
    if (Arg == "--") {
      OptionsEnded = true;
    } else if (Arg == "-h" || Arg == "--help") {
      Help = true;
    } else if (Arg == "-f" || Arg == "--force") {
      Parsed.Force = true;
    } else if (Arg == "--key-file" || Arg.rfind("--key-file=", 0) == 0) {
      if (!Value("--key-file", Parsed.KeyFile)) return false;
    } else if (Arg == "--key" || Arg.rfind("--key=", 0) == 0) {
      if (!Value("--key", Parsed.KeyText)) return false;
    } else {
      Error = "unknown option " + Arg + " (see kuzpack --help)";
      return false;
    }
  }
  if (Help) return true;
  if (Words.empty()) {
    Error = "no command given (see kuzpack --help)";
    return false;
  }
  if (Parsed.KeyFile && Parsed.KeyText) {
    Error = "give the key either with --key-file or with --key, not both";
    return false;
  }
  for (const CommandName& C : Commands) {
    if (Words[0] != C.Name) continue;
    if (Words.size() - 1 != C.Files) {
      Error = std::string(C.Name) + " takes " +
              (C.Files == 0 ? "no files" : C.Files == 1 ? "one file (IN)" : "two files (IN OUT)") +
              " (see kuzpack --help)";
      return false;
    }
    Parsed.Action = C.Action;
    if (C.Files >= 1) Parsed.Input = Words[1];
    if (C.Output) Parsed.Output = Words[2];
    return true;
  }
  Error = "unknown command " + Words[0] + " (see kuzpack --help)";
  return false;
}

}  // namespace kuzpack
