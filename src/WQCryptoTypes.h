// Identifiers and control interface of the decrypting source filter.
//
// One declaration serves both sides: the player calls SetKey; the filter implements all five
// operations. The vtable order (SetKey first, then the four further operations) is the binary
// contract, so operations are only ever appended.
#pragma once

#include <objbase.h>

// {96251570-0CEF-4688-B3F7-AA55DA2B5578}
inline constexpr CLSID CLSID_WQCryptoSource = {
    0x96251570, 0x0CEF, 0x4688, {0xB3, 0xF7, 0xAA, 0x55, 0xDA, 0x2B, 0x55, 0x78}};

// {139B6F0F-75DB-43A2-802C-B9EA5101AF42}
inline constexpr IID IID_IWQCryptoSourceControl = {
    0x139B6F0F, 0x75DB, 0x43A2, {0x80, 0x2C, 0xB9, 0xEA, 0x51, 0x01, 0xAF, 0x42}};

struct IWQCryptoSourceControl : public IUnknown {
  // Hands the filter the key text: a NUL-terminated 8-bit string, passed exactly as typed.
  // Call after IFileSourceFilter::Load.
  virtual HRESULT STDMETHODCALLTYPE SetKey(LPCSTR KeyText) = 0;

  // Forgets the key (wiping it); the loaded file stays loaded.
  virtual HRESULT STDMETHODCALLTYPE ClearKey() = 0;

  // The plaintext length, authenticated by the final chunk. Needs a key.
  virtual HRESULT STDMETHODCALLTYPE GetPlainLength(LONGLONG* Length) = 0;

  // The format version of the loaded file's header. Needs a loaded file.
  virtual HRESULT STDMETHODCALLTYPE GetFormatVersion(DWORD* Version) = 0;

  // The first authentication failure met while reading: its result code and the plaintext
  // offset of the chunk that failed. S_OK with *Error == S_OK and *PlainOffset == -1 when
  // every read so far was authentic.
  virtual HRESULT STDMETHODCALLTYPE GetDataError(HRESULT* Error, LONGLONG* PlainOffset) = 0;
};

__CRT_UUID_DECL(IWQCryptoSourceControl, 0x139B6F0F, 0x75DB, 0x43A2, 0x80, 0x2C, 0xB9, 0xEA, 0x51,
                0x01, 0xAF, 0x42)
