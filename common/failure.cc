#include "common/failure.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace wavsplice {

std::string FormatMessageV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::vector<char> text(static_cast<size_t>(length) + 1);
  std::vsnprintf(text.data(), text.size(), format, args);
  return std::string(text.data(), static_cast<size_t>(length));
}

std::string FormatMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatMessageV(format, args);
  va_end(args);
  return text;
}

void Fail(int exitCode, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string message = FormatMessageV(format, args);
  va_end(args);
  throw RunFailure{exitCode, message};
}

void FailQuietly(int exitCode) { throw RunFailure{exitCode, std::string()}; }

}  // namespace wavsplice
