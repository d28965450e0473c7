// The application object and COM, in process: it makes the main thread a single-threaded
// apartment and leaves it at exit, but never undoes an apartment it did not make.
#include <windows.h>

#include <objbase.h>

#include <gtest/gtest.h>

#include <thread>

#include "Application.h"

namespace {

// The calling thread's apartment, or -1 when it has none.
int Apartment() {
  APTTYPE Type;
  APTTYPEQUALIFIER Qualifier;
  return SUCCEEDED(CoGetApartmentType(&Type, &Qualifier)) ? static_cast<int>(Type) : -1;
}

TEST(ApplicationComTest, InitializeMakesASingleThreadedApartmentThatEndsWithTheApplication) {
  int During = -2, After = -2;
  std::thread([&] {
    {
      TApplication Application(GetModuleHandleW(nullptr));
      Application.Initialize();
      During = Apartment();
    }
    After = Apartment();
  }).join();
  // The first single-threaded apartment of a process is its main one.
  EXPECT_TRUE(During == APTTYPE_STA || During == APTTYPE_MAINSTA) << During;
  EXPECT_EQ(After, -1);
}

TEST(ApplicationComTest, AFailedInitializeLeavesTheThreadsOwnApartmentAlone) {
  int After = -2;
  std::thread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
      TApplication Application(GetModuleHandleW(nullptr));
      Application.Initialize();  // RPC_E_CHANGED_MODE: the thread is in the multithreaded one
    }
    After = Apartment();
    CoUninitialize();
  }).join();
  EXPECT_EQ(After, APTTYPE_MTA) << "the application uninitialised an apartment it had not made";
}

}  // namespace
