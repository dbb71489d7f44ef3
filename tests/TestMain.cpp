// Test entry: one application object per test process (each test runs in its own process), so
// components find the main thread as they do in the launcher.
#include <gtest/gtest.h>

#include "framework/Application.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  framework::TApplication application;
  // An exception that reaches a message loop fails the running test instead of opening a box.
  application.SetOnException([](const std::exception& error) { ADD_FAILURE() << "exception: " << error.what(); });
  return RUN_ALL_TESTS();
}
