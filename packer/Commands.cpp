#include "Commands.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "Platform.h"
#include "Progress.h"
#include "WriteBehind.h"
#include "kuz/Crypto.h"
#include "kuz/Reader.h"
#include "kuz/StreamReader.h"
#include "kuz/Writer.h"

namespace kuzpack {

namespace {

// Bytes read from the input at a time: 64 chunks.
constexpr std::size_t ReadSize = 64 * kuz::ChunkSize;

Outcome Fail(const std::string& Path, const std::string& Why) { return {ExitFailure, Path + ": " + Why}; }

Outcome Fail(const std::string& Path, const kuz::Status& Result) {
  char Text[192];
  return Fail(Path, kuz::DescribeStatus(Result, Text, sizeof Text));
}

Outcome InterruptedOutcome(const std::string& Out) {
  return {ExitInterrupted, Out.empty() ? "interrupted" : "interrupted; " + Out + " was not written"};
}

// Checks before any key is asked for or any file made.
Outcome CheckPaths(const std::string& In, const std::string& Out, bool Replace) {
  if (!PathExists(In)) return Fail(In, "no such file");
  if (Out.empty()) return {};
  if (SameFile(In, Out)) return Fail(Out, "is the input file; refusing to overwrite it");
  if (!Replace && PathExists(Out)) return Fail(Out, "exists (use --force to replace it)");
  return {};
}

// A sink that only counts, for verify.
class CountingSink final : public kuz::ByteSink {
 public:
  kuz::Status Write(std::span<const std::uint8_t> Data) noexcept override {
    Bytes += Data.size();
    return kuz::Success();
  }
  std::uint64_t Bytes = 0;
};

// Feeds the whole of In to Engine (a StreamWriter or StreamReader) and finishes it.
// Behind, when given, stands between Stream and Out and is finished before Out is committed.
template <typename Engine>
Outcome Pump(const std::string& InPath, const char* Verb, Engine& Stream, OutputFile* Out, WriteBehind* Behind,
             const std::string& OutPath) {
  InputFile In;
  std::string Error;
  if (!In.Open(InPath, Error)) return Fail(InPath, Error);
  Progress Bar(Verb, In.Size());
  std::vector<std::uint8_t> Buffer(ReadSize);
  std::uint64_t Done = 0;
  auto Refused = [&](const kuz::Status& Result) {
    if (Interrupted()) return InterruptedOutcome(OutPath);
    if (Result.Code == kuz::Error::WriteFailed && Out) return Fail(OutPath, Out->WriteError());
    return Fail(InPath, Result);
  };
  for (;;) {
    if (Interrupted()) return InterruptedOutcome(OutPath);
    std::size_t Count = 0;
    if (!In.Read(Buffer, Count, Error)) return Interrupted() ? InterruptedOutcome(OutPath) : Fail(InPath, Error);
    if (Count == 0) break;
    if (kuz::Status Fed = Stream.Write(std::span(Buffer).first(Count)); !Fed.Ok()) return Refused(Fed);
    Done += Count;
    Bar.Update(Done);
  }
  if (kuz::Status Finished = Stream.Finish(); !Finished.Ok()) return Refused(Finished);
  if (Behind) {
    if (kuz::Status Written = Behind->Finish(); !Written.Ok()) return Refused(Written);
  }
  if (Out && !Out->Commit(Error)) return Fail(OutPath, Error);
  return {};
}

// NotKuzFile and the like before a key is asked for.
Outcome CheckKuzHeader(const std::string& In) {
  std::unique_ptr<kuz::ByteSource> Source;
  if (!OpenSource(In, Source).Ok()) return Fail(In, "cannot open");
  kuz::Reader File;
  if (kuz::Status Opened = File.Open(std::move(Source)); !Opened.Ok()) return Fail(In, Opened);
  return {};
}

Outcome Verify(const std::string& In, const kuz::InputKey& Key) {
  CountingSink Sink;
  kuz::StreamReader Reader;
  if (kuz::Status Started = Reader.Start(Sink, Key.Bytes()); !Started.Ok()) return Fail(In, Started);
  Outcome Result = Pump(In, "verifying", Reader, nullptr, nullptr, "");
  if (Result.ExitCode == 0)
    std::printf("%s: authentic, %" PRIu64 " bytes of plaintext in %" PRIu64 " chunks\n", In.c_str(), Sink.Bytes,
                Sink.Bytes / kuz::ChunkSize + 1);
  return Result;
}

Outcome Info(const std::string& In) {
  std::unique_ptr<kuz::ByteSource> Source;
  if (!OpenSource(In, Source).Ok()) return Fail(In, "cannot open");
  kuz::Reader File;
  if (kuz::Status Opened = File.Open(std::move(Source)); !Opened.Ok()) return Fail(In, Opened);
  kuz::FileFacts Facts = File.Facts();
  std::printf("%s\n  format version:  %u\n  file size:       %" PRIu64 " bytes\n", In.c_str(),
              static_cast<unsigned>(Facts.Version), Facts.FileSize);
  if (!Facts.LayoutStatus.Ok()) {
    std::fflush(stdout);
    return Fail(In, Facts.LayoutStatus);
  }
  const kuz::MessageLayout& L = Facts.Layout;
  std::printf("  chunks:          %" PRIu64 " (%zu plaintext bytes each, the last %zu)\n"
              "  plaintext size:  %" PRIu64 " bytes (as the size implies; verify authenticates it)\n",
              L.ChunkCount, kuz::ChunkSize, L.FinalSealedSize - kuz::TagSize, L.PlaintextSize);
  return {};
}

Outcome Keygen() {
  std::array<std::uint8_t, kuz::InputKey::Size> Bytes;
  if (!kuz::DefaultBackend().RandomBytes(Bytes)) return {ExitFailure, "the system's random number generator failed"};
  kuz::InputKey Key;
  Key.Assign(Bytes);
  kuz::SecureWipe(Bytes.data(), Bytes.size());
  kuz::KeyTextBuffer Text;
  kuz::FormatKeyText(Key, Text);
  std::printf("%s\n", Text.data());
  kuz::SecureWipe(Text.data(), Text.size());
  return {};
}

}  // namespace

Outcome EncryptFile(const std::string& In, const std::string& Out, const kuz::InputKey& Key, bool Replace) {
  if (Outcome Checked = CheckPaths(In, Out, Replace); Checked.ExitCode != 0) return Checked;
  OutputFile Target;
  std::string Error;
  if (!Target.Create(Out, Replace, Error)) return Fail(Out, Error);
  WriteBehind Behind(Target);
  kuz::StreamWriter Writer;
  if (kuz::Status Started = Writer.Start(Behind, Key.Bytes()); !Started.Ok()) return Fail(Out, Started);
  return Pump(In, "encrypting", Writer, &Target, &Behind, Out);
}

Outcome DecryptFile(const std::string& In, const std::string& Out, const kuz::InputKey& Key, bool Replace) {
  if (Outcome Checked = CheckPaths(In, Out, Replace); Checked.ExitCode != 0) return Checked;
  OutputFile Target;
  std::string Error;
  if (!Target.Create(Out, Replace, Error)) return Fail(Out, Error);
  WriteBehind Behind(Target);
  kuz::StreamReader Reader;
  if (kuz::Status Started = Reader.Start(Behind, Key.Bytes()); !Started.Ok()) return Fail(In, Started);
  return Pump(In, "decrypting", Reader, &Target, &Behind, Out);
}

Outcome Run(const Options& Parsed) {
  InstallInterruptHandler();
  switch (Parsed.Action) {
    case Command::Help:
      std::fputs(UsageText, stdout);
      return {};
    case Command::Keygen: return Keygen();
    case Command::Info: return Info(Parsed.Input);
    default: break;
  }
  // The files are checked before the key is asked for.
  if (Outcome Checked = CheckPaths(Parsed.Input, Parsed.Output, Parsed.Force); Checked.ExitCode != 0) return Checked;
  if (Parsed.Action != Command::Encrypt) {
    if (Outcome Checked = CheckKuzHeader(Parsed.Input); Checked.ExitCode != 0) return Checked;
  }
  kuz::InputKey Key;
  std::string Error;
  if (!ObtainKey(Parsed, Key, Error)) return {ExitFailure, Error};
  switch (Parsed.Action) {
    case Command::Encrypt: return EncryptFile(Parsed.Input, Parsed.Output, Key, Parsed.Force);
    case Command::Decrypt: return DecryptFile(Parsed.Input, Parsed.Output, Key, Parsed.Force);
    default: return Verify(Parsed.Input, Key);
  }
}

}  // namespace kuzpack
