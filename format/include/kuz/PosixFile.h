// ByteSource over a file opened with POSIX calls (not built on Windows).
#pragma once

#include <memory>

#include "kuz/Io.h"

namespace kuz {

// ReadFailed when the file cannot be opened or its size read.
Status OpenPosixFile(const char* Path, std::unique_ptr<ByteSource>& Source) noexcept;

// Takes ownership of an open descriptor.
Status AdoptPosixFile(int Descriptor, std::unique_ptr<ByteSource>& Source) noexcept;

}  // namespace kuz
