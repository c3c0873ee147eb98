// Delivery targets for loudness: the levels and peaks a podcast, a broadcast or an audiobook must
// meet, and which of the destination's measured values miss them. The measuring itself happens here
// too, on the destination as written and before it is put in place, so that a missed target can
// keep the old file.
#pragma once

#include <string>
#include <vector>

#include "render/loudness_meter.h"
#include "task/run_state.h"

namespace wavsplice {

// The values a target sets limits on.
enum class TargetValue { kIntegrated, kRms, kTruePeak, kSamplePeak, kNoiseFloor };

struct LoudnessTarget {
  const char* name;
  TargetValue level;  // kIntegrated (LUFS) or kRms (dBFS)
  double low;         // the level's range, dB
  double high;
  double centre;      // what a level change aims at
  TargetValue peak;   // kTruePeak (dBTP) or kSamplePeak (dBFS)
  double peakLimit;   // the highest peak allowed
  double floorLimit;  // the highest noise floor allowed; +infinity when none
};

// The target of that name (podcast, podcast-mono, ebu, acx), or null.
const LoudnessTarget* FindLoudnessTarget(const std::string& name);

// One value of the measure that misses its target: the value, its limits (low is -infinity for a
// ceiling) and, for the level, the change in dB that brings it to the target's centre (0 for the
// others).
struct TargetMiss {
  TargetValue value;
  double measured;
  double low;
  double high;
  double changeDb;
};

// The values of measure that miss target, level first, then peak and floor. A level of -infinity
// (silence) misses with a change of +infinity.
std::vector<TargetMiss> MissesOf(const LoudnessTarget& target, const LoudnessMeasure& measure);

// Measures the finished destination (run.destWritePath, run.destLength frames) into run.loudness.
// Ends the run with "Cannot read file NAME" (exit status 2) when it cannot be read back, and
// "Cannot measure the loudness of NAME" (exit status 1) at a rate the meter does not take.
void MeasureDestination(RunState& run);

// True when run has a target and its measured destination misses it.
bool TargetMissed(const RunState& run);

}  // namespace wavsplice
