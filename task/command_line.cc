#include "task/command_line.h"

#include <string>

#include "common/failure.h"
#include "common/messages.h"
#include "task/loudness_target.h"

namespace wavsplice {

namespace {

// "-" alone names a file, as for most programs.
bool IsOption(const std::string& argument) { return argument.size() > 1 && argument[0] == '-'; }

// Takes one option, and its file name where it has one, from argv[at]; returns the index of the
// last argument used.
int TakeOption(CommandLine& line, int argc, const char* const* argv, int at) {
  const std::string option = argv[at];
  if (option == "-h") {
    line.help = true;
  } else if (option == "--help") {
    line.help = line.longHelp = true;
  } else if (option == "--version") {
    line.version = true;
  } else if (option == "--check") {
    line.check = true;
  } else if (option == "--strict") {
    line.strict = true;
  } else if (option == "--warnings") {
    line.warnings = true;
  } else if (option == "--timeline" || option == "--json") {
    if (at + 1 >= argc) Fail(kExitTask, msg::kOptionNeedsFile, option.c_str());
    (option == "--json" ? line.jsonPath : line.timelinePath) = argv[++at];
  } else if (option == "--loudness") {
    line.loudness = true;
  } else if (option == "--target") {
    if (at + 1 >= argc) Fail(kExitTask, msg::kOptionNeedsTarget, option.c_str());
    line.target = argv[++at];
    if (FindLoudnessTarget(line.target) == nullptr) {
      Fail(kExitTask, msg::kUnknownTarget, line.target.c_str());
    }
    line.loudness = true;
  } else {
    Fail(kExitTask, msg::kUnknownOption, option.c_str());
  }
  return at;
}

}  // namespace

CommandLine ReadCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  bool named = false;   // a task file was named
  bool options = true;  // until `--`
  bool asHelp = false;  // "help" named as the task file, before `--`
  std::string extra;    // a second task file
  for (int at = 1; at < argc; ++at) {
    const std::string argument = argv[at];
    if (options && argument == "--") {
      options = false;
    } else if (options && IsOption(argument)) {
      at = TakeOption(line, argc, argv, at);
    } else if (named) {
      if (extra.empty()) extra = argument;
    } else {
      line.taskPath = argument;
      named = true;
      asHelp = options && argument == "help";
    }
  }
  if (asHelp) line.help = true;
  // Help is printed whatever follows it.
  if (!line.help && !extra.empty()) {
    Fail(kExitTask, msg::kOneTaskFile, extra.c_str());
  }
  return line;
}

}  // namespace wavsplice
