// The one way the program's messages reach the user: each is printed on standard output and
// recorded for the JSON report at once, so that the terminal, --check and --json cannot disagree.
#pragma once

#include <string>

#include "task/run_state.h"

namespace wavsplice {

// Prints a message of one line (printf style, without its line end) and records it in run.messages.
void PrintMessage(RunState& run, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Prints a run-ending failure's message as it stands (with its line end; empty when the failure
// printed its own output) and records it.
void PrintFailure(RunState& run, const std::string& message);

}  // namespace wavsplice
