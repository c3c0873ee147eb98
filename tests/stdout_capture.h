// Runs a piece of the program with its standard output captured, keeping the failure it ends with,
// so that tests can compare the exact output, exit status and message without starting a process.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/failure.h"

namespace wavsplice::testing {

struct Outcome {
  std::string out;      // everything written to standard output
  bool failed = false;  // the run ended through Fail()
  int exitCode = 0;     // of the failure
  std::string message;  // of the failure, printed by the entry point
};

template <typename Body>
Outcome RunCaptured(Body body) {
  Outcome outcome;
  std::fflush(stdout);
  ::testing::internal::CaptureStdout();
  try {
    body();
  } catch (const RunFailure& failure) {
    outcome.failed = true;
    outcome.exitCode = failure.exitCode;
    outcome.message = failure.message;
  } catch (...) {
    std::fflush(stdout);
    ::testing::internal::GetCapturedStdout();
    throw;
  }
  std::fflush(stdout);
  outcome.out = ::testing::internal::GetCapturedStdout();
  return outcome;
}

}  // namespace wavsplice::testing
