// The command line: options and the task file in any order, as GNU programs read them; `--` ends
// the options, so that a task file whose name starts with `-` can be named.
#pragma once

#include <string>

namespace wavsplice {

struct CommandLine {
  bool help = false;      // "help" as the task file, -h or --help
  bool longHelp = false;  // --help
  bool version = false;
  bool check = false;
  bool strict = false;
  bool warnings = false;     // --warnings: the check's warnings on standard error
  std::string timelinePath;  // empty: no picture
  std::string jsonPath;      // empty: no JSON report
  bool loudness = false;     // measure the destination after the render
  std::string target;        // a loudness target's name (implies loudness); empty: none
  std::string taskPath = "task.txt";
};

// Reads the arguments. An argument that starts with `-` (but "-" alone) is an option wherever it
// stands, up to `--`. Ends the run with exit status 1 for an option it does not know ("Unknown
// option %s"), one that lacks its file or target name, a loudness target it does not know, and a
// second task file.
CommandLine ReadCommandLine(int argc, const char* const* argv);

}  // namespace wavsplice
