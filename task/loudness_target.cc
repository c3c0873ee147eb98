#include "task/loudness_target.h"

#include <cmath>
#include <limits>

#include "common/failure.h"
#include "common/messages.h"

namespace wavsplice {

namespace {

constexpr double kNone = std::numeric_limits<double>::infinity();

// Podcasts: -16 LUFS +-1 LU for stereo, -19 for mono (heard as loud as -16 from two speakers);
// broadcast: -23 LUFS +-0.5 LU; all three with the true peak at or below -1 dBTP. Audiobooks:
// unweighted RMS from -23 to -18 dBFS, sample peak at or below -3 dBFS, noise floor at or below
// -60.
constexpr LoudnessTarget kTargets[] = {
    {"podcast", TargetValue::kIntegrated, -17.0, -15.0, -16.0, TargetValue::kTruePeak, -1.0, kNone},
    {"podcast-mono", TargetValue::kIntegrated, -20.0, -18.0, -19.0, TargetValue::kTruePeak, -1.0,
     kNone},
    {"ebu", TargetValue::kIntegrated, -23.5, -22.5, -23.0, TargetValue::kTruePeak, -1.0, kNone},
    {"acx", TargetValue::kRms, -23.0, -18.0, -20.5, TargetValue::kSamplePeak, -3.0, -60.0},
};

double ValueOf(const LoudnessMeasure& measure, TargetValue value) {
  switch (value) {
    case TargetValue::kIntegrated:
      return measure.integratedLufs;
    case TargetValue::kRms:
      return measure.rmsDbfs;
    case TargetValue::kTruePeak:
      return measure.truePeakDbtp;
    case TargetValue::kSamplePeak:
      return measure.samplePeakDbfs;
    default:
      return measure.noiseFloorDbfs;
  }
}

}  // namespace

const LoudnessTarget* FindLoudnessTarget(const std::string& name) {
  for (const LoudnessTarget& target : kTargets) {
    if (name == target.name) return &target;
  }
  return nullptr;
}

std::vector<TargetMiss> MissesOf(const LoudnessTarget& target, const LoudnessMeasure& measure) {
  std::vector<TargetMiss> misses;
  const double level = ValueOf(measure, target.level);
  if (!(level >= target.low && level <= target.high)) {
    misses.push_back({target.level, level, target.low, target.high, target.centre - level});
  }
  const double peak = ValueOf(measure, target.peak);
  if (peak > target.peakLimit) misses.push_back({target.peak, peak, -kNone, target.peakLimit, 0});
  if (measure.noiseFloorDbfs > target.floorLimit) {
    misses.push_back(
        {TargetValue::kNoiseFloor, measure.noiseFloorDbfs, -kNone, target.floorLimit, 0});
  }
  return misses;
}

void MeasureDestination(RunState& run) {
  const AudioStretch stretch{run.destPath, run.destAudioStart, 0, run.destLength, run.destFd};
  switch (MeasureLoudness(stretch, run.format, LoudnessScope::kProgramme, run.loudness)) {
    case MeterOutcome::kUnreadable:
      Fail(kExitFile, msg::kCannotReadFile, run.destPath.c_str());
    case MeterOutcome::kUnmeasurable:
      Fail(kExitTask, msg::kCannotMeasure, run.destPath.c_str());
    case MeterOutcome::kMeasured:
      break;
  }
  run.loudnessMeasured = true;
}

bool TargetMissed(const RunState& run) {
  const LoudnessTarget* target = FindLoudnessTarget(run.targetName);
  return run.loudnessMeasured && target != nullptr && !MissesOf(*target, run.loudness).empty();
}

}  // namespace wavsplice
