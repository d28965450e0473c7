// IAsyncReader of the output pin against its documented contract: synchronous and queued
// reads, alignment, the end of the data, flushing, many requests, several threads, and a
// damaged chunk that hands out nothing.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "FilterFixtures.h"

namespace {

constexpr LONGLONG Units = 10000000;  // sample times hold byte positions times this
constexpr long ChunkSize = 16384;
const size_t PlainSize = 5 * ChunkSize + 1234;

class AsyncReaderTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    Plain = new std::vector<std::uint8_t>(Pattern(PlainSize, 3));
    Path = new std::wstring(WriteKuz(L"reader.kuz", *Plain));
  }
  static void TearDownTestSuite() {
    delete Plain;
    delete Path;
  }

  void SetUp() override {
    Filter = OpenFilter(*Path);
    Reader = ReaderOf(Filter);
    ASSERT_TRUE(Reader);
  }
  void TearDown() override {
    if (Allocator) Allocator->Decommit();
  }

  // An allocator agreed through RequestAllocator, with the given alignment, committed.
  void Agree(long Alignment, long Buffers = 4, long BufferSize = 4 * ChunkSize) {
    ALLOCATOR_PROPERTIES Wanted = {Buffers, BufferSize, Alignment, 0};
    ASSERT_EQ(Reader->RequestAllocator(nullptr, &Wanted, &Allocator), S_OK);
    ASSERT_EQ(Allocator->Commit(), S_OK);
  }

  ComPtr<IMediaSample> Sample(LONGLONG Start, LONGLONG Stop) {
    ComPtr<IMediaSample> Sample;
    EXPECT_EQ(Allocator->GetBuffer(&Sample, nullptr, nullptr, 0), S_OK);
    REFERENCE_TIME From = Start * Units, To = Stop * Units;
    if (Sample) Sample->SetTime(&From, &To);
    return Sample;
  }

  // The sample holds exactly the plaintext [Start, Start + its actual length).
  static bool Holds(IMediaSample* Sample, LONGLONG Start) {
    BYTE* Data = nullptr;
    Sample->GetPointer(&Data);
    const long Length = Sample->GetActualDataLength();
    return Start + Length <= static_cast<LONGLONG>(Plain->size()) &&
           std::memcmp(Data, Plain->data() + Start, static_cast<size_t>(Length)) == 0;
  }

  static std::vector<std::uint8_t>* Plain;
  static std::wstring* Path;
  TFilter Filter;
  ComPtr<IAsyncReader> Reader;
  ComPtr<IMemAllocator> Allocator;
};

std::vector<std::uint8_t>* AsyncReaderTest::Plain = nullptr;
std::wstring* AsyncReaderTest::Path = nullptr;

TEST_F(AsyncReaderTest, LengthIsTheAuthenticatedPlaintextLength) {
  LONGLONG Total = 0, Available = 0;
  ASSERT_EQ(Reader->Length(&Total, &Available), S_OK);
  EXPECT_EQ(Total, static_cast<LONGLONG>(PlainSize));
  EXPECT_EQ(Available, Total);
  EXPECT_EQ(Reader->Length(nullptr, &Available), E_POINTER);
}

TEST_F(AsyncReaderTest, SyncReadAnyRange) {
  const LONGLONG End = static_cast<LONGLONG>(PlainSize);
  const struct {
    LONGLONG Position;
    LONG Length;
    HRESULT Result;
    LONG Delivered;
  } Cases[] = {
      {0, 100, S_OK, 100},
      {1, ChunkSize, S_OK, ChunkSize},                   // unaligned, across a chunk boundary
      {ChunkSize - 3, 6, S_OK, 6},                        // three bytes either side
      {2 * ChunkSize, 3 * ChunkSize, S_OK, 3 * ChunkSize},  // whole chunks
      {0, static_cast<LONG>(PlainSize), S_OK, static_cast<LONG>(PlainSize)},
      {End - 10, 10, S_OK, 10},                           // up to the end exactly
      {End - 10, 30, S_FALSE, 10},                        // past it: a short read
      {End, 5, S_FALSE, 0},
      {End + 100000, 5, S_FALSE, 0},
      {100, 0, S_OK, 0},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(testing::Message() << "at " << Case.Position << " length " << Case.Length);
    std::vector<BYTE> Buffer(static_cast<size_t>(Case.Length) + 1, 0xEE);
    EXPECT_EQ(Reader->SyncRead(Case.Position, Case.Length, Buffer.data()), Case.Result);
    if (Case.Delivered) {
      EXPECT_EQ(std::memcmp(Buffer.data(), Plain->data() + Case.Position, static_cast<size_t>(Case.Delivered)), 0);
    }
    EXPECT_EQ(Buffer[static_cast<size_t>(Case.Length)], 0xEE) << "wrote past the request";
  }
  BYTE One;
  EXPECT_EQ(Reader->SyncRead(-1, 1, &One), E_INVALIDARG);
  EXPECT_EQ(Reader->SyncRead(0, 1, nullptr), E_POINTER);
}

TEST_F(AsyncReaderTest, AlignedRequestsAndTheirCodes) {
  Agree(512);
  const LONGLONG End = static_cast<LONGLONG>(PlainSize);
  const LONGLONG LastAligned = End / 512 * 512;
  const struct {
    const char* What;
    LONGLONG Start;
    LONGLONG Stop;
    HRESULT Queued;
    HRESULT Completed = S_OK;
    LONGLONG DeliveredStop = 0;  // the stop time afterwards
  } Cases[] = {
      {"aligned", 512, 512 + 4096, S_OK, S_OK, 512 + 4096},
      {"across chunks", ChunkSize - 512, ChunkSize + 1024, S_OK, S_OK, ChunkSize + 1024},
      {"unaligned start", 1, 513, VFW_E_BADALIGN},
      {"unaligned length", 512, 1000, VFW_E_BADALIGN},
      {"aligned stop past the end", LastAligned, LastAligned + 512, S_OK, S_FALSE, End},
      {"start past the end", LastAligned + 512, LastAligned + 1024, HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    ComPtr<IMediaSample> Requested = Sample(Case.Start, Case.Stop);
    ASSERT_TRUE(Requested);
    ASSERT_EQ(Reader->Request(Requested.Get(), 42), Case.Queued);
    if (FAILED(Case.Queued)) continue;
    IMediaSample* Done = nullptr;
    DWORD_PTR User = 0;
    EXPECT_EQ(Reader->WaitForNext(5000, &Done, &User), Case.Completed);
    ASSERT_EQ(Done, Requested.Get());
    EXPECT_EQ(User, 42u);
    REFERENCE_TIME From = 0, To = 0;
    EXPECT_EQ(Done->GetTime(&From, &To), S_OK);
    EXPECT_EQ(From, Case.Start * Units);
    EXPECT_EQ(To, Case.DeliveredStop * Units);
    EXPECT_EQ(Done->GetActualDataLength(), Case.DeliveredStop - Case.Start);
    EXPECT_TRUE(Holds(Done, Case.Start));

    // The same range read synchronously.
    ComPtr<IMediaSample> Again = Sample(Case.Start, Case.Stop);
    EXPECT_EQ(Reader->SyncReadAligned(Again.Get()), Case.Completed);
    EXPECT_TRUE(Holds(Again.Get(), Case.Start));
  }
  ComPtr<IMediaSample> Unaligned = Sample(3, 515);
  EXPECT_EQ(Reader->SyncReadAligned(Unaligned.Get()), VFW_E_BADALIGN);
  ComPtr<IMediaSample> Untimed;
  ASSERT_EQ(Allocator->GetBuffer(&Untimed, nullptr, nullptr, 0), S_OK);
  Untimed->SetTime(nullptr, nullptr);
  EXPECT_EQ(Reader->Request(Untimed.Get(), 0), VFW_E_SAMPLE_TIME_NOT_SET);
  EXPECT_EQ(Reader->Request(nullptr, 0), E_POINTER);
}

TEST_F(AsyncReaderTest, ManyQueuedRequestsComeBackInOrderWithTheirData) {
  Agree(1, 8, ChunkSize);
  std::vector<ComPtr<IMediaSample>> Samples;
  for (int I = 0; I < 8; ++I) {
    const LONGLONG Start = I * 9973;  // odd positions: alignment 1 takes any
    Samples.push_back(Sample(Start, Start + 7001));
    ASSERT_EQ(Reader->Request(Samples.back().Get(), static_cast<DWORD_PTR>(100 + I)), S_OK);
  }
  for (int I = 0; I < 8; ++I) {
    IMediaSample* Done = nullptr;
    DWORD_PTR User = 0;
    ASSERT_EQ(Reader->WaitForNext(5000, &Done, &User), S_OK);
    EXPECT_EQ(User, static_cast<DWORD_PTR>(100 + I));
    EXPECT_EQ(Done, Samples[I].Get());
    EXPECT_TRUE(Holds(Done, I * 9973));
  }
  IMediaSample* None = nullptr;
  DWORD_PTR User = 0;
  const ULONGLONG Before = GetTickCount64();
  EXPECT_EQ(Reader->WaitForNext(200, &None, &User), VFW_E_TIMEOUT);
  EXPECT_GE(GetTickCount64() - Before, 150u);
  EXPECT_EQ(None, nullptr);
}

TEST_F(AsyncReaderTest, FlushHandsBackQueuedSamplesAndRefusesNewOnes) {
  Agree(1, 4, ChunkSize);
  // A reader blocked on an empty queue wakes up at the flush.
  std::atomic<HRESULT> BlockedResult{E_PENDING};
  std::thread Blocked([&] {
    IMediaSample* Done = nullptr;
    DWORD_PTR User = 0;
    BlockedResult = Reader->WaitForNext(INFINITE, &Done, &User);
  });
  Sleep(100);
  ASSERT_EQ(Reader->BeginFlush(), S_OK);
  Blocked.join();
  EXPECT_EQ(BlockedResult.load(), VFW_E_WRONG_STATE);
  ASSERT_EQ(Reader->EndFlush(), S_OK);

  std::vector<ComPtr<IMediaSample>> Samples;
  for (int I = 0; I < 3; ++I) {
    Samples.push_back(Sample(I * 1000, I * 1000 + 500));
    ASSERT_EQ(Reader->Request(Samples.back().Get(), static_cast<DWORD_PTR>(I)), S_OK);
  }
  ASSERT_EQ(Reader->BeginFlush(), S_OK);
  ComPtr<IMediaSample> Late = Sample(0, 10);
  EXPECT_EQ(Reader->Request(Late.Get(), 9), VFW_E_WRONG_STATE);
  // The documented drain: WaitForNext until it returns no sample, ignoring its codes.
  int HandedBack = 0;
  for (;;) {
    IMediaSample* Done = nullptr;
    DWORD_PTR User = 0;
    const HRESULT Result = Reader->WaitForNext(INFINITE, &Done, &User);
    if (!Done) {
      EXPECT_TRUE(FAILED(Result));
      break;
    }
    EXPECT_EQ(Done, Samples[HandedBack].Get());
    EXPECT_TRUE(FAILED(Result));
    EXPECT_EQ(Done->GetActualDataLength(), 0) << "flushed unread";
    ++HandedBack;
  }
  EXPECT_EQ(HandedBack, 3);
  // Synchronous reads are no part of the queue and go on working.
  BYTE Buffer[64];
  EXPECT_EQ(Reader->SyncRead(100, 64, Buffer), S_OK);
  ASSERT_EQ(Reader->EndFlush(), S_OK);
  EXPECT_EQ(Reader->Request(Late.Get(), 9), S_OK);
  IMediaSample* Done = nullptr;
  DWORD_PTR User = 0;
  EXPECT_EQ(Reader->WaitForNext(5000, &Done, &User), S_OK);
  EXPECT_EQ(User, 9u);
}

TEST_F(AsyncReaderTest, ConcurrentReadersAllGetTheirBytes) {
  // For the two threads that share the request queue below. Either may complete either's
  // request, so every sample stays referenced until both are done: none goes back to the
  // allocator while the other thread still reads it.
  ComPtr<IMemAllocator> Many;
  ALLOCATOR_PROPERTIES Wanted = {100, 1000, 1, 0};
  ASSERT_EQ(Reader->RequestAllocator(nullptr, &Wanted, &Many), S_OK);
  ASSERT_EQ(Many->Commit(), S_OK);
  std::vector<ComPtr<IMediaSample>> Kept[2];

  std::atomic<int> Wrong{0};
  std::vector<std::thread> Threads;
  for (int T = 0; T < 4; ++T) {
    Threads.emplace_back([&, T] {
      std::vector<BYTE> Buffer(3 * ChunkSize);
      std::uint32_t State = 77u + T;
      for (int I = 0; I < 200; ++I) {
        State = State * 1664525u + 1013904223u;
        const LONGLONG Position = State % PlainSize;
        const LONG Length = static_cast<LONG>((State >> 8) % Buffer.size());
        const HRESULT Result = Reader->SyncRead(Position, Length, Buffer.data());
        const LONGLONG Expected = std::min<LONGLONG>(Length, static_cast<LONGLONG>(PlainSize) - Position);
        if (Result != (Expected == Length ? S_OK : S_FALSE) ||
            std::memcmp(Buffer.data(), Plain->data() + Position, static_cast<size_t>(Expected)) != 0)
          ++Wrong;
      }
    });
  }
  // Two more threads share the request queue meanwhile.
  for (int T = 0; T < 2; ++T) {
    Threads.emplace_back([&, T] {
      for (int I = 0; I < 50; ++I) {
        const LONGLONG Start = (T * 50 + I) * 701 % (PlainSize - 1000);
        ComPtr<IMediaSample> Mine;
        if (FAILED(Many->GetBuffer(&Mine, nullptr, nullptr, 0))) {
          ++Wrong;
          return;
        }
        Kept[T].push_back(Mine);
        REFERENCE_TIME From = Start * Units, To = (Start + 1000) * Units;
        Mine->SetTime(&From, &To);
        if (Reader->Request(Mine.Get(), 0) != S_OK) ++Wrong;
        IMediaSample* Done = nullptr;
        DWORD_PTR User = 0;
        if (Reader->WaitForNext(10000, &Done, &User) != S_OK || !Done) {
          ++Wrong;
          continue;
        }
        REFERENCE_TIME DoneFrom = 0, DoneTo = 0;
        Done->GetTime(&DoneFrom, &DoneTo);
        if (!Holds(Done, DoneFrom / Units)) ++Wrong;
      }
    });
  }
  for (auto& Thread : Threads) Thread.join();
  EXPECT_EQ(Wrong.load(), 0);
  for (auto& Samples : Kept) Samples.clear();
  Many->Decommit();
}

// Reads that follow each other are served from windows read ahead on another thread; these
// cross several windows, with a seek back and forth between them.
TEST(AsyncReaderReadAheadTest, SequentialReadsAcrossWindowsAndSeeksAreExact) {
  const auto Plain = Pattern(3 * 1024 * 1024 + 4321, 9);
  TFilter Filter = OpenFilter(WriteKuz(L"readahead.kuz", Plain));
  ComPtr<IAsyncReader> Reader = ReaderOf(Filter);
  std::vector<BYTE> Buffer(70001);
  auto ReadAndCompare = [&](LONGLONG From, LONGLONG To, LONG Piece) {
    for (LONGLONG Position = From; Position < To; Position += Piece) {
      const LONG Count = static_cast<LONG>(std::min<LONGLONG>(Piece, static_cast<LONGLONG>(Plain.size()) - Position));
      ASSERT_EQ(Reader->SyncRead(Position, Count, Buffer.data()), S_OK) << "at " << Position;
      ASSERT_EQ(std::memcmp(Buffer.data(), Plain.data() + Position, static_cast<size_t>(Count)), 0) << "at " << Position;
    }
  };
  ReadAndCompare(0, 1500000, 65536);
  ReadAndCompare(100, 300000, 70001);       // back to the start, mid-window
  ReadAndCompare(2900000, static_cast<LONGLONG>(Plain.size()), 4099);  // ahead, to the end
  ReadAndCompare(1500000, 2600000, 16384);
}

TEST(AsyncReaderDamageTest, AReadMeetingADamagedChunkFailsWholeAndIsReported) {
  const auto Plain = Pattern(6 * ChunkSize + 99, 5);
  const std::wstring Path = WriteKuz(L"damaged.kuz", Plain);
  auto Bytes = ReadBytes(Path);
  Bytes[64 + 3 * 16400 + 500] ^= 0x40;  // inside chunk 3
  WriteBytes(Path, Bytes);

  TFilter Filter = OpenFilter(Path);
  ComPtr<IAsyncReader> Reader = ReaderOf(Filter);
  std::vector<BYTE> Buffer(2 * ChunkSize, 0xAA);
  // Before the damage: authentic bytes.
  ASSERT_EQ(Reader->SyncRead(ChunkSize, 2 * ChunkSize, Buffer.data()), S_OK);
  EXPECT_EQ(std::memcmp(Buffer.data(), Plain.data() + ChunkSize, Buffer.size()), 0);
  // Across it: an error, and the buffer holds nothing of the read.
  std::fill(Buffer.begin(), Buffer.end(), 0xAA);
  EXPECT_EQ(Reader->SyncRead(2 * ChunkSize + 100, 2 * ChunkSize, Buffer.data()), HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT));
  EXPECT_TRUE(std::all_of(Buffer.begin(), Buffer.end(), [](BYTE B) { return B == 0; }));
  HRESULT Error = S_OK;
  LONGLONG Offset = -1;
  ASSERT_EQ(Filter.Control->GetDataError(&Error, &Offset), S_OK);
  EXPECT_EQ(Error, HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT));
  EXPECT_EQ(Offset, 3 * ChunkSize);
  // And through the queue.
  ComPtr<IMemAllocator> Allocator;
  ALLOCATOR_PROPERTIES Wanted = {2, 2 * ChunkSize, 1, 0};
  ASSERT_EQ(Reader->RequestAllocator(nullptr, &Wanted, &Allocator), S_OK);
  ASSERT_EQ(Allocator->Commit(), S_OK);
  ComPtr<IMediaSample> Sample;
  ASSERT_EQ(Allocator->GetBuffer(&Sample, nullptr, nullptr, 0), S_OK);
  REFERENCE_TIME From = 3LL * ChunkSize * Units, To = 4LL * ChunkSize * Units;
  Sample->SetTime(&From, &To);
  ASSERT_EQ(Reader->Request(Sample.Get(), 1), S_OK);
  IMediaSample* Done = nullptr;
  DWORD_PTR User = 0;
  EXPECT_EQ(Reader->WaitForNext(5000, &Done, &User), HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT));
  ASSERT_EQ(Done, Sample.Get());
  EXPECT_EQ(Done->GetActualDataLength(), 0);
  // After it: authentic again.
  ASSERT_EQ(Reader->SyncRead(4 * ChunkSize, ChunkSize, Buffer.data()), S_OK);
  EXPECT_EQ(std::memcmp(Buffer.data(), Plain.data() + 4 * ChunkSize, ChunkSize), 0);
  Allocator->Decommit();
}

}  // namespace
