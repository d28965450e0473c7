// The platform's check-bytes table for byte streams (the one File Source (Async) uses): under
// HKCR\Media Type\{e436eb83-524f-11ce-9f53-0020af0ba770}, each subtype key holds values of
// the form "offset,cb,mask,val[,offset,cb,mask,val...]"; every quadruple of a value must match
// (a negative offset counts from the end; an empty mask means all bits), and any matching
// value selects the subtype.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

struct TCheckBytes {
  LONGLONG Offset = 0;
  std::vector<BYTE> Mask;  // as long as Value
  std::vector<BYTE> Value;
};

struct TCheckBytesRule {
  GUID Subtype;
  std::vector<std::vector<TCheckBytes>> Patterns;  // any one of them, each one all of its parts
};

// One value's quadruples; false when the text is malformed.
bool ParseCheckBytes(std::wstring_view Text, std::vector<TCheckBytes>& Parts);

// The rules registered on this machine, in registry order.
std::vector<TCheckBytesRule> LoadCheckBytesRules();

// Reads Out.size() plaintext bytes at a non-negative Offset: S_OK, S_FALSE when they lie
// (partly) beyond the end, or a failure that ends the matching.
using TPlaintextPeek = std::function<HRESULT(LONGLONG Offset, std::span<BYTE> Out)>;

// The first rule whose pattern matches data of the given length; MEDIASUBTYPE_NULL when none
// does. Fails when Peek fails.
HRESULT MatchSubtype(const std::vector<TCheckBytesRule>& Rules, LONGLONG Length,
                     const TPlaintextPeek& Peek, GUID& Subtype);
