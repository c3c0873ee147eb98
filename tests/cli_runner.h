// Runs the real wavsplice binary for the end-to-end tests and captures what
// it did: standard output, standard error and the exit status.
#pragma once

#include <string>
#include <vector>

namespace wavsplice::testing {

struct CliResult {
  std::string out;
  std::string err;
  int exitCode = -1;  // -1 when the process did not exit normally
  int signal = 0;     // the signal that ended it, if any
  bool timedOut = false;
};

// Runs the binary with args in workingDir, standard input from /dev/null,
// killing it after timeoutSeconds. shellPrefix is prepended to the command
// line (for "ulimit -f 8;" and the like).
CliResult RunCli(const std::string& workingDir, const std::vector<std::string>& args,
                 int timeoutSeconds = 60, const std::string& shellPrefix = "");

// Path of the built binary.
std::string WavspliceBinary();

}  // namespace wavsplice::testing
