#include "task/level_match.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "common/failure.h"
#include "common/messages.h"
#include "render/loudness_meter.h"
#include "task/cut_list.h"
#include "task/diagnostics.h"
#include "task/messages.h"

namespace wavsplice {

namespace {

constexpr double kHighestLevelDb = 23.99;  // the largest 0.01 dB step below `lvl`'s +24 dB

// The span of an edit with cuts is measured whole, from its first piece's start to its last piece's
// end, so that its pieces share one level.
LoudnessMeasure MeasureSpan(const RunState& run, int32_t index) {
  const EditEntry& entry = run.entries[static_cast<size_t>(index)];
  const EditEntry& last = run.entries[static_cast<size_t>(LastPieceOf(run, index))];
  const AudioStretch span{entry.sourcePath, entry.attributes.dataOffset, entry.readStart,
                          last.readEnd - entry.readStart};
  LoudnessMeasure measure;
  switch (MeasureLoudness(span, run.format, LoudnessScope::kSpan, measure)) {
    case MeterOutcome::kUnreadable:
      Fail(kExitFile, msg::kCannotReadFile, entry.sourcePath.c_str());
    case MeterOutcome::kUnmeasurable:
      Fail(kExitTask, msg::kCannotMeasure, entry.sourcePath.c_str());
    case MeterOutcome::kMeasured:
      break;
  }
  return measure;
}

// A warning of the run: a diagnostic, and when asked printed as a message.
void WarnRun(RunState& run, bool print, int32_t line, const std::string& text) {
  Warn(run.diagnostics, line, "%s", text.c_str());
  if (print) PrintMessage(run, "%s", text.c_str());
}

void MatchEntry(RunState& run, int32_t index, bool printWarnings) {
  EditEntry& entry = run.entries[static_cast<size_t>(index)];
  const LoudnessMeasure measure = MeasureSpan(run, index);
  const std::string task = "Task " + std::to_string(TaskNumber(run, index));
  if (!std::isfinite(measure.integratedLufs)) {
    WarnRun(run, printWarnings, entry.line,
            task + " is too quiet to measure its loudness: its level stays 0 dB");
    return;
  }
  const double level = MatchedLevel(measure.integratedLufs, run.loudnessLufs);
  entry.lvl = static_cast<float>(level);
  entry.levelMatched = true;
  entry.spanLufs = measure.integratedLufs;
  entry.spanPeakDbfs = measure.samplePeakDbfs;
  if (level >= kHighestLevelDb) {
    char text[160];
    std::snprintf(text, sizeof text, "%s at %.2f LUFS would need %+.2f dB: its level is %+.2f dB",
                  task.c_str(), measure.integratedLufs, run.loudnessLufs - measure.integratedLufs,
                  level);
    WarnRun(run, printWarnings, entry.line, text);
  }
  if (measure.samplePeakDbfs + entry.lvl > 0.0) {
    Warn(run.diagnostics, entry.line,
         "%s's level of %+.2f dB takes its peak of %.2f dBFS past full scale, to %+.2f dBFS",
         task.c_str(), entry.lvl, measure.samplePeakDbfs, measure.samplePeakDbfs + entry.lvl);
  }
}

}  // namespace

double MatchedLevel(double spanLufs, double targetLufs) {
  const double level = std::round((targetLufs - spanLufs) * 100.0) / 100.0;
  return level < kHighestLevelDb ? level : kHighestLevelDb;
}

void MatchSpanLevels(RunState& run, bool printWarnings) {
  if (run.loudnessLine == 0) return;
  for (int32_t j = 0; j < run.entryCount; ++j) {
    EditEntry& entry = run.entries[static_cast<size_t>(j)];
    if (entry.lvlLine != 0) continue;
    if (entry.piece < 2) {
      MatchEntry(run, j, printWarnings);
      continue;
    }
    // A later piece takes the level of the first.
    const EditEntry& first = run.entries[static_cast<size_t>(j - entry.piece + 1)];
    entry.lvl = first.lvl;
    entry.levelMatched = first.levelMatched;
    entry.spanLufs = first.spanLufs;
    entry.spanPeakDbfs = first.spanPeakDbfs;
  }
}

}  // namespace wavsplice
