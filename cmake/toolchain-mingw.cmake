# Cross-compiles for Windows with mingw-w64's posix-thread compilers (std::thread, std::mutex).
# KUZ_MINGW_TRIPLE selects the target: i686-w64-mingw32 (the product) or x86_64-w64-mingw32.
set(KUZ_MINGW_TRIPLE "i686-w64-mingw32" CACHE STRING "mingw-w64 target triple")

set(CMAKE_SYSTEM_NAME Windows)
if(KUZ_MINGW_TRIPLE MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR x86)
endif()

set(CMAKE_C_COMPILER ${KUZ_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KUZ_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KUZ_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KUZ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Everything links statically so the binaries run on a bare Windows without the mingw runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
