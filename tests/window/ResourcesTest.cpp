// The player's resources as the executable carries them: glyph bitmaps pixel for pixel, the
// icon, the manifest (checked by the platform's own activation-context parser) and version
// information.
#include <windows.h>


#include <gtest/gtest.h>

#include "Glyphs.h"
#include "TestConfig.h"

namespace {

class ResourcesTest : public testing::Test {
 protected:
  void SetUp() override {
    Module = LoadLibraryExW(Config().Player.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(Module, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (Module) FreeLibrary(Module);
  }

  const BYTE* Resource(const char* Name, LPCSTR Type, DWORD* Size) {
    HRSRC Found = FindResourceA(Module, Name, Type);
    if (!Found) return nullptr;
    *Size = SizeofResource(Module, Found);
    return static_cast<const BYTE*>(LockResource(LoadResource(Module, Found)));
  }

  HMODULE Module = nullptr;
};

TEST_F(ResourcesTest, GlyphsAre24BitBlackOnWhiteAsDrawn) {
  for (const GlyphPicture& Glyph : ExpectedGlyphs()) {
    SCOPED_TRACE(Glyph.Resource);
    DWORD Size = 0;
    const BYTE* Data = Resource(Glyph.Resource, reinterpret_cast<LPCSTR>(RT_BITMAP), &Size);
    ASSERT_NE(Data, nullptr);
    ASSERT_GE(Size, sizeof(BITMAPINFOHEADER));
    const auto* Header = reinterpret_cast<const BITMAPINFOHEADER*>(Data);
    const int Width = static_cast<int>(Glyph.Rows.front().size());
    const int Height = static_cast<int>(Glyph.Rows.size());
    ASSERT_EQ(Header->biWidth, Width);
    ASSERT_EQ(Header->biHeight, Height);  // bottom-up
    ASSERT_EQ(Header->biBitCount, 24);
    ASSERT_EQ(Header->biCompression, static_cast<DWORD>(BI_RGB));
    const size_t Stride = (static_cast<size_t>(Width) * 3 + 3) & ~size_t(3);
    ASSERT_GE(Size, Header->biSize + Stride * Height);
    const BYTE* Pixels = Data + Header->biSize;
    int Mismatches = 0;
    for (int Row = 0; Row < Height; ++Row) {
      const BYTE* Line = Pixels + Stride * (Height - 1 - Row);
      for (int Column = 0; Column < Width; ++Column) {
        const BYTE* Pixel = Line + Column * 3;
        const BYTE Expected = Glyph.Rows[Row][Column] == '#' ? 0x00 : 0xFF;
        if (Pixel[0] != Expected || Pixel[1] != Expected || Pixel[2] != Expected) {
          ADD_FAILURE() << "pixel at column " << Column << ", row " << Row;
          if (++Mismatches > 5) return;
        }
      }
    }
    // The button takes the bottom-left pixel's colour as transparent: it must be the white.
    EXPECT_EQ(Glyph.Rows.back().front(), '.');
  }
}

TEST_F(ResourcesTest, IconMainIconExists) {
  HICON Icon = static_cast<HICON>(LoadImageA(Module, "MAINICON", IMAGE_ICON, 32, 32, 0));
  ASSERT_NE(Icon, nullptr);
  ICONINFO Info = {};
  EXPECT_TRUE(GetIconInfo(Icon, &Info));
  if (Info.hbmColor) DeleteObject(Info.hbmColor);
  if (Info.hbmMask) DeleteObject(Info.hbmMask);
  DestroyIcon(Icon);
}

TEST_F(ResourcesTest, ManifestSelectsCommonControlsSix) {
  // The platform parses the executable's manifest and resolves its dependency.
  ACTCTXW Context = {};
  Context.cbSize = sizeof Context;
  Context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  Context.lpSource = Config().Player.c_str();
  Context.lpResourceName = MAKEINTRESOURCEW(1);  // CREATEPROCESS_MANIFEST_RESOURCE_ID
  HANDLE Activation = CreateActCtxW(&Context);
  ASSERT_NE(Activation, INVALID_HANDLE_VALUE) << GetLastError();

  // Inside the executable's context, comctl32.dll resolves to the version 6 assembly (its
  // folder in the side-by-side store says so; the file's own version resource need not).
  ULONG_PTR Cookie = 0;
  ASSERT_TRUE(ActivateActCtx(Activation, &Cookie));
  wchar_t Resolved[MAX_PATH] = {};
  const DWORD Length = SearchPathW(nullptr, L"comctl32.dll", nullptr, MAX_PATH, Resolved, nullptr);
  DeactivateActCtx(0, Cookie);
  ReleaseActCtx(Activation);
  ASSERT_GT(Length, 0u);
  std::wstring Path(Resolved);
  for (wchar_t& C : Path) C = static_cast<wchar_t>(towlower(C));
  EXPECT_NE(Path.find(L"\\winsxs\\"), std::wstring::npos)
      << testing::PrintToString(Path);
  EXPECT_NE(Path.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos)
      << testing::PrintToString(Path);

  // Its own identity and the dependency's attributes, as written.
  DWORD Size = 0;
  const BYTE* Data = Resource(MAKEINTRESOURCEA(1), reinterpret_cast<LPCSTR>(RT_MANIFEST), &Size);
  ASSERT_NE(Data, nullptr);
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  for (const char* Expected :
       {"<assemblyIdentity type=\"win32\" name=\"KUZPlayer.KUZ_Player\" version=\"1.0.0.0\" processorArchitecture=\"*\"/>",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" language=\"*\""})
    EXPECT_NE(Text.find(Expected), std::string::npos) << Expected;
}

TEST_F(ResourcesTest, VersionInformationNamesTheProduct) {
  DWORD Ignored = 0;
  const DWORD Size = GetFileVersionInfoSizeW(Config().Player.c_str(), &Ignored);
  ASSERT_GT(Size, 0u);
  std::vector<BYTE> Block(Size);
  ASSERT_TRUE(GetFileVersionInfoW(Config().Player.c_str(), 0, Size, Block.data()));
  VS_FIXEDFILEINFO* Fixed = nullptr;
  UINT Length = 0;
  ASSERT_TRUE(VerQueryValueW(Block.data(), L"\\", reinterpret_cast<void**>(&Fixed), &Length));
  EXPECT_EQ(HIWORD(Fixed->dwFileVersionMS), 1u);
  wchar_t* Product = nullptr;
  ASSERT_TRUE(VerQueryValueW(Block.data(), L"\\StringFileInfo\\040904B0\\ProductName",
                             reinterpret_cast<void**>(&Product), &Length));
  EXPECT_STREQ(Product, L"KUZ Player");
}

}  // namespace
