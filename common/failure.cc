#include "common/failure.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace wavsplice {

void Fail(int exitCode, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string message;
  if (length > 0) {
    std::vector<char> text(static_cast<size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    message.assign(text.data(), static_cast<size_t>(length));
  }
  va_end(args);
  throw RunFailure{exitCode, message};
}

void FailQuietly(int exitCode) { throw RunFailure{exitCode, std::string()}; }

}  // namespace wavsplice
