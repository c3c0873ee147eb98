#include "task/command_line.h"

#include <cstring>

#include "common/failure.h"
#include "task/loudness_target.h"

namespace wavsplice {

namespace {

bool IsOption(const char* argument) { return std::strncmp(argument, "--", 2) == 0; }

}  // namespace

CommandLine ReadCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  int at = 1;
  bool named = false;  // after `--` the task file is taken as it stands
  for (; at < argc && IsOption(argv[at]); ++at) {
    const std::string option = argv[at];
    if (option == "--") {
      ++at;
      named = true;
      break;
    }
    if (option == "--help") {
      line.help = line.longHelp = true;
    } else if (option == "--version") {
      line.version = true;
    } else if (option == "--check") {
      line.check = true;
    } else if (option == "--strict") {
      line.strict = true;
    } else if (option == "--timeline" || option == "--json") {
      if (at + 1 >= argc) Fail(kExitTask, "Option %s needs a file name\n", option.c_str());
      (option == "--json" ? line.jsonPath : line.timelinePath) = argv[++at];
    } else if (option == "--loudness") {
      line.loudness = true;
    } else if (option == "--target") {
      if (at + 1 >= argc) Fail(kExitTask, "Option %s needs a target name\n", option.c_str());
      line.target = argv[++at];
      if (FindLoudnessTarget(line.target) == nullptr) {
        Fail(kExitTask, "Unknown loudness target %s: podcast, podcast-mono, ebu or acx\n",
             line.target.c_str());
      }
      line.loudness = true;
    } else {
      Fail(kExitTask, "Unknown option %s\n", option.c_str());
    }
  }
  if (at < argc) {
    line.taskPath = argv[at];
    if (!named && (line.taskPath == "help" || line.taskPath == "-h")) line.help = true;
  }
  return line;
}

}  // namespace wavsplice
