// Test entry: one application object per test process (each test runs in its own process), so
// components find the main thread as they do in the launcher.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "framework/Application.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // A run meant for another ANSI code page proves nothing if the system did not give it that page.
  char expected[16] = "";
  if (GetEnvironmentVariableA("EXPECT_ANSI_CODE_PAGE", expected, sizeof expected) > 0 &&
      std::strtoul(expected, nullptr, 10) != GetACP()) {
    std::printf("This run expects ANSI code page %s, the process has %u.\n", expected, GetACP());
    return 1;
  }
  framework::TApplication application;
  // An exception that reaches a message loop fails the running test instead of opening a box.
  application.SetOnException([](const std::exception& error) { ADD_FAILURE() << "exception: " << error.what(); });
  return RUN_ALL_TESTS();
}
