#include "task/loudness_report.h"

#include <cmath>
#include <cstdio>

#include "common/failure.h"
#include "common/messages.h"
#include "task/loudness_target.h"

namespace wavsplice {

namespace {

const char* NameOf(TargetValue value) {
  switch (value) {
    case TargetValue::kIntegrated:
      return "integrated loudness";
    case TargetValue::kRms:
      return "RMS level";
    case TargetValue::kTruePeak:
      return "true peak";
    case TargetValue::kSamplePeak:
      return "sample peak";
    default:
      return "noise floor";
  }
}

const char* UnitOf(TargetValue value) {
  switch (value) {
    case TargetValue::kIntegrated:
      return "LUFS";
    case TargetValue::kTruePeak:
      return "dBTP";
    default:
      return "dBFS";
  }
}

// "Target podcast missed: integrated loudness -20.0 LUFS, limits -17.0 to -15.0 LUFS, needs +4.0
// dB" or "...: true peak -0.5 dBTP, limit -1.0 dBTP".
void PrintMiss(const char* targetName, const TargetMiss& miss) {
  const char* unit = UnitOf(miss.value);
  std::printf("\tTarget %s missed: %s %s %s, ", targetName, NameOf(miss.value),
              Tenths(miss.measured).c_str(), unit);
  if (std::isinf(miss.low)) {
    std::printf("limit %s %s\n", Tenths(miss.high).c_str(), unit);
    return;
  }
  std::printf("limits %s to %s %s", Tenths(miss.low).c_str(), Tenths(miss.high).c_str(), unit);
  if (std::isfinite(miss.changeDb)) {
    const std::string change = Tenths(miss.changeDb);
    std::printf(", needs %s%s dB", change[0] == '-' ? "" : "+", change.c_str());
  }
  std::printf("\n");
}

}  // namespace

std::string Tenths(double decibels) {
  if (std::isinf(decibels)) return decibels < 0 ? "-inf" : "inf";
  double rounded = std::round(decibels * 10.0) / 10.0;
  if (rounded == 0.0) rounded = 0.0;  // -0.04 prints as 0.0, not -0.0
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", rounded);
  return text;
}

void PrintLoudnessReport(const RunState& run) {
  if (!run.loudnessMeasured) return;
  const LoudnessMeasure& measure = run.loudness;
  std::printf("Loudness\t%s\n", run.destPath.c_str());
  std::printf("\tIntegrated %s LUFS\n", Tenths(measure.integratedLufs).c_str());
  std::printf("\tRange %s LU\n", Tenths(measure.rangeLu).c_str());
  std::printf("\tTrue peak %s dBTP\n", Tenths(measure.truePeakDbtp).c_str());
  std::printf("\tSample peak %s dBFS\n", Tenths(measure.samplePeakDbfs).c_str());
  const LoudnessTarget* target = FindLoudnessTarget(run.targetName);
  if (target != nullptr) {
    if (target->level == TargetValue::kRms) {
      std::printf("\tRMS %s dBFS\n", Tenths(measure.rmsDbfs).c_str());
      std::printf("\tNoise floor %s dBFS\n", Tenths(measure.noiseFloorDbfs).c_str());
    }
    const std::vector<TargetMiss> misses = MissesOf(*target, measure);
    if (misses.empty()) std::printf("\tTarget %s met\n", target->name);
    for (const TargetMiss& miss : misses) PrintMiss(target->name, miss);
  }
  std::printf("\n");
}

void RefuseDelivery(const RunState& run) {
  PrintLoudnessReport(run);
  Fail(kExitTask, msg::kTargetMissed, run.targetName.c_str(), run.destPath.c_str());
}

}  // namespace wavsplice
