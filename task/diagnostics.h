// What a check of the task finds: warnings about lines that will not do what they seem to say, and
// notes about plans worth a second look. Each is tied to the task-file line it is about.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wavsplice {

enum class DiagnosticKind { kWarning, kNote };

struct Diagnostic {
  int32_t line;  // 1-based task-file line; 0 when the diagnostic has none
  DiagnosticKind kind;
  std::string text;
};

using Diagnostics = std::vector<Diagnostic>;

// Adds a diagnostic whose text is formatted printf style.
void Warn(Diagnostics& diagnostics, int32_t line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void Note(Diagnostics& diagnostics, int32_t line, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

int32_t CountOf(const Diagnostics& diagnostics, DiagnosticKind kind);

}  // namespace wavsplice
