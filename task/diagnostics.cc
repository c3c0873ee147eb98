#include "task/diagnostics.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace wavsplice {

namespace {

std::string Format(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(&text[0], text.size(), format, args);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

void Warn(Diagnostics& diagnostics, int32_t line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  diagnostics.push_back({line, DiagnosticKind::kWarning, Format(format, args)});
  va_end(args);
}

void Note(Diagnostics& diagnostics, int32_t line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  diagnostics.push_back({line, DiagnosticKind::kNote, Format(format, args)});
  va_end(args);
}

int32_t CountOf(const Diagnostics& diagnostics, DiagnosticKind kind) {
  return static_cast<int32_t>(
      std::count_if(diagnostics.begin(), diagnostics.end(),
                    [kind](const Diagnostic& diagnostic) { return diagnostic.kind == kind; }));
}

}  // namespace wavsplice
