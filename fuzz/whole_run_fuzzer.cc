// Fuzzes a whole run: the input is a task text and up to two source files, cut apart at a separator
// line, laid out in a scratch directory and rendered to the end with its JSON report and timeline.
// A run must end with one of the program's exit statuses, must never change one of its inputs, and
// must leave no temporary file.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_scratch.h"
#include "fuzz/seed_layout.h"
#include "task/driver.h"

namespace {

using wavsplice::fuzz::Broken;

// Destinations are capped so that a task asking for hours of audio costs a failed write ("Cannot
// write to file"), not the disk.
constexpr rlim_t kFileSizeLimit = 4 << 20;

std::vector<std::string_view> SplitInput(std::string_view input) {
  std::vector<std::string_view> parts;
  const std::string_view separator = wavsplice::fuzz::kPartSeparator;
  while (parts.size() < 2) {
    const size_t at = input.find(separator);
    if (at == std::string_view::npos) break;
    parts.push_back(input.substr(0, at));
    input.remove_prefix(at + separator.size());
  }
  parts.push_back(input);
  return parts;
}

void Write(const std::string& name, std::string_view bytes) {
  wavsplice::fuzz::WriteBytes(name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Task files name files relative to the working directory, so each run happens inside the scratch
// directory; the fuzzer's own corpus paths need the directory it started in.
class InScratchDir {
 public:
  InScratchDir() {
    if (::chdir(wavsplice::fuzz::ScratchDir().c_str()) != 0) std::abort();
  }
  ~InScratchDir() {
    if (::chdir(StartDir().c_str()) != 0) std::abort();
  }
  InScratchDir(const InScratchDir&) = delete;
  InScratchDir& operator=(const InScratchDir&) = delete;

  static const std::string& StartDir() {
    static const std::string* const dir = new std::string(std::filesystem::current_path());
    return *dir;
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wavsplice::fuzz::SilenceStdout();
  InScratchDir::StartDir();
  const rlimit limit{kFileSizeLimit, kFileSizeLimit};
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A write past the size limit must fail as on a full disk; the fuzzer installs its own handler
  // after start-up, so this is done on the first run.
  static const bool ignoringSizeSignal = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
  if (!ignoringSizeSignal) std::abort();
  const InScratchDir inScratchDir;
  wavsplice::fuzz::ClearScratchDir();
  const std::vector<std::string_view> parts =
      SplitInput(std::string_view(reinterpret_cast<const char*>(data), size));

  // Paths stay inside the scratch directory: no task may reach the rest of the machine (the fuzzer
  // runs as whoever started it).
  std::string task(parts[0]);
  std::replace(task.begin(), task.end(), '/', '_');
  const std::vector<std::string> inputNames = {"task.txt", "a.wav", "b.wav"};
  Write(inputNames[0], task);
  for (size_t i = 1; i < parts.size(); ++i) Write(inputNames[i], parts[i]);

  // Every run writes both report files; a task of odd length is checked rather than rendered, so
  // that the check's report is fuzzed too.
  std::vector<const char*> args = {"wavsplice", "--json", "r.json", "--timeline", "r.svg"};
  if (task.size() % 2 == 1) args.push_back("--check");
  args.push_back("task.txt");
  const int status = wavsplice::RunWavsplice(static_cast<int>(args.size()), args.data());
  if (status < 0 || status > 2) Broken("exit status");

  if (wavsplice::fuzz::ReadBytes(inputNames[0]) != task) Broken("task file changed");
  for (size_t i = 1; i < parts.size(); ++i) {
    if (wavsplice::fuzz::ReadBytes(inputNames[i]) != parts[i]) Broken("source changed");
  }
  for (const auto& item : std::filesystem::directory_iterator(wavsplice::fuzz::ScratchDir())) {
    const std::string name = item.path().filename().string();
    if (name.find(".wavsplice-") != std::string::npos) Broken("temporary file left");
  }
  return 0;
}
