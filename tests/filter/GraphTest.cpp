// The filter in real graphs of the platform's graph manager, built with the player's steps:
// WAV and AVI files play to their end, and the parser receives the original bytes exactly; a
// damaged chunk stops playback with an error event and delivers none of its bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "FilterFixtures.h"
#include "ReadTap.h"

namespace {

std::wstring MediaPath(const char* Name) {
  std::string Path = std::string(KUZ_FILTER_MEDIA) + "/" + Name;
  return std::wstring(Path.begin(), Path.end());
}

// One graph as the player builds it, run without a reference clock to its end.
class PlayerGraph {
 public:
  HRESULT Build(const std::wstring& Path, const char* Key) {
    HRESULT Result = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                                      reinterpret_cast<void**>(Graph.GetAddressOf()));
    if (FAILED(Result)) return Result;
    if (FAILED(Result = CreateFilter(Source))) return Result;
    if (FAILED(Result = Source.File->Load(Path.c_str(), nullptr))) return Result;
    if (FAILED(Result = Source.Control->SetKey(Key))) return Result;
    if (FAILED(Result = Source.Base->FindPin(L"Out", &Pin))) return Result;
    if (FAILED(Result = Graph->AddFilter(Source.Base.Get(), L"WQCryptoSource"))) return Result;
    // Tapped from here on: everything the parser pulls, also while it connects.
    ComPtr<IAsyncReader> Reader;
    Pin.As(&Reader);
    Tap = std::make_unique<ReadTap>(Reader.Get());
    return Graph->Render(Pin.Get());
  }

  // The event that ended the run (EC_COMPLETE, EC_ERRORABORT, ...), 0 on time-out.
  long RunToEnd(DWORD TimeoutMs, LONG_PTR* Parameter = nullptr) {
    ComPtr<IMediaFilter> Timing;
    Graph.As(&Timing);
    Timing->SetSyncSource(nullptr);  // as fast as the filters go
    ComPtr<IMediaControl> Control;
    ComPtr<IMediaEvent> Events;
    Graph.As(&Control);
    Graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(Events.GetAddressOf()));
    if (FAILED(Control->Run())) return 0;
    const ULONGLONG End = GetTickCount64() + TimeoutMs;
    long Code = 0;
    while (GetTickCount64() < End) {
      LONG_PTR First = 0, Second = 0;
      if (Events->GetEvent(&Code, &First, &Second, 100) != S_OK) continue;
      Events->FreeEventParams(Code, First, Second);
      if (Code == EC_COMPLETE || Code == EC_ERRORABORT || Code == EC_USERABORT || Code == EC_ERROR_STILLPLAYING) {
        if (Parameter) *Parameter = First;
        Control->Stop();
        return Code;
      }
    }
    Control->Stop();
    return 0;
  }

  ~PlayerGraph() {
    Tap.reset();
    Pin.Reset();
    Source = {};
    Graph.Reset();
  }

  ComPtr<IGraphBuilder> Graph;
  TFilter Source;
  ComPtr<IPin> Pin;
  std::unique_ptr<ReadTap> Tap;
};

// Every delivered byte equals the original's; the share of the original that was delivered.
double CheckDeliveries(const std::vector<ReadTap::Delivery>& Deliveries, const std::vector<std::uint8_t>& Original) {
  std::vector<bool> Seen(Original.size());
  size_t Wrong = 0;
  for (const auto& Delivery : Deliveries) {
    if (Delivery.Position < 0 || Delivery.Position + Delivery.Bytes.size() > Original.size() ||
        std::memcmp(Delivery.Bytes.data(), Original.data() + Delivery.Position, Delivery.Bytes.size()) != 0) {
      ++Wrong;
      continue;
    }
    std::fill(Seen.begin() + Delivery.Position, Seen.begin() + Delivery.Position + Delivery.Bytes.size(), true);
  }
  EXPECT_EQ(Wrong, 0u) << "deliveries that differ from the original";
  return Original.empty() ? 1.0 : static_cast<double>(std::count(Seen.begin(), Seen.end(), true)) / Original.size();
}

class RealGraphTest : public testing::TestWithParam<const char*> {};

TEST_P(RealGraphTest, PlaysToTheEndWithTheOriginalBytes) {
  const std::vector<std::uint8_t> Original = ReadBytes(MediaPath(GetParam()));
  ASSERT_GT(Original.size(), 10000u) << "test media missing";
  const std::wstring Path = WriteKuz(std::wstring(L"real-") + std::wstring(GetParam(), GetParam() + strlen(GetParam())) + L".kuz", Original);
  PlayerGraph Player;
  const HRESULT Rendered = Player.Build(Path, TestKey);
  ASSERT_TRUE(SUCCEEDED(Rendered)) << std::hex << Rendered;
  EXPECT_EQ(Rendered, S_OK) << "every stream rendered";
  EXPECT_EQ(Player.RunToEnd(60000), EC_COMPLETE);
  EXPECT_GT(Player.Tap->Calls(), 0u);
  EXPECT_GE(CheckDeliveries(Player.Tap->Deliveries(), Original), 0.9) << "the parser read most of the file";
  HRESULT Error = E_FAIL;
  LONGLONG Offset = 0;
  EXPECT_EQ(Player.Source.Control->GetDataError(&Error, &Offset), S_OK);
  EXPECT_EQ(Error, S_OK);
}

INSTANTIATE_TEST_SUITE_P(Media, RealGraphTest, testing::Values("tone.wav", "clip.avi"),
                         [](const testing::TestParamInfo<const char*>& Info) {
                           return std::string(Info.param).substr(0, std::string(Info.param).find('.'));
                         });

TEST(RealGraphDamageTest, ADamagedChunkEndsPlaybackWithAnErrorAndNoneOfItsBytes) {
  const std::vector<std::uint8_t> Original = ReadBytes(MediaPath("clip.avi"));
  ASSERT_GT(Original.size(), 20 * 16384u);
  const std::wstring Path = WriteKuz(L"real-damaged.kuz", Original);
  auto Bytes = ReadBytes(Path);
  const size_t Damaged = Original.size() / 16384 / 2;  // a chunk in the middle
  Bytes[64 + Damaged * 16400 + 1000] ^= 0x10;
  WriteBytes(Path, Bytes);

  PlayerGraph Player;
  const HRESULT Rendered = Player.Build(Path, TestKey);
  ASSERT_TRUE(SUCCEEDED(Rendered)) << std::hex << Rendered;
  LONG_PTR Reason = 0;
  EXPECT_EQ(Player.RunToEnd(60000, &Reason), EC_ERRORABORT);
  HRESULT Error = S_OK;
  LONGLONG Offset = 0;
  EXPECT_EQ(Player.Source.Control->GetDataError(&Error, &Offset), S_OK);
  EXPECT_EQ(Error, HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT));
  EXPECT_EQ(Offset, static_cast<LONGLONG>(Damaged * 16384));
  CheckDeliveries(Player.Tap->Deliveries(), Original);
  for (const auto& Delivery : Player.Tap->Deliveries()) {
    const LONGLONG End = Delivery.Position + static_cast<LONGLONG>(Delivery.Bytes.size());
    EXPECT_FALSE(Delivery.Position < Offset + 16384 && End > Offset) << "bytes of the damaged chunk delivered";
  }
}

}  // namespace
