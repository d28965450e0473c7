// The filter as a COM object: its class, its interfaces, its pin, the player's call order,
// the result codes of every failure, and what the control interface reports.
#include <gtest/gtest.h>

#include <functional>

#include "FilterFixtures.h"
#include "kuz/Format.h"

namespace {

const HRESULT FileCorrupt = HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT);

std::vector<std::uint8_t> WithPrefix(std::string_view Prefix, size_t Size) {
  std::vector<std::uint8_t> Bytes = Pattern(Size);
  std::copy(Prefix.begin(), Prefix.begin() + std::min(Prefix.size(), Size), Bytes.begin());
  return Bytes;
}

// The start of a RIFF file of the given form ("WAVE", "AVI ").
std::vector<std::uint8_t> Riff(const char* Form, size_t Size) {
  return WithPrefix(std::string("RIFF\x10\0\0\0", 8) + Form, Size);
}

ComPtr<IUnknown> Identity(IUnknown* Object) {
  ComPtr<IUnknown> Unknown;
  Object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(Unknown.GetAddressOf()));
  return Unknown;
}

TEST(FilterContractTest, OneObjectOffersTheThreeInterfaces) {
  TFilter Filter;
  ASSERT_EQ(CreateFilter(Filter), S_OK);
  EXPECT_EQ(Identity(Filter.Base.Get()), Identity(Filter.File.Get()));
  EXPECT_EQ(Identity(Filter.Base.Get()), Identity(Filter.Control.Get()));
  CLSID Class = {};
  EXPECT_EQ(Filter.Base->GetClassID(&Class), S_OK);
  EXPECT_TRUE(Class == CLSID_WQCryptoSource);
  ComPtr<IFileSourceFilter> Back;
  EXPECT_EQ(Filter.Control.As(&Back), S_OK);
  ComPtr<IUnknown> Aggregated;
  EXPECT_EQ(CoCreateInstance(CLSID_WQCryptoSource, Identity(Filter.Base.Get()).Get(), CLSCTX_INPROC_SERVER,
                             IID_IUnknown, reinterpret_cast<void**>(Aggregated.GetAddressOf())),
            CLASS_E_NOAGGREGATION);
}

TEST(FilterContractTest, HasOneOutputPinNamedOut) {
  TFilter Filter;
  ASSERT_EQ(CreateFilter(Filter), S_OK);
  ComPtr<IPin> Pin;
  ASSERT_EQ(Filter.Base->FindPin(L"Out", &Pin), S_OK);
  ComPtr<IPin> None;
  for (const wchar_t* Other : {L"out", L"In", L"Output", L""}) EXPECT_EQ(Filter.Base->FindPin(Other, &None), VFW_E_NOT_FOUND);

  PIN_INFO Info = {};
  ASSERT_EQ(Pin->QueryPinInfo(&Info), S_OK);
  EXPECT_STREQ(Info.achName, L"Out");
  EXPECT_EQ(Info.dir, PINDIR_OUTPUT);
  EXPECT_EQ(Identity(Info.pFilter), Identity(Filter.Base.Get()));
  Info.pFilter->Release();
  LPWSTR Id = nullptr;
  ASSERT_EQ(Pin->QueryId(&Id), S_OK);
  EXPECT_STREQ(Id, L"Out");
  CoTaskMemFree(Id);

  ComPtr<IEnumPins> Pins;
  ASSERT_EQ(Filter.Base->EnumPins(&Pins), S_OK);
  IPin* Listed[2] = {};
  ULONG Fetched = 0;
  EXPECT_EQ(Pins->Next(2, Listed, &Fetched), S_FALSE);
  ASSERT_EQ(Fetched, 1u);
  EXPECT_EQ(Listed[0], Pin.Get());
  Listed[0]->Release();
}

TEST(FilterContractTest, PlayersCallOrderSucceeds) {
  const auto Plaintext = Pattern(100000);
  const std::wstring Path = WriteKuz(L"order.kuz", Plaintext);
  TFilter Filter;
  ASSERT_EQ(CreateFilter(Filter), S_OK);
  EXPECT_EQ(Filter.File->Load(Path.c_str(), nullptr), S_OK);
  EXPECT_EQ(Filter.Control->SetKey(TestKey), S_OK);
  ComPtr<IPin> Pin;
  EXPECT_EQ(Filter.Base->FindPin(L"Out", &Pin), S_OK);
  LONGLONG Length = 0;
  EXPECT_EQ(Filter.Control->GetPlainLength(&Length), S_OK);
  EXPECT_EQ(Length, 100000);
}

// What a file and a key lead to: the result of Load, then of SetKey.
struct LoadCase {
  const char* Name;
  std::function<std::wstring()> MakeFile;
  HRESULT LoadResult;
  const char* Key = TestKey;
  HRESULT KeyResult = S_OK;
};

std::wstring Mutated(const wchar_t* Name, size_t Size, const std::function<void(std::vector<std::uint8_t>&)>& Change) {
  const std::wstring Path = WriteKuz(Name, Pattern(Size));
  auto Bytes = ReadBytes(Path);
  Change(Bytes);
  WriteBytes(Path, Bytes);
  return Path;
}

const size_t FirstChunk = kuz::FirstChunkOffset;
const size_t Sealed = kuz::SealedChunkSize;

class FilterLoadTest : public testing::TestWithParam<LoadCase> {};

TEST_P(FilterLoadTest, ReportsItsResultCodes) {
  const LoadCase& Case = GetParam();
  const std::wstring Path = Case.MakeFile();
  TFilter Filter;
  ASSERT_EQ(CreateFilter(Filter), S_OK);
  EXPECT_EQ(Filter.File->Load(Path.c_str(), nullptr), Case.LoadResult);
  if (FAILED(Case.LoadResult)) {
    EXPECT_EQ(Filter.Control->SetKey(TestKey), VFW_E_WRONG_STATE) << "a failed load leaves nothing loaded";
    return;
  }
  EXPECT_EQ(Filter.Control->SetKey(Case.Key), Case.KeyResult);
  LONGLONG Length = -1;
  EXPECT_EQ(Filter.Control->GetPlainLength(&Length), SUCCEEDED(Case.KeyResult) ? S_OK : NTE_NO_KEY);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilterLoadTest,
    testing::Values(
        LoadCase{"MissingFile", [] { return TempPath(L"missing.kuz"); }, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        LoadCase{"MissingFolder", [] { return TempPath(L"no folder\\x.kuz"); }, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
        LoadCase{"NotKuz",
                 [] {
                   WriteBytes(TempPath(L"plain.wav"), Riff("WAVE", 4096));
                   return TempPath(L"plain.wav");
                 },
                 VFW_E_INVALID_FILE_FORMAT},
        LoadCase{"UnsupportedVersion", [] { return Mutated(L"v2.kuz", 1000, [](auto& B) { B[7] = 2; }); },
                 VFW_E_INVALID_FILE_FORMAT},
        LoadCase{"Empty",
                 [] {
                   WriteBytes(TempPath(L"empty.kuz"), {});
                   return TempPath(L"empty.kuz");
                 },
                 FileCorrupt},
        LoadCase{"HeaderOnly", [] { return Mutated(L"header.kuz", 1000, [](auto& B) { B.resize(8); }); }, FileCorrupt},
        LoadCase{"NoCommitment", [] { return Mutated(L"salt.kuz", 1000, [](auto& B) { B.resize(40); }); }, FileCorrupt},
        LoadCase{"Good", [] { return WriteKuz(L"good.kuz", Pattern(50000)); }, S_OK, TestKey, S_OK},
        LoadCase{"PastedKey", [] { return WriteKuz(L"pasted.kuz", Pattern(50000)); }, S_OK,
                 "  D47E09C3-A1F85B2E-6C70D9A4-E13B8F56\r\n", S_OK},
        LoadCase{"MalformedKey", [] { return WriteKuz(L"malformed.kuz", Pattern(5000)); }, S_OK, "d47e09c3a1f85b2e6c70d9a4e13b8f5",
                 E_INVALIDARG},
        LoadCase{"KeyWithLetters", [] { return WriteKuz(L"letters.kuz", Pattern(5000)); }, S_OK,
                 "g47e09c3a1f85b2e6c70d9a4e13b8f56", E_INVALIDARG},
        LoadCase{"EmptyKey", [] { return WriteKuz(L"emptykey.kuz", Pattern(5000)); }, S_OK, "", E_INVALIDARG},
        LoadCase{"WrongKey", [] { return WriteKuz(L"wrong.kuz", Pattern(5000)); }, S_OK, OtherKey, NTE_BAD_KEY},
        LoadCase{"DamagedCommitment",
                 [] { return Mutated(L"commitment.kuz", 5000, [](auto& B) { B[40] ^= 1; }); }, S_OK, TestKey, NTE_BAD_KEY},
        LoadCase{"TruncatedInFinalChunk",
                 [] { return Mutated(L"cut.kuz", 40000, [](auto& B) { B.resize(B.size() - 5); }); }, S_OK, TestKey,
                 FileCorrupt},
        LoadCase{"TruncatedAtChunkBoundary",
                 [] { return Mutated(L"cutchunk.kuz", 40000, [](auto& B) { B.resize(FirstChunk + 2 * Sealed); }); },
                 S_OK, TestKey, FileCorrupt},
        LoadCase{"DamagedFinalTag",
                 [] { return Mutated(L"tag.kuz", 40000, [](auto& B) { B.back() ^= 0x80; }); }, S_OK, TestKey, FileCorrupt},
        LoadCase{"DamagedFirstChunk",
                 [] { return Mutated(L"first.kuz", 40000, [](auto& B) { B[FirstChunk + 100] ^= 1; }); }, S_OK, TestKey,
                 FileCorrupt},
        LoadCase{"DamagedMiddleChunk",  // found by the read that meets it
                 [] { return Mutated(L"middle.kuz", 40000, [](auto& B) { B[FirstChunk + Sealed + 7] ^= 1; }); }, S_OK,
                 TestKey, S_OK}),
    [](const testing::TestParamInfo<LoadCase>& Info) { return std::string(Info.param.Name); });

TEST(FilterContractTest, OrderAndNullArguments) {
  const std::wstring Path = WriteKuz(L"args.kuz", Pattern(1000));
  TFilter Filter;
  ASSERT_EQ(CreateFilter(Filter), S_OK);
  EXPECT_EQ(Filter.Control->SetKey(TestKey), VFW_E_WRONG_STATE) << "key before any file";
  DWORD Version = 7;
  EXPECT_EQ(Filter.Control->GetFormatVersion(&Version), VFW_E_WRONG_STATE);
  EXPECT_EQ(Filter.File->Load(nullptr, nullptr), E_POINTER);
  ASSERT_EQ(Filter.File->Load(Path.c_str(), nullptr), S_OK);
  EXPECT_EQ(Filter.Control->SetKey(nullptr), E_POINTER);
  EXPECT_EQ(Filter.File->GetCurFile(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(Filter.Control->GetPlainLength(nullptr), E_POINTER);
  EXPECT_EQ(Filter.Control->GetFormatVersion(nullptr), E_POINTER);
  LONGLONG Offset = 0;
  EXPECT_EQ(Filter.Control->GetDataError(nullptr, &Offset), E_POINTER);
  EXPECT_EQ(Filter.Base->FindPin(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(Filter.Base->EnumPins(nullptr), E_POINTER);
}

TEST(FilterContractTest, GetCurFileNamesTheLoadedFile) {
  TFilter Filter;
  ASSERT_EQ(CreateFilter(Filter), S_OK);
  LPOLESTR Name = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(Filter.File->GetCurFile(&Name, nullptr), E_FAIL);
  EXPECT_EQ(Name, nullptr);

  // A name outside every ANSI code page loads as it is.
  const std::wstring Path = WriteKuz(L"\u0444\u0438\u043B\u044C\u043C \u2713.kuz", Riff("WAVE", 3000));
  ASSERT_EQ(Filter.File->Load(Path.c_str(), nullptr), S_OK);
  AM_MEDIA_TYPE Type = {};
  ASSERT_EQ(Filter.File->GetCurFile(&Name, &Type), S_OK);
  EXPECT_EQ(std::wstring(Name), Path);
  CoTaskMemFree(Name);
  EXPECT_TRUE(Type.majortype == MEDIATYPE_Stream);
  EXPECT_TRUE(Type.subtype == MEDIASUBTYPE_NULL) << "no key yet: the subtype is unknown";
  ASSERT_EQ(Filter.Control->SetKey(TestKey), S_OK);
  ASSERT_EQ(Filter.File->GetCurFile(&Name, &Type), S_OK);
  CoTaskMemFree(Name);
  EXPECT_TRUE(Type.subtype == MEDIASUBTYPE_WAVE);

  // A failed load forgets the earlier file.
  EXPECT_EQ(Filter.File->Load(TempPath(L"missing.kuz").c_str(), nullptr), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Filter.File->GetCurFile(&Name, nullptr), E_FAIL);
}

TEST(FilterContractTest, ControlOperationsReportLengthVersionKeyAndErrors) {
  const std::wstring Path = WriteKuz(L"control.kuz", Pattern(70000));
  TFilter Filter;
  ASSERT_EQ(CreateFilter(Filter), S_OK);
  ASSERT_EQ(Filter.File->Load(Path.c_str(), nullptr), S_OK);
  DWORD Version = 0;
  EXPECT_EQ(Filter.Control->GetFormatVersion(&Version), S_OK);
  EXPECT_EQ(Version, 1u);
  LONGLONG Length = -1;
  EXPECT_EQ(Filter.Control->GetPlainLength(&Length), NTE_NO_KEY);
  HRESULT Error = E_FAIL;
  LONGLONG Offset = 0;
  EXPECT_EQ(Filter.Control->GetDataError(&Error, &Offset), S_OK);
  EXPECT_EQ(Error, S_OK);
  EXPECT_EQ(Offset, -1);

  ASSERT_EQ(Filter.Control->SetKey(TestKey), S_OK);
  EXPECT_EQ(Filter.Control->GetPlainLength(&Length), S_OK);
  EXPECT_EQ(Length, 70000);

  ComPtr<IAsyncReader> Reader = ReaderOf(Filter);
  BYTE Buffer[16];
  EXPECT_EQ(Reader->SyncRead(0, 16, Buffer), S_OK);
  EXPECT_EQ(Filter.Control->ClearKey(), S_OK);
  EXPECT_EQ(Filter.Control->GetPlainLength(&Length), NTE_NO_KEY);
  EXPECT_EQ(Reader->SyncRead(0, 16, Buffer), NTE_NO_KEY) << "no key, no plaintext";
  EXPECT_EQ(Filter.Control->SetKey(OtherKey), NTE_BAD_KEY);
  EXPECT_EQ(Reader->SyncRead(0, 16, Buffer), NTE_NO_KEY) << "a refused key leaves none";
  EXPECT_EQ(Filter.Control->SetKey(TestKey), S_OK);
  EXPECT_EQ(Reader->SyncRead(0, 16, Buffer), S_OK);

  // A new file drops the key of the old one.
  ASSERT_EQ(Filter.File->Load(Path.c_str(), nullptr), S_OK);
  EXPECT_EQ(Reader->SyncRead(0, 16, Buffer), NTE_NO_KEY);
}

TEST(FilterContractTest, OffersTheSubtypeTheFirstBytesAnnounceThenTheUntypedStream) {
  const struct {
    const wchar_t* Name;
    std::vector<std::uint8_t> Plaintext;
    GUID Subtype;
  } Cases[] = {
      {L"wave.kuz", Riff("WAVE", 20000), MEDIASUBTYPE_WAVE},
      {L"avi.kuz", Riff("AVI ", 20000), MEDIASUBTYPE_Avi},
      {L"other.kuz", Pattern(20000, 7), MEDIASUBTYPE_NULL},
      {L"tiny.kuz", WithPrefix("RIF", 3), MEDIASUBTYPE_NULL},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(Case.Name)));
    TFilter Filter = OpenFilter(WriteKuz(Case.Name, Case.Plaintext));
    ComPtr<IEnumMediaTypes> Types;
    ASSERT_EQ(OutPin(Filter)->EnumMediaTypes(&Types), S_OK);
    std::vector<GUID> Subtypes;
    AM_MEDIA_TYPE* Type = nullptr;
    while (Types->Next(1, &Type, nullptr) == S_OK) {
      EXPECT_TRUE(Type->majortype == MEDIATYPE_Stream);
      Subtypes.push_back(Type->subtype);
      CoTaskMemFree(Type);
    }
    std::vector<GUID> Expected;
    if (Case.Subtype != MEDIASUBTYPE_NULL) Expected.push_back(Case.Subtype);
    Expected.push_back(MEDIASUBTYPE_NULL);
    EXPECT_TRUE(Subtypes == Expected);
  }
}

TEST(FilterContractTest, WithoutAKeyThePinOffersNothingAndRefusesToConnect) {
  TFilter Filter;
  ASSERT_EQ(CreateFilter(Filter), S_OK);
  ASSERT_EQ(Filter.File->Load(WriteKuz(L"nokey.kuz", Pattern(3000)).c_str(), nullptr), S_OK);
  ComPtr<IEnumMediaTypes> Types;
  ASSERT_EQ(OutPin(Filter)->EnumMediaTypes(&Types), S_OK);
  AM_MEDIA_TYPE* Type = nullptr;
  EXPECT_EQ(Types->Next(1, &Type, nullptr), S_FALSE);
  // Any input pin will do: the filter refuses before it asks it anything.
  TFilter Other;
  ASSERT_EQ(CreateFilter(Other), S_OK);
  EXPECT_EQ(OutPin(Filter)->Connect(OutPin(Other).Get(), nullptr), NTE_NO_KEY);
}

TEST(FilterContractTest, DllCanUnloadOnceEverythingIsReleased) {
  {
    TFilter Filter = OpenFilter(WriteKuz(L"unload.kuz", Pattern(3000)));
    ComPtr<IPin> Pin = OutPin(Filter);
    Filter = {};
    EXPECT_EQ(FilterDllCanUnloadNow(), S_FALSE) << "the pin keeps the filter alive";
  }
  EXPECT_EQ(FilterDllCanUnloadNow(), S_OK);

  ComPtr<IClassFactory> Factory;
  ASSERT_EQ(CoGetClassObject(CLSID_WQCryptoSource, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                             reinterpret_cast<void**>(Factory.GetAddressOf())),
            S_OK);
  EXPECT_EQ(Factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(FilterDllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(Factory->LockServer(FALSE), S_OK);
  Factory.Reset();
  EXPECT_EQ(FilterDllCanUnloadNow(), S_OK);
}

}  // namespace
