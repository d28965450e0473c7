#include "DirectShowResult.h"

#include <dshow.h>

#include <cstdio>

std::string ResultText(HRESULT Code) {
  // A buffer that the call leaves untouched (no text, or too long) reads as empty.
  char Buffer[256] = {};
  AMGetErrorTextA(Code, Buffer, 255);
  Buffer[255] = '\0';
  return std::string(Buffer);
}

std::string ResultMessage(const std::string& Text, HRESULT Code) {
  // The error text never becomes a format pattern: a '%' in it is shown as it stands.
  char Hex[16];
  std::snprintf(Hex, sizeof Hex, "%lX", static_cast<unsigned long>(static_cast<ULONG>(Code)));
  return Text + " ($" + Hex + ").";
}

HRESULT CheckResult(HRESULT Code) {
  if (SUCCEEDED(Code)) return Code;
  throw EDirectShowException(ResultMessage(ResultText(Code), Code), Code);
}
