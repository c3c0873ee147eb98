#include "task/plan_check.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "render/crossfade_fit.h"

#include "task/crossfade_handles.h"
#include "task/cut_list.h"

namespace wavsplice {

namespace fs = std::filesystem;

namespace {

std::string Format(const char* format, int value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

const EditEntry& EntryAt(const RunState& run, int32_t index) {
  return run.entries[static_cast<size_t>(index)];
}

int64_t EndOf(const EditEntry& entry) { return entry.insertPoint + entry.readLength; }

// The insert point in task units that makes an edit start at frame.
std::string InsValue(const RunState& run, int64_t frame) {
  char text[64];
  if (run.sampleMode == 1) {
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(frame));
  } else {
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(frame) / run.format.sampleRate);
  }
  return text;
}

// The crossfade of the entry at position k of the write order, as the plain plan makes it (with
// `handles`: the task without handles that it stands for; otherwise the run itself).
void CheckCrossfade(RunState& run, const RunState& plain, int32_t k) {
  const int32_t index = run.writeOrder[static_cast<size_t>(k)];
  const EditEntry& entry = EntryAt(plain, index);
  const CrossfadePlan plan = PlanCrossfade(plain, entry);
  const int32_t line = entry.xfLine;
  const int64_t half = plan.xfSamples / 2;
  switch (plan.outcome) {
    case CrossfadeOutcome::kNone:
      return;
    case CrossfadeOutcome::kDestinationTooShort:
      Warn(run.diagnostics, line,
           "the crossfade of task %i cannot be made: the destination has %s before the splice, "
           "less than half the width (%s); the edit is copied without it",
           TaskNumber(run, index), TaskUnits(run, entry.insertPoint).c_str(),
           TaskUnits(run, half).c_str());
      return;
    case CrossfadeOutcome::kSourceTooShort:
      Warn(run.diagnostics, line,
           "the crossfade of task %i cannot be made: %s has %s before the splice, less than half "
           "the width (%s); start the span later or leave out 'xf'",
           TaskNumber(run, index), entry.sourcePath.c_str(),
           TaskUnits(run, entry.readStart).c_str(), TaskUnits(run, half).c_str());
      return;
    case CrossfadeOutcome::kTooLong:
    case CrossfadeOutcome::kNotWritten:  // a run's failure, never planned
      Warn(run.diagnostics, line, "the crossfade of task %i is too long to be made",
           TaskNumber(run, index));
      return;
    case CrossfadeOutcome::kNotPlaced:
      Warn(run.diagnostics, line,
           "the crossfade of task %i would start at the destination's first frame and is not "
           "placed",
           TaskNumber(run, index));
      return;
    case CrossfadeOutcome::kMade:
      break;
  }
  if (plan.pastEnd > 0) {
    Warn(run.diagnostics, line,
         "the crossfade of task %i is cut short: the destination ends %s after the splice, less "
         "than half the width (%s), and its last %s are not written",
         TaskNumber(run, index), TaskUnits(run, plain.destLength - entry.insertPoint).c_str(),
         TaskUnits(run, plan.xfSamples - half).c_str(), TaskUnits(run, plan.pastEnd).c_str());
  }
  // The crossfade blends the destination as the earlier edits left it.
  const int64_t splice = entry.insertPoint;
  if (UncoveredBefore(plain, k, splice - half, splice) * 2 > half) {
    Warn(run.diagnostics, line,
         "the crossfade of task %i fades out of silence: no earlier edit covers the destination "
         "before the splice",
         TaskNumber(run, index));
  }
  if (UncoveredBefore(plain, k, splice, splice + half) * 2 > half) {
    Warn(run.diagnostics, line,
         "the crossfade of task %i blends with silence after the splice, so the edit starts below "
         "its level: no earlier edit covers the destination there; an 'ins' of %s overlaps the "
         "earlier edit by half the width",
         TaskNumber(run, index), InsValue(run, splice - half).c_str());
  }
}

void CheckHeard(RunState& run, const std::vector<HeardSpan>& heard) {
  std::vector<int64_t> heardFrames(static_cast<size_t>(run.entryCount), 0);
  for (const HeardSpan& span : heard) {
    if (span.entry >= 0) heardFrames[static_cast<size_t>(span.entry)] += span.end - span.start;
  }
  for (int32_t j = 0; j < run.entryCount; ++j) {
    if (heardFrames[static_cast<size_t>(j)] == 0) {
      Warn(run.diagnostics, EntryAt(run, j).line,
           "task %i is never heard: edits written after it overwrite all of it",
           TaskNumber(run, j));
    }
  }
  for (const HeardSpan& span : heard) {
    if (span.entry >= 0) continue;
    int32_t after = -1;
    for (const HeardSpan& next : heard) {
      if (next.start == span.end && next.entry >= 0) after = next.entry;
    }
    Note(run.diagnostics, after >= 0 ? EntryAt(run, after).line : 0,
         "the destination is silent for %s from %s", TaskUnits(run, span.end - span.start).c_str(),
         TaskUnits(run, span.start).c_str());
  }
}

// The replace recipe's trap: an edit overwritten in part by a later one still reaches the
// destination's end with its own audio. When the later edit re-lays the same source, the tail
// repeats what was heard: a warning.
void CheckStaleTail(RunState& run, const std::vector<HeardSpan>& heard) {
  if (heard.empty() || heard.back().entry < 0) return;
  const int32_t last = heard.back().entry;
  const EditEntry& tail = EntryAt(run, last);
  const auto position =
      std::find(run.writeOrder.begin(), run.writeOrder.begin() + run.entryCount, last) -
      run.writeOrder.begin();
  int32_t over = -1;
  for (auto later = position + 1; later < run.entryCount; ++later) {
    const int32_t index = run.writeOrder[static_cast<size_t>(later)];
    const EditEntry& entry = EntryAt(run, index);
    if (entry.insertPoint <= tail.insertPoint || EndOf(entry) >= EndOf(tail)) continue;
    if (over < 0 || entry.sourcePath == tail.sourcePath) over = index;
  }
  if (over < 0) return;
  const EditEntry& entry = EntryAt(run, over);
  const std::string stale = TaskUnits(run, EndOf(tail) - EndOf(entry));
  if (entry.sourcePath == tail.sourcePath) {
    Warn(run.diagnostics, entry.line,
         "task %i ends %s before task %i, which then repeats the last %s of %s at the end of the "
         "destination; shorten task %i or move task %i",
         TaskNumber(run, over), stale.c_str(), TaskNumber(run, last), stale.c_str(),
         tail.sourcePath.c_str(), TaskNumber(run, last), TaskNumber(run, over));
  } else {
    Note(run.diagnostics, tail.line,
         "task %i overwrites part of task %i, whose last %s (%s) still end the destination",
         TaskNumber(run, over), TaskNumber(run, last), stale.c_str(), tail.sourcePath.c_str());
  }
}

// Frames from end (0 or more) to asked, a whole number of frames as a double: exact while the count
// fits in 64 bits, the largest count beyond; 0 when asked is not above end. A stop and a trim that
// each fit can add up to 2^63 frames or more, past what a signed 64-bit integer holds.
int64_t FramesPast(double asked, int64_t end) {
  constexpr double kTwoTo64 = 18446744073709551616.0;
  if (!(asked > static_cast<double>(end))) return 0;
  if (!(asked < kTwoTo64)) return INT64_MAX;
  const uint64_t past = static_cast<uint64_t>(asked) - static_cast<uint64_t>(end);
  return past > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(past);
}

void CheckCutSpans(RunState& run) {
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const EditEntry& entry = EntryAt(run, j);
    const double asked =
        std::trunc(run.sampleMode == 1 ? entry.xout : entry.xout * run.format.sampleRate);
    if (asked > entry.readEnd) {
      Note(run.diagnostics, entry.line,
           "the span of task %i stops %s past the end of %s: it is cut at the source's end",
           TaskNumber(run, j), TaskUnits(run, FramesPast(asked, entry.readEnd)).c_str(),
           entry.sourcePath.c_str());
    }
  }
}

// The destination frames where an edit's own crossfade blends it with what was there: not hidden,
// whatever it lays over.
bool InCrossfadeZone(const CrossfadePlan& plan, int64_t frame) {
  return plan.outcome == CrossfadeOutcome::kMade && frame >= plan.destStart &&
         frame - plan.destStart < plan.xfSamples;
}

// Edits that overwrite audio of an earlier edit that was heard there (not silence, not inside the
// later edit's crossfade, more than an overlap that feeds a crossfade): a note with the time
// hidden, and a warning when more than half of the earlier edit goes.
void CheckHidden(RunState& run, const std::vector<HeardSpan>& heard) {
  std::vector<int64_t> cuts{0, run.destLength};
  std::vector<CrossfadePlan> plans;
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const EditEntry& entry = EntryAt(run, j);
    cuts.push_back(entry.insertPoint);
    cuts.push_back(EndOf(entry));
    const CrossfadePlan& plan = plans.emplace_back(PlanCrossfade(run, entry));
    if (plan.outcome == CrossfadeOutcome::kMade) {
      cuts.push_back(plan.destStart);
      cuts.push_back(plan.destStart + plan.xfSamples);
    }
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  // hidden[later * count + earlier]: frames of earlier that later overwrote.
  const size_t count = static_cast<size_t>(run.entryCount);
  std::vector<int64_t> hidden(count * count, 0);
  for (size_t c = 0; c + 1 < cuts.size(); ++c) {
    int32_t owner = -1;
    for (int32_t k = 0; k < run.entryCount; ++k) {
      const int32_t index = run.writeOrder[static_cast<size_t>(k)];
      const EditEntry& entry = EntryAt(run, index);
      if (entry.insertPoint > cuts[c] || EndOf(entry) < cuts[c + 1]) continue;
      if (owner >= 0 && !InCrossfadeZone(plans[static_cast<size_t>(index)], cuts[c])) {
        hidden[static_cast<size_t>(index) * count + static_cast<size_t>(owner)] +=
            cuts[c + 1] - cuts[c];
      }
      owner = index;
    }
  }
  std::vector<bool> everHeard(count, false);
  for (const HeardSpan& span : heard) {
    if (span.entry >= 0) everHeard[static_cast<size_t>(span.entry)] = true;
  }
  for (size_t later = 0; later < count; ++later) {
    for (size_t earlier = 0; earlier < count; ++earlier) {
      const int64_t frames = hidden[later * count + earlier];
      // An earlier edit run on past a splice feeds the crossfade there: a quarter second, or the
      // crossfade's width, is such an overlap, not audio lost.
      const CrossfadePlan& plan = plans[later];
      const int64_t overlap = std::max<int64_t>(
          run.format.sampleRate / 4, plan.outcome == CrossfadeOutcome::kMade ? plan.xfSamples : 0);
      if (frames <= overlap || !everHeard[earlier]) continue;
      const EditEntry& gone = run.entries[earlier];
      const bool most = frames * 2 > gone.readLength;
      (most ? Warn : Note)(
          run.diagnostics, run.entries[later].line, "task %i hides %s of task %i (%s)%s",
          TaskNumber(run, static_cast<int32_t>(later)), TaskUnits(run, frames).c_str(),
          TaskNumber(run, static_cast<int32_t>(earlier)), gone.sourcePath.c_str(),
          most ? ", more than half of it: check this edit's ins" : "");
    }
  }
}

// For a path that leads nowhere, the path of a file in the same folder whose name differs from it
// only in letter case; empty when there is none.
std::string NameInOtherCase(const std::string& path) {
  std::error_code error;
  const fs::path wanted(path);
  if (fs::exists(wanted, error) || wanted.filename().empty()) return std::string();
  const fs::path folder = wanted.parent_path();
  const auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  const std::string name = lower(wanted.filename().string());
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, error), end;
       !error && it != end; it.increment(error)) {
    if (lower(it->path().filename().string()) == name) {
      return (folder / it->path().filename()).string();
    }
  }
  return std::string();
}

bool EndsWithWav(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".wav") == 0;
}

}  // namespace

void CheckSourcePaths(RunState& run) {
  for (int32_t j = 0; j < run.entryCount; ++j) {
    if (&FirstEntryNaming(run, j) != &EntryAt(run, j)) continue;
    const EditEntry& entry = EntryAt(run, j);
    const std::string other = NameInOtherCase(entry.sourcePath);
    if (other.empty()) continue;
    Warn(run.diagnostics, entry.line,
         "%s does not exist, but %s does: letter case counts in names here; did you mean %s?",
         entry.sourcePath.c_str(), other.c_str(), other.c_str());
  }
  std::error_code error;
  const fs::path taskFolder = fs::path(run.taskPath).parent_path();
  const bool taskElsewhere =
      !taskFolder.empty() && !fs::equivalent(taskFolder, fs::current_path(error), error);
  if (!taskElsewhere) return;
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const EditEntry& entry = EntryAt(run, j);
    const fs::path source(entry.sourcePath);
    if (source.is_absolute()) continue;
    const bool here = fs::exists(source, error);
    const bool besideTask = fs::exists(taskFolder / source, error);
    if (!here && besideTask) {
      Warn(run.diagnostics, entry.line,
           "%s is not in the working folder but beside the task file: run wavsplice from %s",
           entry.sourcePath.c_str(), taskFolder.string().c_str());
    } else if (here && besideTask && !fs::equivalent(source, taskFolder / source, error)) {
      Warn(run.diagnostics, entry.line,
           "%s is read from the working folder, not the one beside the task file",
           entry.sourcePath.c_str());
    }
  }
}

// Crossfades with handles that shrank or vanished: which source ran out of material, and by how
// much against a zone centred on the splice.
void CheckHandles(RunState& run, int32_t index) {
  const HandlesCrossfade handles = HandlesOfEntry(run, index);
  const HandlesZoneKind kind = handles.zone.kind;
  if (handles.outgoing < 0 ||
      (kind != HandlesZoneKind::kShrunk && kind != HandlesZoneKind::kNone)) {
    return;
  }
  const EditEntry& entry = EntryAt(run, index);
  const EditEntry& outgoing = EntryAt(run, handles.outgoing);
  const int64_t half = handles.askedSamples / 2;
  std::string short_;
  if (handles.pre < half) {
    short_ += "; " + entry.sourcePath + Format(" (task %i) has ", TaskNumber(run, index)) +
              TaskUnits(run, handles.pre) + " before its span, " +
              TaskUnits(run, half - handles.pre) + " short of half the width";
  }
  if (handles.post < handles.askedSamples - half) {
    short_ +=
        "; " + outgoing.sourcePath + Format(" (task %i) has ", TaskNumber(run, handles.outgoing)) +
        TaskUnits(run, handles.post) + " from the splice on, " +
        TaskUnits(run, handles.askedSamples - half - handles.post) + " short of half the width";
  }
  if (kind == HandlesZoneKind::kShrunk) {
    Warn(run.diagnostics, entry.xfLine, "the crossfade of task %i shrinks from %s to %s%s",
         TaskNumber(run, index), TaskUnits(run, handles.askedSamples).c_str(),
         TaskUnits(run, handles.zone.xfSamples).c_str(), short_.c_str());
  } else {
    Warn(run.diagnostics, entry.xfLine,
         "the crossfade of task %i is left out: the sources hold %s for it, less than 2 "
         "samples%s",
         TaskNumber(run, index), TaskUnits(run, handles.pre + handles.post).c_str(),
         short_.c_str());
  }
}

// Fades longer than their span are shortened to it.
void CheckFades(RunState& run) {
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const EditEntry& entry = EntryAt(run, j);
    const struct {
      const char* name;
      int32_t type;
      float width;
      int32_t line;
    } fades[] = {{"in", entry.finType, entry.finWidth, entry.finLine},
                 {"out", entry.foutType, entry.foutWidth, entry.foutLine}};
    for (const auto& fade : fades) {
      int64_t frames = 0;
      if (fade.type == 0) continue;
      const bool fits = CrossfadeSamples(run.format.sampleRate, fade.width, frames);
      if (fits && frames <= entry.readLength) continue;
      Warn(run.diagnostics, fade.line,
           "the fade %s of task %i is longer than its span (%s): it is shortened to the span",
           fade.name, TaskNumber(run, j), TaskUnits(run, entry.readLength).c_str());
    }
  }
}

void CheckPlan(RunState& run) {
  std::optional<RunState> handled;
  const RunState& plain = PlainPlanOf(run, handled);
  for (int32_t k = 0; k < run.entryCount; ++k) {
    CheckCrossfade(run, plain, k);
    const int32_t index = run.writeOrder[static_cast<size_t>(k)];
    // A join between pieces is checked against its cut (CheckCutJoins).
    if (run.handles && EntryAt(run, index).piece < 2) CheckHandles(run, index);
  }
  CheckCutJoins(run);
  const std::vector<HeardSpan> heard = HeardMap(run);
  CheckHeard(run, heard);
  CheckStaleTail(run, heard);
  CheckHidden(run, heard);
  CheckCutSpans(run);
  CheckFades(run);
  if (!EndsWithWav(run.destPath)) {
    Note(run.diagnostics, run.destLine, "the destination %s does not end in .wav",
         run.destPath.c_str());
  }
}

}  // namespace wavsplice
