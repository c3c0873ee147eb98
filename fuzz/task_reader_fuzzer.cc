// Fuzzes the task-file reader with arbitrary text: it must fill the edit table within its bounds or
// fail with one line and status 1, never crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/failure.h"
#include "fuzz/fuzz_scratch.h"
#include "task/run_state.h"
#include "task/task_reader.h"

namespace {

using wavsplice::fuzz::Broken;

void CheckTable(const wavsplice::RunState& run) {
  if (run.entryCount < 0 || run.entryCount > wavsplice::MAX_EDITS) Broken("entry count");
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const wavsplice::EditEntry& entry = run.entries[static_cast<size_t>(j)];
    if (entry.sourcePath.size() < 4) Broken("short source path accepted");
    if (entry.xfType < 0 || entry.xfType > 4) Broken("crossfade type out of range");
    if (entry.append != 0 && entry.append != 1) Broken("append flag");
    if (!(entry.lvl < 24)) Broken("level of 24 dB or more kept");
  }
  if (!run.destPath.empty() && run.destPath.size() < 4) Broken("short destination accepted");
  if (run.sampleMode != 0 && run.sampleMode != 1) Broken("sample mode");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wavsplice::fuzz::SilenceStdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string taskPath = wavsplice::fuzz::ScratchDir() + "/task.txt";
  wavsplice::fuzz::WriteBytes(taskPath, data, size);
  wavsplice::RunState run;
  run.taskPath = taskPath;
  try {
    wavsplice::ReadTaskFile(run);
  } catch (const wavsplice::RunFailure& failure) {
    if (!wavsplice::fuzz::IsWellFormedFailure(failure) ||
        failure.exitCode != wavsplice::kExitTask || failure.message.empty()) {
      Broken("task reader failure");
    }
    return 0;
  }
  CheckTable(run);
  return 0;
}
