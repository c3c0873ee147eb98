// Runs the real wavsplice binary for the end-to-end tests and captures what it did: standard
// output, standard error and the exit status.
#pragma once

#include <sys/types.h>

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

// Runs the binary with args in workingDir, standard input from /dev/null, killing it after
// timeoutSeconds. shellPrefix is prepended to the command line (for "ulimit -f 8;" and the like).
CliResult RunCli(const std::string& workingDir, const std::vector<std::string>& args,
                 int timeoutSeconds = 60, const std::string& shellPrefix = "");

// Starts the binary with args in workingDir, standard input from /dev/null and its output
// discarded, with every signal at its default action (whatever the test runner ignores); returns
// its process id.
pid_t StartCli(const std::string& workingDir, const std::vector<std::string>& args);

// Waits for a process started by StartCli, killing it after timeoutSeconds: its exit status or the
// signal that ended it.
CliResult WaitCli(pid_t pid, int timeoutSeconds = 60);

// Path of the built binary.
std::string WavspliceBinary();

// The words of the command that runs a built program (wavsplice, make_example_sources) on this
// machine: the emulator and its options when the programs are built for another machine (a cross
// build under qemu-user), then the program's path.
std::vector<std::string> ProgramWords(const std::string& program);

// The same as one shell command, every word quoted.
std::string ProgramCommand(const std::string& program);

}  // namespace wavsplice::testing
