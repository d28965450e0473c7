// Result codes of COM and DirectShow calls: the exception that carries a failing code and the
// single check that every playback call passes through.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

// Raised for a failing result code; what() is the message shown to the user.
class EDirectShowException : public std::runtime_error {
 public:
  EDirectShowException(const std::string& Message, HRESULT Code)
      : std::runtime_error(Message), ResultCode(Code) {}

  const HRESULT ResultCode;
};

// The platform's error text for a code (empty when it has none), at most 255 characters.
std::string ResultText(HRESULT Code);

// The message for a failing code: Text as it stands, then " ($XXXXXXXX)." with the code's
// 32 bits in upper-case hexadecimal without leading zeros.
std::string ResultMessage(const std::string& Text, HRESULT Code);

// Returns Code when it is a success (positive codes included); otherwise raises
// EDirectShowException with "<error text> ($XXXXXXXX).".
HRESULT CheckResult(HRESULT Code);
