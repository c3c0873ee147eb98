#include "task/messages.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

#include "common/failure.h"

namespace wavsplice {

void PrintMessage(RunState& run, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatMessageV(format, args);
  va_end(args);
  std::puts(text.c_str());
  run.messages.push_back(std::move(text));
}

void PrintFailure(RunState& run, const std::string& message) {
  std::fputs(message.c_str(), stdout);
  if (message.empty()) return;
  run.messages.push_back(message.substr(0, message.find_last_not_of('\n') + 1));
}

}  // namespace wavsplice
