// Throughput of the format library and of kuzpack's file commands, with the platform's backend.
// Prints figures; asserts nothing (the tests do that).
//
//   kuz_bench [--size MiB] [--folder DIR]
//
// MB are 10^6 bytes, as in `openssl speed`.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "Commands.h"
#include "Platform.h"
#include "kuz/Crypto.h"
#include "kuz/KeyText.h"
#include "kuz/Reader.h"
#include "kuz/StreamReader.h"
#include "kuz/Writer.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

double SecondsSince(Clock::time_point Start) {
  return std::chrono::duration<double>(Clock::now() - Start).count();
}

class NullSink final : public kuz::ByteSink {
 public:
  kuz::Status Write(std::span<const std::uint8_t> Data) noexcept override {
    Bytes += Data.size();
    return kuz::Success();
  }
  std::uint64_t Bytes = 0;
};

// Counts the sealed bytes the reader fetches, to show how many chunks a read costs.
class CountingSource final : public kuz::ByteSource {
 public:
  explicit CountingSource(std::span<const std::uint8_t> Data) : Inner(Data) {}
  kuz::Status Size(std::uint64_t& Size) noexcept override { return Inner.Size(Size); }
  kuz::Status ReadAt(std::uint64_t Offset, std::span<std::uint8_t> Out) noexcept override {
    Fetched += Out.size();
    return Inner.ReadAt(Offset, Out);
  }
  std::uint64_t Fetched = 0;

 private:
  kuz::MemorySource Inner;
};

void Fail(const char* What) {
  std::fprintf(stderr, "kuz_bench: %s failed\n", What);
  std::exit(1);
}

constexpr std::size_t Piece = 1 << 20;

template <typename Engine>
double Run(Engine& Stream, const Bytes& Input) {
  auto Start = Clock::now();
  for (std::size_t Done = 0; Done < Input.size(); Done += Piece)
    if (!Stream.Write(std::span(Input).subspan(Done, std::min(Piece, Input.size() - Done))).Ok()) Fail("write");
  if (!Stream.Finish().Ok()) Fail("finish");
  return SecondsSince(Start);
}

}  // namespace

int main(int Argc, char** Argv) {
  std::size_t MiB = 256;
  std::filesystem::path Folder = std::filesystem::temp_directory_path();
  for (int I = 1; I + 1 < Argc; I += 2) {
    if (std::strcmp(Argv[I], "--size") == 0) MiB = std::strtoul(Argv[I + 1], nullptr, 10);
    if (std::strcmp(Argv[I], "--folder") == 0) Folder = Argv[I + 1];
  }
  const kuz::CryptoBackend& Backend = kuz::DefaultBackend();
  std::uint8_t KeyBytes[16];
  if (!Backend.RandomBytes(KeyBytes)) Fail("random");
  kuz::InputKey Key;
  Key.Assign(KeyBytes);

  Bytes Plain(MiB << 20);
  std::mt19937_64 Random(1);
  for (std::size_t I = 0; I + 8 <= Plain.size(); I += 8) {
    std::uint64_t Word = Random();
    std::memcpy(Plain.data() + I, &Word, 8);
  }
  const double MB = Plain.size() / 1e6;
  std::printf("backend %s, %zu MiB of plaintext\n", Backend.Name(), MiB);

  // Library, in memory: the best of five runs each (the machine may be shared).
  double EncryptSeconds = 1e9, DecryptSeconds = 1e9;
  kuz::MemorySink Sealed;
  for (int Round = 0; Round < 5; ++Round) {
    NullSink Sink;
    kuz::StreamWriter Writer;
    if (!Writer.Start(Sink, Key.Bytes(), Backend).Ok()) Fail("start");
    EncryptSeconds = std::min(EncryptSeconds, Run(Writer, Plain));
  }
  {
    kuz::StreamWriter Writer;
    Sealed.Bytes.reserve(Plain.size() + Plain.size() / 1000 + 1000);
    if (!Writer.Start(Sealed, Key.Bytes(), Backend).Ok()) Fail("start");
    Run(Writer, Plain);
  }
  for (int Round = 0; Round < 5; ++Round) {
    NullSink Sink;
    kuz::StreamReader Reader;
    if (!Reader.Start(Sink, Key.Bytes(), Backend).Ok()) Fail("start");
    DecryptSeconds = std::min(DecryptSeconds, Run(Reader, Sealed.Bytes));
    if (Sink.Bytes != Plain.size()) Fail("decrypt");
  }
  std::printf("library encrypt, in memory:      %8.1f MB/s\n", MB / EncryptSeconds);
  std::printf("library decrypt, in memory:      %8.1f MB/s\n", MB / DecryptSeconds);

  // Random access: 4 KiB reads far apart, nearly always outside the small cache; once kept
  // inside one chunk, once at any offset (a quarter of those straddle two chunks).
  {
    auto* Source = new CountingSource(Sealed.Bytes);
    kuz::Reader File;
    if (!File.Open(std::unique_ptr<kuz::ByteSource>(Source)).Ok() || !File.SetKey(Key.Bytes(), Backend).Ok())
      Fail("open");
    const double OneChunk = kuz::ChunkSize / (Plain.size() / DecryptSeconds) * 1e6;
    for (bool WithinChunk : {true, false}) {
      const int Reads = 20000;
      Bytes Out(4096);
      std::uint64_t FetchedBefore = Source->Fetched;
      auto Start = Clock::now();
      for (int I = 0; I < Reads; ++I) {
        std::uint64_t Offset = Random() % (Plain.size() - Out.size());
        if (WithinChunk) {
          std::uint64_t Within = Offset % kuz::ChunkSize;
          Offset += Within % (kuz::ChunkSize - Out.size() + 1) - Within;
        }
        std::size_t Count = 0;
        if (!File.Read(Offset, Out, Count).Ok() || Count != Out.size()) Fail("read");
      }
      double PerRead = SecondsSince(Start) / Reads * 1e6;
      double Chunks = double(Source->Fetched - FetchedBefore) / kuz::SealedChunkSize / Reads;
      std::printf("random-access read of 4096 bytes, %s: %6.2f us per read, %.2f chunks read and decrypted per read\n",
                  WithinChunk ? "inside one chunk" : "at any offset   ", PerRead, Chunks);
    }
    std::printf("  (one chunk decrypted in sequence: %.2f us)\n", OneChunk);
  }

  // kuzpack's own encrypt and decrypt, file to file.
  {
    auto In = Folder / "kuz-bench-plain.bin", Enc = Folder / "kuz-bench.kuz", Dec = Folder / "kuz-bench-back.bin";
    {
      std::ofstream Out(In, std::ios::binary | std::ios::trunc);
      Out.write(reinterpret_cast<const char*>(Plain.data()), static_cast<std::streamsize>(Plain.size()));
      if (!Out) Fail("writing the input file");
    }
    double PackSeconds = 1e9, UnpackSeconds = 1e9, CopySeconds = 1e9;
    for (int Round = 0; Round < 3; ++Round) {
      // The same reads and writes without crypto: what the file system alone costs.
      auto Start = Clock::now();
      {
        kuzpack::InputFile Source;
        kuzpack::OutputFile Target;
        std::string Error;
        if (!Source.Open(In.string(), Error) || !Target.Create(Dec.string(), true, Error)) Fail("copy");
        Bytes Buffer(64 * kuz::ChunkSize);
        std::size_t Count = 0;
        while (Source.Read(Buffer, Count, Error) && Count > 0)
          for (std::size_t Done = 0; Done < Count; Done += 16 * kuz::SealedChunkSize)
            if (!Target.Write(std::span(Buffer).subspan(Done, std::min(16 * kuz::SealedChunkSize, Count - Done))).Ok())
              Fail("copy");
        if (!Target.Commit(Error)) Fail("copy");
      }
      CopySeconds = std::min(CopySeconds, SecondsSince(Start));
      Start = Clock::now();
      kuzpack::Outcome Packed = kuzpack::EncryptFile(In.string(), Enc.string(), Key, true);
      PackSeconds = std::min(PackSeconds, SecondsSince(Start));
      Start = Clock::now();
      kuzpack::Outcome Unpacked = kuzpack::DecryptFile(Enc.string(), Dec.string(), Key, true);
      UnpackSeconds = std::min(UnpackSeconds, SecondsSince(Start));
      if (Packed.ExitCode != 0 || Unpacked.ExitCode != 0) {
        std::fprintf(stderr, "kuz_bench: %s%s\n", Packed.Message.c_str(), Unpacked.Message.c_str());
        return 1;
      }
    }
    std::error_code Ignored;
    for (const auto& Path : {In, Enc, Dec}) std::filesystem::remove(Path, Ignored);
    std::printf("kuzpack encrypt, file to file:   %8.1f MB/s (in %s)\n", MB / PackSeconds, Folder.string().c_str());
    std::printf("kuzpack decrypt, file to file:   %8.1f MB/s\n", MB / UnpackSeconds);
    std::printf("plain copy, same reads and writes without crypto: %8.1f MB/s\n", MB / CopySeconds);
  }
  return 0;
}
