// kuzpack: makes and checks .kuz files.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Commands.h"
#include "Options.h"

#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>

namespace {

// The arguments as UTF-8, from the wide command line (the narrow argv loses characters).
std::vector<std::string> Arguments(int, char**) {
  std::vector<std::string> Args;
  int Count = 0;
  wchar_t** Wide = CommandLineToArgvW(GetCommandLineW(), &Count);
  for (int I = 1; Wide && I < Count; ++I) {
    int Size = WideCharToMultiByte(CP_UTF8, 0, Wide[I], -1, nullptr, 0, nullptr, nullptr);
    std::string Arg(static_cast<std::size_t>(Size > 0 ? Size - 1 : 0), '\0');
    if (Size > 1) WideCharToMultiByte(CP_UTF8, 0, Wide[I], -1, Arg.data(), Size, nullptr, nullptr);
    Args.push_back(std::move(Arg));
  }
  LocalFree(Wide);
  return Args;
}

}  // namespace
#else
namespace {
std::vector<std::string> Arguments(int Argc, char** Argv) { return std::vector<std::string>(Argv + 1, Argv + Argc); }
}  // namespace
#endif

int main(int Argc, char** Argv) {
  try {
    kuzpack::Options Parsed;
    std::string Error;
    if (!kuzpack::ParseOptions(Arguments(Argc, Argv), Parsed, Error)) {
      std::fprintf(stderr, "kuzpack: %s\n", Error.c_str());
      return kuzpack::ExitUsage;
    }
    kuzpack::Outcome Result = kuzpack::Run(Parsed);
    if (std::fflush(stdout) != 0 && Result.ExitCode == 0) Result = {kuzpack::ExitFailure, "cannot write to standard output"};
    if (!Result.Message.empty()) std::fprintf(stderr, "kuzpack: %s\n", Result.Message.c_str());
    return Result.ExitCode;
  } catch (const std::exception& Failure) {
    std::fprintf(stderr, "kuzpack: %s\n", Failure.what());
    return kuzpack::ExitFailure;
  }
}
