// Task values (seconds, or samples in sample mode) turned into frame positions of a source or the
// destination.
#pragma once

#include <cstdint>

#include "task/run_state.h"

namespace wavsplice {

// value as a frame count: trunc(sampleRate x value) in seconds mode, with the product in 64-bit
// floating point, or trunc(value) in sample mode; trunc goes toward zero. Returns false, leaving
// frames as it was, when the value is not finite or the result lies outside the signed 64-bit
// range.
bool ToFrames(const RunState& run, double value, int64_t& frames);

}  // namespace wavsplice
