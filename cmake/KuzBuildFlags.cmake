# Compiler settings shared by every target of the project, as the interface library kuz::flags.
add_library(kuz_flags INTERFACE)
add_library(kuz::flags ALIAS kuz_flags)

target_compile_options(kuz_flags INTERFACE -Wall -Wextra)
if(KUZ_WERROR)
  target_compile_options(kuz_flags INTERFACE -Werror)
endif()

if(WIN32)
  # Windows 7 API level; no implicit TCHAR mapping: every call names its A or W form.
  target_compile_definitions(kuz_flags INTERFACE
    _WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX
    # dshow.h would otherwise pull in strsafe.h, which poisons the C library names libstdc++ uses.
    NO_DSHOW_STRSAFE)
endif()

if(KUZ_SANITIZE)
  target_compile_options(kuz_flags INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(kuz_flags INTERFACE -fsanitize=address,undefined)
endif()

if(KUZ_FUZZ)
  # Coverage for libFuzzer in everything; only the fuzz targets link its main.
  target_compile_options(kuz_flags INTERFACE -fsanitize=fuzzer-no-link)
endif()
