#include "task/task_units.h"

#include "common/int64_range.h"

namespace wavsplice {

bool ToFrames(const RunState& run, double value, int64_t& frames) {
  return TruncToInt64(
      run.sampleMode == 1 ? value : static_cast<double>(run.format.sampleRate) * value, frames);
}

}  // namespace wavsplice
