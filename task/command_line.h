// The command line: options first, then the task file. `--` ends the
// options, so that a task file whose name starts with `--` can be named.
#pragma once

#include <string>

namespace wavsplice {

struct CommandLine {
  bool help = false;      // "help" or "-h" as the task file, or --help
  bool longHelp = false;  // --help
  bool version = false;
  bool check = false;
  bool strict = false;
  std::string timelinePath;  // empty: no picture
  std::string jsonPath;      // empty: no JSON report
  bool loudness = false;     // measure the destination after the render
  std::string target;        // a loudness target's name (implies loudness); empty: none
  std::string taskPath = "task.txt";
};

// Reads the arguments. Ends the run with exit status 1 ("Unknown option
// %s") for an option it does not know, one that lacks its file name or
// target name, and a loudness target it does not know.
// Arguments after the task file are ignored.
CommandLine ReadCommandLine(int argc, const char* const* argv);

}  // namespace wavsplice
