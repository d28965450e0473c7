// GoogleTest entry point for Windows test programs: the main thread is a single-threaded COM
// apartment, as the player's is.
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  HRESULT Initialized = CoInitialize(nullptr);
  if (FAILED(Initialized)) {
    fprintf(stderr, "CoInitialize failed: 0x%08lX\n", static_cast<unsigned long>(Initialized));
    return 1;
  }
  int Result = RUN_ALL_TESTS();
  CoUninitialize();
  return Result;
}
