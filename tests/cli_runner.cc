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

// Waits for child, killing it after timeoutSeconds, and fills in how it ended.
void WaitFor(pid_t child, int timeoutSeconds, CliResult& result) {
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
}

}  // namespace

std::string WavspliceBinary() { return WAVSPLICE_BINARY; }

std::vector<std::string> ProgramWords(const std::string& program) {
  // The build passes the emulator's words separated by spaces.
  std::vector<std::string> words;
  std::istringstream emulator(WAVSPLICE_EMULATOR);
  for (std::string word; emulator >> word;) words.push_back(word);
  words.push_back(program);
  return words;
}

std::string ProgramCommand(const std::string& program) {
  std::string command;
  for (const std::string& word : ProgramWords(program)) {
    command += (command.empty() ? "" : " ") + ShellQuote(word);
  }
  return command;
}

CliResult RunCli(const std::string& workingDir, const std::vector<std::string>& args,
                 int timeoutSeconds, const std::string& shellPrefix) {
  std::ostringstream command;
  command << shellPrefix << " exec " << ProgramCommand(WavspliceBinary());
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
  WaitFor(child, timeoutSeconds, result);
  ::close(outFd);
  ::close(errFd);
  result.out = Slurp(outName);
  result.err = Slurp(errName);
  ::unlink(outName);
  ::unlink(errName);
  return result;
}

pid_t StartCli(const std::string& workingDir, const std::vector<std::string>& args) {
  std::vector<std::string> words = ProgramWords(WavspliceBinary());
  words.insert(words.end(), args.begin(), args.end());
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    for (int signalNumber = 1; signalNumber < NSIG; ++signalNumber) {
      ::signal(signalNumber, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (::chdir(workingDir.c_str()) != 0) ::_exit(127);
    const int nullFd = ::open("/dev/null", O_RDWR);
    ::dup2(nullFd, 0);
    ::dup2(nullFd, 1);
    ::dup2(nullFd, 2);
    ::execv(argv[0], const_cast<char* const*>(argv.data()));
    ::_exit(127);
  }
  return child;
}

CliResult WaitCli(pid_t pid, int timeoutSeconds) {
  CliResult result;
  WaitFor(pid, timeoutSeconds, result);
  return result;
}

}  // namespace wavsplice::testing
