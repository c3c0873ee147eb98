// One failure path for the whole program: lower layers call Fail() and the entry point turns the
// failure into its message on standard output and the process exit status.
#pragma once

#include <cstdarg>
#include <string>

namespace wavsplice {

// Exit statuses of the program.
constexpr int kExitOk = 0;
constexpr int kExitTask = 1;  // help text, task file, format comparison, edit plan
constexpr int kExitFile = 2;  // a file that cannot be opened or written, no data chunk

// Thrown by Fail(); caught only by the entry point (and by tests and fuzzers).
struct RunFailure {
  int exitCode;
  std::string message;  // printed as it stands; empty when already printed
};

// The text of a printf-style format and its values.
std::string FormatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatMessageV(const char* format, va_list args);

// Formats the message (printf style) and ends the run with exitCode.
[[noreturn]] void Fail(int exitCode, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Ends the run with exitCode after the caller has printed its own output.
[[noreturn]] void FailQuietly(int exitCode);

}  // namespace wavsplice
