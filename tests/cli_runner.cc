#include "tests/cli_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sstream>

namespace wavsplice::testing {

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

}  // namespace

std::string WavspliceBinary() { return WAVSPLICE_BINARY; }

CliResult RunCli(const std::string& workingDir, const std::vector<std::string>& args,
                 int timeoutSeconds, const std::string& shellPrefix) {
  std::ostringstream command;
  command << shellPrefix << " exec " << ShellQuote(WavspliceBinary());
  for (const std::string& arg : args) command << ' ' << ShellQuote(arg);

  char outName[] = "/tmp/wavsplice-cli-out-XXXXXX";
  char errName[] = "/tmp/wavsplice-cli-err-XXXXXX";
  const int outFd = ::mkstemp(outName);
  const int errFd = ::mkstemp(errName);
  CliResult result;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::chdir(workingDir.c_str()) != 0) ::_exit(127);
    const int nullFd = ::open("/dev/null", O_RDONLY);
    ::dup2(nullFd, 0);
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    ::execl("/bin/sh", "sh", "-c", command.str().c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  for (int waited = 0;; ++waited) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (waited >= timeoutSeconds * 100) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      result.timedOut = true;
      break;
    }
    ::usleep(10000);
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  ::close(outFd);
  ::close(errFd);
  result.out = Slurp(outName);
  result.err = Slurp(errName);
  ::unlink(outName);
  ::unlink(errName);
  return result;
}

}  // namespace wavsplice::testing
