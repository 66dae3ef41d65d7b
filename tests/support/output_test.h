// Fixture for the printers: captured output on the virtual platform, English
// texts, and the output flags put back afterwards.
#ifndef QUORVEL_TESTS_SUPPORT_OUTPUT_TEST_H_
#define QUORVEL_TESTS_SUPPORT_OUTPUT_TEST_H_

#include <gtest/gtest.h>

#include "output/log_printers.h"
#include "support/virtual_platform.h"

class OutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetOutputState();
    UiLanguage = 1;
  }
  void TearDown() override { ResetOutputState(); }
  ScopedVirtualPlatform platform_;
};

#endif  // QUORVEL_TESTS_SUPPORT_OUTPUT_TEST_H_
