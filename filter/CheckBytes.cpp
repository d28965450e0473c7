#include "CheckBytes.h"

#include <dshow.h>

#include <cwctype>
#include <string>

namespace {

// Longer patterns are not in any table we know; refusing them bounds what a rule can cost.
constexpr size_t MaximumCheckLength = 4096;

const wchar_t StreamTypesKey[] = L"Media Type\\{e436eb83-524f-11ce-9f53-0020af0ba770}";

std::wstring_view Trim(std::wstring_view Text) {
  while (!Text.empty() && iswspace(Text.front())) Text.remove_prefix(1);
  while (!Text.empty() && iswspace(Text.back())) Text.remove_suffix(1);
  return Text;
}

bool ParseNumber(std::wstring_view Text, LONGLONG& Number) {
  Text = Trim(Text);
  bool Negative = false;
  if (!Text.empty() && (Text.front() == L'-' || Text.front() == L'+')) {
    Negative = Text.front() == L'-';
    Text.remove_prefix(1);
  }
  if (Text.empty() || Text.size() > 18) return false;
  Number = 0;
  for (wchar_t C : Text) {
    if (C < L'0' || C > L'9') return false;
    Number = Number * 10 + (C - L'0');
  }
  if (Negative) Number = -Number;
  return true;
}

int HexDigit(wchar_t C) {
  if (C >= L'0' && C <= L'9') return C - L'0';
  if (C >= L'a' && C <= L'f') return C - L'a' + 10;
  if (C >= L'A' && C <= L'F') return C - L'A' + 10;
  return -1;
}

bool ParseHex(std::wstring_view Text, size_t Count, std::vector<BYTE>& Bytes) {
  Text = Trim(Text);
  if (Text.size() != 2 * Count) return false;
  Bytes.resize(Count);
  for (size_t I = 0; I < Count; ++I) {
    const int High = HexDigit(Text[2 * I]);
    const int Low = HexDigit(Text[2 * I + 1]);
    if (High < 0 || Low < 0) return false;
    Bytes[I] = static_cast<BYTE>(High * 16 + Low);
  }
  return true;
}

std::vector<std::wstring_view> SplitFields(std::wstring_view Text) {
  std::vector<std::wstring_view> Fields;
  for (;;) {
    const size_t Comma = Text.find(L',');
    Fields.push_back(Text.substr(0, Comma));
    if (Comma == std::wstring_view::npos) return Fields;
    Text.remove_prefix(Comma + 1);
  }
}

// Registry keys closed on every path.
class TRegistryKey {
 public:
  TRegistryKey(HKEY Parent, const wchar_t* Name) noexcept {
    if (RegOpenKeyExW(Parent, Name, 0, KEY_READ, &Key) != ERROR_SUCCESS) Key = nullptr;
  }
  ~TRegistryKey() {
    if (Key) RegCloseKey(Key);
  }
  TRegistryKey(const TRegistryKey&) = delete;
  TRegistryKey& operator=(const TRegistryKey&) = delete;
  HKEY Get() const noexcept { return Key; }

 private:
  HKEY Key = nullptr;
};

std::vector<std::vector<TCheckBytes>> LoadPatterns(HKEY SubtypeKey) {
  std::vector<std::vector<TCheckBytes>> Patterns;
  for (DWORD Index = 0;; ++Index) {
    wchar_t Name[256];
    DWORD NameLength = 256;
    DWORD Type = 0;
    DWORD Size = 0;
    LONG Result = RegEnumValueW(SubtypeKey, Index, Name, &NameLength, nullptr, &Type, nullptr, &Size);
    if (Result == ERROR_NO_MORE_ITEMS) break;
    if (Result != ERROR_SUCCESS || Type != REG_SZ || Size == 0 || Size > 65536) continue;
    // Only numbered values hold patterns ("Source Filter" names a filter).
    if (!iswdigit(Name[0])) continue;
    std::wstring Data(Size / sizeof(wchar_t) + 1, L'\0');
    NameLength = 256;
    DWORD DataSize = static_cast<DWORD>(Data.size() * sizeof(wchar_t));
    if (RegEnumValueW(SubtypeKey, Index, Name, &NameLength, nullptr, &Type,
                      reinterpret_cast<BYTE*>(Data.data()), &DataSize) != ERROR_SUCCESS)
      continue;
    Data.resize(wcsnlen(Data.c_str(), Data.size()));
    std::vector<TCheckBytes> Parts;
    if (ParseCheckBytes(Data, Parts)) Patterns.push_back(std::move(Parts));
  }
  return Patterns;
}

}  // namespace

bool ParseCheckBytes(std::wstring_view Text, std::vector<TCheckBytes>& Parts) {
  Parts.clear();
  const std::vector<std::wstring_view> Fields = SplitFields(Text);
  if (Fields.size() % 4 != 0) return false;
  for (size_t I = 0; I < Fields.size(); I += 4) {
    TCheckBytes Part;
    LONGLONG Count = 0;
    if (!ParseNumber(Fields[I], Part.Offset) || !ParseNumber(Fields[I + 1], Count)) return false;
    if (Count <= 0 || static_cast<size_t>(Count) > MaximumCheckLength) return false;
    if (!ParseHex(Fields[I + 3], static_cast<size_t>(Count), Part.Value)) return false;
    if (Trim(Fields[I + 2]).empty()) {
      Part.Mask.assign(static_cast<size_t>(Count), 0xFF);
    } else if (!ParseHex(Fields[I + 2], static_cast<size_t>(Count), Part.Mask)) {
      return false;
    }
    Parts.push_back(std::move(Part));
  }
  return !Parts.empty();
}

std::vector<TCheckBytesRule> LoadCheckBytesRules() {
  std::vector<TCheckBytesRule> Rules;
  TRegistryKey Types(HKEY_CLASSES_ROOT, StreamTypesKey);
  if (!Types.Get()) return Rules;
  for (DWORD Index = 0;; ++Index) {
    wchar_t Name[64];
    DWORD NameLength = 64;
    LONG Result = RegEnumKeyExW(Types.Get(), Index, Name, &NameLength, nullptr, nullptr, nullptr, nullptr);
    if (Result == ERROR_NO_MORE_ITEMS) break;
    if (Result != ERROR_SUCCESS) continue;
    TCheckBytesRule Rule;
    if (FAILED(CLSIDFromString(Name, &Rule.Subtype))) continue;
    TRegistryKey Subtype(Types.Get(), Name);
    if (!Subtype.Get()) continue;
    Rule.Patterns = LoadPatterns(Subtype.Get());
    if (!Rule.Patterns.empty()) Rules.push_back(std::move(Rule));
  }
  return Rules;
}

HRESULT MatchSubtype(const std::vector<TCheckBytesRule>& Rules, LONGLONG Length,
                     const TPlaintextPeek& Peek, GUID& Subtype) {
  Subtype = MEDIASUBTYPE_NULL;
  std::vector<BYTE> Data;
  for (const TCheckBytesRule& Rule : Rules) {
    for (const std::vector<TCheckBytes>& Pattern : Rule.Patterns) {
      bool Matches = true;
      for (const TCheckBytes& Part : Pattern) {
        const LONGLONG Start = Part.Offset < 0 ? Length + Part.Offset : Part.Offset;
        const LONGLONG Count = static_cast<LONGLONG>(Part.Value.size());
        if (Start < 0 || Start > Length - Count) {
          Matches = false;
          break;
        }
        Data.resize(Part.Value.size());
        const HRESULT Read = Peek(Start, Data);
        if (FAILED(Read)) return Read;
        for (size_t I = 0; Matches && I < Data.size(); ++I)
          Matches = Read == S_OK && (Data[I] & Part.Mask[I]) == (Part.Value[I] & Part.Mask[I]);
        if (!Matches) break;
      }
      if (Matches) {
        Subtype = Rule.Subtype;
        return S_OK;
      }
    }
  }
  return S_OK;
}
